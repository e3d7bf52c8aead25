#pragma once
// Which screen files may run. A screen that does something on the desktop runs only while its
// current fingerprint is the one the user approved under its page id; a screen that does
// nothing there always runs. Approvals are stored in the settings; without settings (a test
// run) they last until the application ends and nothing is a first run. The silent approvals
// of a first run count only once they are stored.

#include "screens/format/CustomScreen.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class BackgroundFileWriter;
class Settings;
enum class SettingsError;

class ScreenTrust : public QObject {
    Q_OBJECT

public:
    static const QString storageKey;

    // `firstRunRecord`: a file outside the settings' folder that records a first run whose
    // approvals could not be stored; while it is there, no later start is a first run.
    explicit ScreenTrust(Settings* settings = nullptr, QString firstRunRecord = {}, QObject* parent = nullptr);
    ~ScreenTrust() override;

    // Virtual so an in-memory double can approve by id alone.
    virtual bool isScreenApproved(const CustomScreen& screen) const;
    // The same against a copy of the approvals, where the screens are judged off this thread.
    static bool isApprovedIn(const QHash<QString, QString>& approved, const CustomScreen& screen);

    // The user's approval of what the screen does now; nothing when it already runs.
    void approveScreen(const CustomScreen& screen);
    // Nothing is written or called when the id had no approval.
    void revokeScreen(const QString& id);
    // On the first run of an installation every loaded screen is trusted as it is, so the
    // sample screen works out of the box. Only settings that did not exist yet make a first run:
    // damaged approvals, or a settings file that was unreadable, approve nothing. The approvals
    // take effect once the settings file holds them (then onFirstRunStored is called); until
    // then the screens wait for approval like any other. When they cannot be stored, the first
    // run is recorded beside the screens, so a later start does not approve what came since.
    void approveAllOnFirstRun(const QList<CustomScreen>& screens);
    // Drops the approvals of page ids whose file no longer exists.
    void forgetMissingScreens(const QSet<QString>& presentIDs);

    const QHash<QString, QString>& approved() const { return m_approved; }
    bool isFirstRun() const { return m_isFirstRun; }
    // The first run's approvals hold a screen that does something and could not be stored
    // yet: they wait for the settings file to be written.
    bool areFirstRunApprovalsUnsaved() const { return m_firstRunUnsaved; }

    // Run with the page id after an approval by the user, and after a revocation.
    std::function<void(const QString&)> onApprove;
    std::function<void(const QString&)> onRevoke;
    // Run once the first run's approvals are stored and in effect.
    std::function<void()> onFirstRunStored;

signals:
    void approvedChanged();
    void firstRunApprovalsUnsavedChanged();

private:
    void write();
    // The error when the settings refuse the write at once.
    std::optional<SettingsError> store(const QHash<QString, QString>& approvals);
    void awaitFirstRunStored();
    void setFirstRunUnsaved(bool unsaved);
    void recordUnsavedFirstRun();

    Settings* m_settings = nullptr;
    QHash<QString, QString> m_approved;
    bool m_isFirstRun = false;
    // What the first run approved, until the settings file holds it or a later write of the
    // approvals takes its place.
    std::optional<QHash<QString, QString>> m_firstRunApprovals;
    bool m_firstRunUnsaved = false;
    QString m_firstRunRecord;
    std::unique_ptr<BackgroundFileWriter> m_recordWriter;
};

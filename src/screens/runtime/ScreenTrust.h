#pragma once
// Which screen files may run. A screen that does something on the desktop runs only while its
// current fingerprint is the one the user approved under its page id; a screen that does
// nothing there always runs. Approvals are stored in the settings; without settings (a test
// run) they last until the application ends and nothing is a first run.

#include "screens/format/CustomScreen.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>

class Settings;

class ScreenTrust : public QObject {
    Q_OBJECT

public:
    static const QString storageKey;

    explicit ScreenTrust(Settings* settings = nullptr, QObject* parent = nullptr);

    // Virtual so an in-memory double can approve by id alone.
    virtual bool isScreenApproved(const CustomScreen& screen) const;

    // The user's approval of what the screen does now; nothing when it already runs.
    void approveScreen(const CustomScreen& screen);
    // Nothing is written or called when the id had no approval.
    void revokeScreen(const QString& id);
    // On the first run of an installation every loaded screen is trusted as it is, so the
    // sample screen works out of the box. Only settings that did not exist yet make a first run:
    // damaged approvals, or a settings file that was unreadable, approve nothing.
    void approveAllOnFirstRun(const QList<CustomScreen>& screens);
    // Drops the approvals of page ids whose file no longer exists.
    void forgetMissingScreens(const QSet<QString>& presentIDs);

    const QHash<QString, QString>& approved() const { return m_approved; }
    bool isFirstRun() const { return m_isFirstRun; }

    // Run with the page id after an approval by the user, and after a revocation.
    std::function<void(const QString&)> onApprove;
    std::function<void(const QString&)> onRevoke;

signals:
    void approvedChanged();

private:
    void write();

    Settings* m_settings = nullptr;
    QHash<QString, QString> m_approved;
    bool m_isFirstRun = false;
};

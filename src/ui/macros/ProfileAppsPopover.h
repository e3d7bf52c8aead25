#pragma once
// The applications that switch the device to the active profile: the linked applications
// with their remove buttons, "Add App" (running applications, or any installed one through
// the chooser), the fallback toggle and, while switching is paused, a way to resume it. It
// keeps no data: it reads the profile store and the auto-switcher and calls their operations.

#include "macros/AppTarget.h"
#include "macros/RunningAppsSource.h"

#include <QFrame>
#include <QIcon>
#include <QList>
#include <QPointer>

#include <memory>

class DeviceManager;
class ProfileStore;
class QCheckBox;
class QLabel;
class QMenu;
class QPushButton;
class QToolButton;
class QUuid;
class QVBoxLayout;
struct MacroProfile;

class ProfileAppsPopover : public QFrame {
    Q_OBJECT
public:
    static constexpr int popoverWidth = 320;

    // One entry of "Add App".
    struct RunningAppChoice {
        AppTarget target;
        QString icon; // the entry's Icon value
    };

    explicit ProfileAppsPopover(DeviceManager& deviceManager, QWidget* parent = nullptr);
    ~ProfileAppsPopover() override;

    // Shows the popover under `anchor`, with the keyboard on its first control.
    void popUp(QWidget* anchor);
    // Closes it, giving the keyboard back to its anchor; Escape does the same.
    void dismiss();

    // The running applications the menu may offer: once each, without this application and
    // those the profile links already (ids compared ignoring case), sorted by name.
    static QList<RunningAppChoice> runningAppChoices(const QList<RunningApp>& running, const MacroProfile& active,
                                                     const QString& ownID);
    // The entry's name, with the profile it would move from when another one links it.
    static QString choiceTitle(const RunningAppChoice& choice, const ProfileStore& store);
    static QString fallbackExplanation(const ProfileStore& store);
    static QString headerText(const MacroProfile& active);

    // Where the running applications come from: the hub's unless a test gives one.
    void setRunningAppsSource(std::unique_ptr<RunningAppsSource> source);
    // Under "Add App": which way the running applications are learnt, or why they are not.
    QLabel* sourceNote() const { return m_sourceNote; }
    // The running applications read last, as the menu offers them.
    const QList<RunningAppChoice>& choices() const { return m_choices; }
    QMenu* addAppMenu() const { return m_addMenu; }

signals:
    // A reading of the running applications came back and the menu was rebuilt.
    void runningAppsRead();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void refresh();
    void showState();
    void showLinkedApps();
    void removeApp(const QString& bundleID, const QUuid& profileID, const QString& shownName);
    void rebuildAddMenu();
    void readRunningApps();
    void chooseApps();
    void showSource();

    DeviceManager& m_deviceManager;
    QPointer<QWidget> m_anchor;
    RunningAppsSource* m_source = nullptr;
    std::unique_ptr<RunningAppsSource> m_givenSource;
    QList<RunningApp> m_running;
    QList<RunningAppChoice> m_choices;
    quint64 m_reading = 0;

    QLabel* m_header = nullptr;
    QWidget* m_linkedList = nullptr;
    QVBoxLayout* m_linkedLayout = nullptr;
    QLabel* m_noApps = nullptr;
    QPushButton* m_addButton = nullptr;
    QMenu* m_addMenu = nullptr;
    QLabel* m_sourceNote = nullptr;
    QCheckBox* m_fallbackToggle = nullptr;
    QLabel* m_fallbackExplanation = nullptr;
    QWidget* m_pauseNotice = nullptr;
    QPushButton* m_resumeButton = nullptr;
};

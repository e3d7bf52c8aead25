#pragma once
// The tray icon's menu: the connection, the page the device shows, the active profile and the
// pause of automatic switching, and the ways to open the window, open Settings and quit.
// Menus exported to the tray host over D-Bus do not say when they open, so the menu is built
// again on every change of what it shows.

#include <QObject>

class DeviceManager;
class MainWindow;
class QAction;
class QMenu;

class TrayMenu : public QObject {
    Q_OBJECT
public:
    TrayMenu(DeviceManager& deviceManager, MainWindow& window, QObject* parent = nullptr);
    ~TrayMenu() override;

    QMenu* menu() const { return m_menu; }
    // Builds the menu anew from the current values.
    void rebuild();
    // Asks for one rebuild once the event loop is back: a change may come from an action of
    // this very menu, which a rebuild at once would delete while it still runs.
    void scheduleRebuild();

signals:
    void quitRequested();

private:
    DeviceManager& m_deviceManager;
    MainWindow& m_window;
    QMenu* m_menu = nullptr;
    QAction* m_pause = nullptr;
    // Holds the action groups of the last build.
    QObject* m_groups = nullptr;
    bool m_rebuildScheduled = false;
};

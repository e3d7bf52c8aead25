#pragma once
// The tray icon's menu: the connection, the page the device shows, the active profile and the
// pause of automatic switching, and the ways to open the window, open Settings and quit.
// Menus exported to the tray host over D-Bus do not say when they open, so the menu follows every
// change of what it shows: the page entries one by one, the connection and profiles anew.

#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QUuid>

class DeviceManager;
class MainWindow;
class PageMenuEntries;
class QAction;
class QMenu;

class TrayMenu : public QObject {
    Q_OBJECT
public:
    TrayMenu(DeviceManager& deviceManager, MainWindow& window, QObject* parent = nullptr);
    ~TrayMenu() override;

    QMenu* menu() const { return m_menu; }
    // Brings the connection and the profiles up to date.
    void rebuild();
    // Asks for one rebuild once the event loop is back: a change may come from an action of
    // this very menu, which a rebuild at once would delete while it still runs.
    void scheduleRebuild();

signals:
    void quitRequested();

private:
    QList<QPair<QUuid, QString>> profileEntries() const;

    DeviceManager& m_deviceManager;
    MainWindow& m_window;
    QMenu* m_menu = nullptr;
    QAction* m_pause = nullptr;
    QAction* m_connection = nullptr;
    PageMenuEntries* m_pages = nullptr;
    // Ends the pages; heads the profiles when there are.
    QAction* m_pagesEnd = nullptr;
    QAction* m_open = nullptr;
    // Holds the profile entries of the last build and their group.
    QObject* m_profiles = nullptr;
    bool m_rebuildScheduled = false;
    // The profiles of the last build, in order: id and shown name.
    QList<QPair<QUuid, QString>> m_listedProfiles;
};

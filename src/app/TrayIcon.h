#pragma once
// The Tarv icon in the desktop's tray, carrying the tray menu, where a tray host runs. The menu
// is handed to the tray (over D-Bus where the tray is a StatusNotifierItem host), which draws it;
// a click on the icon opens the menu where Tarv draws it itself (X11), and asks for the window
// on Wayland, where a menu of Tarv's own would be a window of its own. At login
// the host may start after Tarv, so it is looked for again a few times before Tarv gives up;
// without one Tarv goes on running for the device, and starting it again shows the window.
// Then nothing on the desktop shows that Tarv still runs once its window is closed: the first
// time the user closes it, a passive note where the window was says so.

#include <QLabel>
#include <QObject>
#include <QPointer>

class QMenu;
class QSystemTrayIcon;
class QTimer;
class QWidget;

class TrayIcon : public QObject {
    Q_OBJECT
public:
    static constexpr int lookAgainIntervalMs = 3000;
    static constexpr int lookAgainCount = 10;

    explicit TrayIcon(QMenu* menu, QObject* parent = nullptr);
    ~TrayIcon() override;

    static constexpr int closedNoteMs = 8000;

    // Whether the icon shows in a tray now.
    bool isShown() const;
    // Watches the user closing `window` (the main window) for the note above.
    void watchClosing(QWidget* window);
    // The note, while it shows.
    QLabel* closedNote() const { return m_closedNote; }
    // The icon itself, once a tray took it.
    QSystemTrayIcon* icon() const { return m_icon; }

signals:
    // The icon's primary action (a plain click) asks for the main window.
    void openRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void lookForTray();
    void showClosedNote(const QWidget* window);

    QMenu* m_menu = nullptr;
    QSystemTrayIcon* m_icon = nullptr;
    QTimer* m_lookAgain = nullptr;
    int m_looks = 0;
    QWidget* m_window = nullptr;
    bool m_closedNoteShown = false;
    QPointer<QLabel> m_closedNote;
};

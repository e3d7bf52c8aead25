#pragma once
// The Tarv icon in the desktop's tray, carrying the tray menu, where a tray host runs. At login
// the host may start after Tarv, so it is looked for again a few times before Tarv gives up;
// without one Tarv goes on running for the device, and starting it again shows the window.

#include <QObject>

class QMenu;
class QSystemTrayIcon;
class QTimer;

class TrayIcon : public QObject {
public:
    static constexpr int lookAgainIntervalMs = 3000;
    static constexpr int lookAgainCount = 10;

    explicit TrayIcon(QMenu* menu, QObject* parent = nullptr);

    // Whether the icon shows in a tray now.
    bool isShown() const;

private:
    void lookForTray();

    QMenu* m_menu = nullptr;
    QSystemTrayIcon* m_icon = nullptr;
    QTimer* m_lookAgain = nullptr;
    int m_looks = 0;
};

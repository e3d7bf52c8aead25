#pragma once
// A sway of the test's own on wlroots' headless backend (software rendering, no input
// devices), with terminal windows of given app ids, focused through sway's IPC as a user's
// click would. sway refuses to run as root: under root it runs as the user "nobody".
// Everything it started ends with this object, each by its process id.

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace TarvFake {

class HeadlessSway {
public:
    HeadlessSway();
    ~HeadlessSway();
    HeadlessSway(const HeadlessSway&) = delete;
    HeadlessSway& operator=(const HeadlessSway&) = delete;

    // Starts sway and waits until it answers on its IPC socket; false with lastError() when
    // it cannot. With `xwayland`, X11 programs can show windows there too.
    bool start(bool xwayland = false);
    const QString& lastError() const { return m_error; }

    // The absolute path of sway's Wayland socket, for WAYLAND_DISPLAY.
    QString waylandDisplay() const { return m_waylandDisplay; }

    // Opens a terminal window with this app id and waits until sway shows it (it gets the
    // focus, as a new window does).
    bool openWindow(const QString& appId);
    // Gives the focus to the window with this app id, as `swaymsg '[app_id=…] focus'`.
    bool focus(const QString& appId);
    // Runs swaymsg with these arguments; its standard output, or nothing when it failed.
    std::optional<QByteArray> message(const QStringList& arguments) const;

    // Ends sway now, as a compositor that goes away.
    void stop();

private:
    bool waitFor(const std::function<bool()>& ready, int timeoutMs) const;
    QString logTail() const;

    QTemporaryDir m_dir;
    QString m_runtime;
    QString m_waylandDisplay;
    QString m_ipcSocket;
    QString m_error;
    QProcess m_sway;
    std::vector<std::unique_ptr<QProcess>> m_windows;
};

}  // namespace TarvFake

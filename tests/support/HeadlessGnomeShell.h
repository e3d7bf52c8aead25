#pragma once
// A GNOME Shell of the test's own: headless, Wayland only (no X display), on a virtual monitor,
// with a session bus and a system bus of its own, its settings in a file of its own, and the
// extensions the test puts in its folders. GNOME Shell is meant to run as a user: under root it
// runs as the user "nobody", and its buses let the test in too. Terminal windows of given app
// ids come to the front through the tests' own extension, as a click would bring them.
// Everything it started ends with this object, each by its process id.

#include <QDBusConnection>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <vector>

namespace TarvFake {

class HeadlessGnomeShell {
public:
    // The tests' own extension, which brings a window to the front by its app id.
    static inline const QString testExtensionUuid = QStringLiteral("tarv-test@tarv.org");

    HeadlessGnomeShell();
    ~HeadlessGnomeShell();
    HeadlessGnomeShell(const HeadlessGnomeShell&) = delete;
    HeadlessGnomeShell& operator=(const HeadlessGnomeShell&) = delete;

    // Whether gnome-shell is there to run at all.
    static bool isInstalled();

    // Before start(): copies the extension in `folder` in as `uuid`, system-wide or as the
    // user's own, switched on at start or not.
    bool addExtension(const QString& folder, const QString& uuid, bool systemWide, bool enabled);

    // Starts the buses and GNOME Shell, and waits until its extensions are loaded; false with
    // lastError() when it cannot. After stopShell(), it starts GNOME Shell again as at the next
    // login: on the same buses, with the settings and extensions as they are now.
    bool start();
    const QString& lastError() const { return m_error; }

    QString sessionBusAddress() const { return m_sessionAddress; }
    // The absolute path of GNOME Shell's Wayland socket, for WAYLAND_DISPLAY.
    QString waylandDisplay() const { return m_waylandDisplay; }
    QString userExtensions() const;
    QString systemExtensions() const;
    // Where GNOME Shell's settings file lies, for XDG_CONFIG_HOME with GSETTINGS_BACKEND=keyfile.
    QString configHome() const;

    // Opens a terminal window with this app id, and waits until it is shown in front.
    bool openWindow(const QString& appId);
    // Brings the window with this app id to the front; false while there is none.
    bool activate(const QString& appId);

    // Ends GNOME Shell and its windows, as a Shell that goes away; the buses stay.
    void stopShell();
    // Ends GNOME Shell, its windows and its buses.
    void stop();

private:
    bool startBus(QProcess& daemon, const QString& name, QString& address);
    bool handToUser(const QString& path);
    QString logTail() const;

    QTemporaryDir m_dir;
    QString m_error;
    QStringList m_enabled;
    QProcess m_sessionBus;
    QProcess m_systemBus;
    QString m_sessionAddress;
    QString m_systemAddress;
    QString m_waylandDisplay;
    QString m_connectionName;
    QProcess m_shell;
    std::vector<std::unique_ptr<QProcess>> m_windows;
    bool m_asNobody = false;
};

}  // namespace TarvFake

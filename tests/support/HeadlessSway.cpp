#include "support/HeadlessSway.h"

#include "support/FootWindow.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace TarvFake {

namespace {

constexpr int startTimeoutMs = 20000;
constexpr int windowTimeoutMs = 20000;

// Every app id of the windows in sway's tree.
void collectAppIds(const QJsonValue& node, QStringList& out)
{
    const QJsonObject object = node.toObject();
    const QString appId = object.value(QLatin1String("app_id")).toString();
    if (!appId.isEmpty())
        out.append(appId);
    for (const char* key : {"nodes", "floating_nodes"}) {
        for (const QJsonValue& child : object.value(QLatin1String(key)).toArray())
            collectAppIds(child, out);
    }
}

} // namespace

HeadlessSway::HeadlessSway() = default;

HeadlessSway::~HeadlessSway() { stop(); }

bool HeadlessSway::waitFor(const std::function<bool()>& ready, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    while (!ready()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(10);
    }
    return true;
}

QString HeadlessSway::logTail() const
{
    QFile log(m_dir.filePath(QStringLiteral("sway.log")));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    const QByteArray text = log.readAll();
    return QString::fromUtf8(text.right(2000));
}

bool HeadlessSway::start(bool xwayland)
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return false;
    }
    m_runtime = m_dir.filePath(QStringLiteral("runtime"));
    const QString home = m_dir.filePath(QStringLiteral("home"));
    QDir().mkpath(m_runtime);
    QDir().mkpath(home);
    const QString config = m_dir.filePath(QStringLiteral("config"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly) || file.write(xwayland ? "\n" : "xwayland disable\n") < 0) {
        m_error = QStringLiteral("cannot write sway's configuration");
        return false;
    }
    file.close();

    QStringList command{QStringLiteral("sway"), QStringLiteral("-c"), config};
    if (::geteuid() == 0) {
        const passwd* nobody = ::getpwnam("nobody");
        if (!nobody) {
            m_error = QStringLiteral("sway refuses to run as root, and there is no user \"nobody\" to run it as");
            return false;
        }
        // The user reaches the folders through the test's private one, and owns its own.
        ::chmod(QFile::encodeName(m_dir.path()).constData(), 0711);
        ::chmod(QFile::encodeName(config).constData(), 0644);
        for (const QString& path : {m_runtime, home}) {
            if (::chown(QFile::encodeName(path).constData(), nobody->pw_uid, nobody->pw_gid) != 0) {
                m_error = QStringLiteral("cannot hand %1 to the user nobody").arg(path);
                return false;
            }
        }
        command = QStringList{QStringLiteral("setpriv"), QStringLiteral("--reuid=%1").arg(nobody->pw_uid),
                              QStringLiteral("--regid=%1").arg(nobody->pw_gid), QStringLiteral("--clear-groups")}
                  + command;
    }
    ::chmod(QFile::encodeName(m_runtime).constData(), 0700);

    QProcessEnvironment environment;
    environment.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH", QStringLiteral("/usr/bin:/bin")));
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime);
    environment.insert(QStringLiteral("WLR_BACKENDS"), QStringLiteral("headless"));
    environment.insert(QStringLiteral("WLR_RENDERER"), QStringLiteral("pixman"));
    environment.insert(QStringLiteral("WLR_LIBINPUT_NO_DEVICES"), QStringLiteral("1"));
    m_sway.setProcessEnvironment(environment);
    m_sway.setStandardOutputFile(QProcess::nullDevice());
    m_sway.setStandardErrorFile(m_dir.filePath(QStringLiteral("sway.log")));
    m_sway.start(command.first(), command.mid(1));
    if (!m_sway.waitForStarted(startTimeoutMs)) {
        m_error = QStringLiteral("%1 did not start: %2 (Debian package sway)").arg(command.join(u' '), m_sway.errorString());
        return false;
    }

    const QDir runtime(m_runtime);
    const bool sockets = waitFor(
        [&] {
            if (m_sway.state() != QProcess::Running)
                return true;
            const QStringList wayland = runtime.entryList({QStringLiteral("wayland-*")}, QDir::System);
            const QStringList ipc = runtime.entryList({QStringLiteral("sway-ipc.*.sock")}, QDir::System);
            for (const QString& name : wayland) {
                if (!name.endsWith(QLatin1String(".lock")))
                    m_waylandDisplay = runtime.filePath(name);
            }
            if (!ipc.isEmpty())
                m_ipcSocket = runtime.filePath(ipc.first());
            return !m_waylandDisplay.isEmpty() && !m_ipcSocket.isEmpty();
        },
        startTimeoutMs);
    if (!sockets || m_sway.state() != QProcess::Running
        || !waitFor([&] { return message({QStringLiteral("-t"), QStringLiteral("get_version")}).has_value(); },
                    startTimeoutMs)) {
        m_error = QStringLiteral("sway did not come up on its headless backend:\n") + logTail();
        return false;
    }
    return true;
}

std::optional<QByteArray> HeadlessSway::message(const QStringList& arguments) const
{
    QProcess swaymsg;
    swaymsg.start(QStringLiteral("swaymsg"), QStringList{QStringLiteral("-s"), m_ipcSocket} + arguments);
    if (!swaymsg.waitForFinished(10000) || swaymsg.exitStatus() != QProcess::NormalExit || swaymsg.exitCode() != 0)
        return std::nullopt;
    return swaymsg.readAllStandardOutput();
}

bool HeadlessSway::openWindow(const QString& appId)
{
    std::unique_ptr<QProcess> terminal = startFootWindow(m_waylandDisplay, m_dir.path(), appId, windowTimeoutMs, m_error);
    if (!terminal)
        return false;
    QProcess* started = terminal.get();
    m_windows.push_back(std::move(terminal));
    const bool shown = waitFor(
        [&] {
            if (started->state() != QProcess::Running)
                return true;
            const auto tree = message({QStringLiteral("-t"), QStringLiteral("get_tree")});
            QStringList appIds;
            if (tree)
                collectAppIds(QJsonDocument::fromJson(*tree).object(), appIds);
            return appIds.contains(appId);
        },
        windowTimeoutMs);
    if (!shown || started->state() != QProcess::Running) {
        m_error = footWindowFailure(m_dir.path(), appId);
        return false;
    }
    return true;
}

bool HeadlessSway::focus(const QString& appId)
{
    return message({QStringLiteral("[app_id=\"%1\"] focus").arg(appId)}).has_value();
}

void HeadlessSway::stop()
{
    for (const auto& window : m_windows) {
        window->terminate();
        if (!window->waitForFinished(5000)) {
            window->kill();
            window->waitForFinished(5000);
        }
    }
    m_windows.clear();
    if (m_sway.state() != QProcess::NotRunning) {
        m_sway.terminate();
        if (!m_sway.waitForFinished(10000)) {
            m_sway.kill();
            m_sway.waitForFinished(5000);
        }
    }
}

}  // namespace TarvFake

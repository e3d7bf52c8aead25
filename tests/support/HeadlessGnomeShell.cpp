#include "support/HeadlessGnomeShell.h"

#include "support/FootWindow.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QStandardPaths>
#include <QThread>

#include <functional>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace TarvFake {

namespace {

constexpr int startTimeoutMs = 30000;
int connections = 0;

// Lets the test's own process in beside the user GNOME Shell runs as; the socket's folder
// keeps everyone else out.
const char* const busConfig = R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=%1</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

bool waitFor(const std::function<bool()>& ready, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!ready()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(10);
    }
    return true;
}

void end(QProcess& process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

}  // namespace

HeadlessGnomeShell::HeadlessGnomeShell()
    : m_connectionName(QStringLiteral("headless-gnome-shell-%1").arg(++connections))
{
    for (const char* folder : {"runtime", "home", "data/gnome-shell/extensions", "system/gnome-shell/extensions",
                               "config/glib-2.0/settings", "clients"})
        QDir(m_dir.path()).mkpath(QLatin1String(folder));
    m_asNobody = ::geteuid() == 0;
}

HeadlessGnomeShell::~HeadlessGnomeShell() { stop(); }

bool HeadlessGnomeShell::isInstalled() { return !QStandardPaths::findExecutable(QStringLiteral("gnome-shell")).isEmpty(); }

QString HeadlessGnomeShell::userExtensions() const { return m_dir.filePath(QStringLiteral("data/gnome-shell/extensions")); }

QString HeadlessGnomeShell::systemExtensions() const
{
    return m_dir.filePath(QStringLiteral("system/gnome-shell/extensions"));
}

QString HeadlessGnomeShell::configHome() const { return m_dir.filePath(QStringLiteral("config")); }

bool HeadlessGnomeShell::addExtension(const QString& folder, const QString& uuid, bool systemWide, bool enabled)
{
    const QString target = (systemWide ? systemExtensions() : userExtensions()) + u'/' + uuid;
    QDir().mkpath(target);
    for (const QString& name : QDir(folder).entryList(QDir::Files)) {
        if (!QFile::copy(folder + u'/' + name, target + u'/' + name)) {
            m_error = QStringLiteral("cannot copy %1 into %2").arg(name, target);
            return false;
        }
    }
    if (enabled)
        m_enabled.append(uuid);
    return true;
}

bool HeadlessGnomeShell::handToUser(const QString& path)
{
    if (!m_asNobody)
        return true;
    const passwd* nobody = ::getpwnam("nobody");
    if (!nobody) {
        m_error = QStringLiteral("GNOME Shell is not run as root, and there is no user \"nobody\" to run it as");
        return false;
    }
    QStringList paths{path};
    QDirIterator it(path, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        paths.append(it.next());
    for (const QString& each : paths) {
        if (::chown(QFile::encodeName(each).constData(), nobody->pw_uid, nobody->pw_gid) != 0) {
            m_error = QStringLiteral("cannot hand %1 to the user nobody").arg(each);
            return false;
        }
    }
    return true;
}

bool HeadlessGnomeShell::startBus(QProcess& daemon, const QString& name, QString& address)
{
    const QString config = m_dir.filePath(name + QStringLiteral(".conf"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly)
        || file.write(QString::fromUtf8(busConfig).arg(m_dir.filePath(name)).toUtf8()) < 0) {
        m_error = QStringLiteral("cannot write %1").arg(config);
        return false;
    }
    file.close();
    daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--config-file=") + config,
                                                 QStringLiteral("--print-address"), QStringLiteral("--nofork")});
    if (!daemon.waitForStarted(startTimeoutMs)) {
        m_error = QStringLiteral("dbus-daemon did not start: ") + daemon.errorString();
        return false;
    }
    while (!daemon.canReadLine()) {
        if (!daemon.waitForReadyRead(startTimeoutMs)) {
            m_error = QStringLiteral("dbus-daemon printed no address");
            return false;
        }
    }
    address = QString::fromUtf8(daemon.readLine()).trimmed();
    return true;
}

QString HeadlessGnomeShell::logTail() const
{
    QFile log(m_dir.filePath(QStringLiteral("gnome-shell.log")));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(log.readAll().right(3000));
}

bool HeadlessGnomeShell::start()
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return false;
    }
    // Started again, as at the next login, it keeps its buses and its settings.
    if (m_sessionBus.state() == QProcess::NotRunning) {
        if (!startBus(m_sessionBus, QStringLiteral("session-bus"), m_sessionAddress)
            || !startBus(m_systemBus, QStringLiteral("system-bus"), m_systemAddress))
            return false;
        // The extensions switched on at start, in a settings file instead of dconf's database.
        QFile keyfile(m_dir.filePath(QStringLiteral("config/glib-2.0/settings/keyfile")));
        QStringList quoted;
        for (const QString& uuid : m_enabled)
            quoted.append(u'\'' + uuid + u'\'');
        if (!keyfile.open(QIODevice::WriteOnly)
            || keyfile.write("[org/gnome/shell]\nenabled-extensions=[" + quoted.join(QStringLiteral(", ")).toUtf8() + "]\n") < 0) {
            m_error = QStringLiteral("cannot write GNOME Shell's settings");
            return false;
        }
    }

    const QString runtime = m_dir.filePath(QStringLiteral("runtime"));
    ::chmod(QFile::encodeName(m_dir.path()).constData(), 0711);
    for (const char* folder : {"runtime", "home", "data", "system", "config"}) {
        if (!handToUser(m_dir.filePath(QLatin1String(folder))))
            return false;
    }
    ::chmod(QFile::encodeName(runtime).constData(), 0700);

    // A socket left by the Shell before belongs to no one now.
    for (const QString& name : QDir(runtime).entryList({QStringLiteral("wayland-*")}, QDir::System | QDir::Files))
        QFile::remove(QDir(runtime).filePath(name));
    m_waylandDisplay.clear();

    QStringList command{QStringLiteral("gnome-shell"), QStringLiteral("--headless"), QStringLiteral("--wayland"),
                        QStringLiteral("--no-x11"), QStringLiteral("--virtual-monitor"), QStringLiteral("1280x800")};
    if (m_asNobody) {
        const passwd* nobody = ::getpwnam("nobody");
        command = QStringList{QStringLiteral("setpriv"), QStringLiteral("--reuid=%1").arg(nobody->pw_uid),
                              QStringLiteral("--regid=%1").arg(nobody->pw_gid), QStringLiteral("--clear-groups")}
                  + command;
    }
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH", QStringLiteral("/usr/bin:/bin")));
    environment.insert(QStringLiteral("HOME"), m_dir.filePath(QStringLiteral("home")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    environment.insert(QStringLiteral("XDG_DATA_HOME"), m_dir.filePath(QStringLiteral("data")));
    environment.insert(QStringLiteral("XDG_DATA_DIRS"), m_dir.filePath(QStringLiteral("system")) + QStringLiteral(":/usr/local/share:/usr/share"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome());
    environment.insert(QStringLiteral("GSETTINGS_BACKEND"), QStringLiteral("keyfile"));
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_sessionAddress);
    environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), m_systemAddress);
    m_shell.setProcessEnvironment(environment);
    m_shell.setStandardOutputFile(QProcess::nullDevice());
    m_shell.setStandardErrorFile(m_dir.filePath(QStringLiteral("gnome-shell.log")));
    m_shell.start(command.first(), command.mid(1));
    if (!m_shell.waitForStarted(startTimeoutMs)) {
        m_error = QStringLiteral("%1 did not start: %2").arg(command.join(u' '), m_shell.errorString());
        return false;
    }

    // Up once the tests' own extension answers, which GNOME Shell loads after its Wayland socket.
    QDBusConnection bus = QDBusConnection::connectToBus(m_sessionAddress, m_connectionName);
    const bool up = waitFor(
        [&] {
            if (m_shell.state() != QProcess::Running)
                return true;
            QDBusMessage probe = QDBusMessage::createMethodCall(QStringLiteral("org.gnome.Shell"), QStringLiteral("/org/tarv/Test"),
                                                                QStringLiteral("org.tarv.Test"), QStringLiteral("Activate"));
            probe << QString();
            return bus.call(probe, QDBus::Block, 2000).type() == QDBusMessage::ReplyMessage;
        },
        startTimeoutMs);
    for (const QString& name : QDir(runtime).entryList({QStringLiteral("wayland-*")}, QDir::System)) {
        if (!name.endsWith(QLatin1String(".lock")))
            m_waylandDisplay = QDir(runtime).filePath(name);
    }
    if (!up || m_shell.state() != QProcess::Running || m_waylandDisplay.isEmpty()) {
        m_error = QStringLiteral("GNOME Shell did not come up headless:\n") + logTail();
        return false;
    }
    // GNOME Shell starts in its overview, as after a login; once it is gone, as after the
    // user's first click, windows take the focus as they come and go, and nothing else moves it.
    const auto overview = [&](const char* method, const QVariantList& more) {
        QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.gnome.Shell"), QStringLiteral("/org/gnome/Shell"),
                                                           QStringLiteral("org.freedesktop.DBus.Properties"),
                                                           QLatin1String(method));
        call.setArguments(QVariantList{QStringLiteral("org.gnome.Shell"), QStringLiteral("OverviewActive")} + more);
        return bus.call(call, QDBus::Block, 2000);
    };
    overview("Set", {QVariant::fromValue(QDBusVariant(false))});
    if (!waitFor([&] { return !qdbus_cast<QDBusVariant>(overview("Get", {}).arguments().value(0)).variant().toBool(); },
                 startTimeoutMs)) {
        m_error = QStringLiteral("GNOME Shell kept showing its overview");
        return false;
    }
    return true;
}

bool HeadlessGnomeShell::openWindow(const QString& appId)
{
    std::unique_ptr<QProcess> terminal = startFootWindow(m_waylandDisplay, m_dir.path(), appId, startTimeoutMs, m_error);
    if (!terminal)
        return false;
    QProcess* started = terminal.get();
    m_windows.push_back(std::move(terminal));
    // Shown once it can be brought to the front, as GNOME Shell brings a new window anyway: the
    // focus moves no more once this returns.
    if (!waitFor([&] { return started->state() != QProcess::Running || activate(appId); }, startTimeoutMs)
        || started->state() != QProcess::Running) {
        m_error = footWindowFailure(m_dir.path(), appId);
        return false;
    }
    return true;
}

bool HeadlessGnomeShell::activate(const QString& appId)
{
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.gnome.Shell"), QStringLiteral("/org/tarv/Test"),
                                                       QStringLiteral("org.tarv.Test"), QStringLiteral("Activate"));
    call << appId;
    const QDBusMessage reply = QDBusConnection(m_connectionName).call(call, QDBus::Block, 5000);
    return reply.type() == QDBusMessage::ReplyMessage && reply.arguments().value(0).toBool();
}

void HeadlessGnomeShell::stopShell()
{
    for (const auto& window : m_windows)
        end(*window);
    m_windows.clear();
    end(m_shell);
}

void HeadlessGnomeShell::stop()
{
    stopShell();
    QDBusConnection::disconnectFromBus(m_connectionName);
    end(m_systemBus);
    end(m_sessionBus);
}

}  // namespace TarvFake

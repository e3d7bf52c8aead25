#pragma once
// Test doubles for the desktop: private XDG folders, an Xvfb display and a private D-Bus
// session bus, each started by the test that needs it and ended with it.

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QFuture>
#include <QGuiApplication>
#include <QString>
#include <QTemporaryDir>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

extern char** environ;

// Points HOME and every XDG folder at a fresh temporary folder for the test's lifetime.
class TempXdg {
public:
    TempXdg()
    {
        for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_DATA_DIRS",
                                 "XDG_RUNTIME_DIR", "WAYLAND_DISPLAY", "XDG_SESSION_TYPE"})
            m_saved.push_back({name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt});
        const QString root = m_dir.path();
        for (const char* sub : {"home", "data", "config", "system", "runtime"})
            QDir(root).mkpath(QString::fromLatin1(sub));
        QFile::setPermissions(root + QStringLiteral("/runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("HOME", (root + QStringLiteral("/home")).toLocal8Bit());
        qputenv("XDG_DATA_HOME", (root + QStringLiteral("/data")).toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", (root + QStringLiteral("/config")).toLocal8Bit());
        qputenv("XDG_DATA_DIRS", (root + QStringLiteral("/system")).toLocal8Bit());
        qputenv("XDG_RUNTIME_DIR", (root + QStringLiteral("/runtime")).toLocal8Bit());
        qunsetenv("WAYLAND_DISPLAY");
        qunsetenv("XDG_SESSION_TYPE");
    }
    ~TempXdg()
    {
        for (const auto& [name, value] : m_saved) {
            if (value)
                qputenv(name, *value);
            else
                qunsetenv(name);
        }
    }
    QString path(const char* sub) const { return m_dir.path() + u'/' + QString::fromLatin1(sub); }
    QString root() const { return m_dir.path(); }

    // Writes a file (folders made as needed), optionally executable.
    static void write(const QString& path, const QByteArray& contents, bool executable = false)
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(contents);
        file.close();
        if (executable)
            file.setPermissions(file.permissions() | QFile::ExeOwner | QFile::ReadOwner);
    }

private:
    QTemporaryDir m_dir;
    std::vector<std::pair<const char*, std::optional<QByteArray>>> m_saved;
};

// A helper program that prints one line on descriptor 3 once it is ready (Xvfb's
// -displayfd, dbus-daemon's --print-address); ended with SIGTERM at destruction.
class ReadyLineProcess {
public:
    explicit ReadyLineProcess(std::vector<std::string> argv)
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        std::vector<char*> args;
        for (auto& a : argv)
            args.push_back(a.data());
        args.push_back(nullptr);
        const int error = ::posix_spawnp(&m_pid, args[0], &actions, nullptr, args.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        if (error != 0) {
            m_pid = -1;
            ::close(fds[0]);
            return;
        }
        QDeadlineTimer deadline(10000);
        char c;
        pollfd pfd{fds[0], POLLIN, 0};
        while (!deadline.hasExpired() && ::poll(&pfd, 1, int(deadline.remainingTime())) > 0) {
            if (::read(fds[0], &c, 1) != 1 || c == '\n')
                break;
            m_line += c;
        }
        ::close(fds[0]);
    }
    ~ReadyLineProcess()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    QByteArray line() const { return m_line; }
    bool started() const { return m_pid > 0 && !m_line.isEmpty(); }

private:
    pid_t m_pid = -1;
    QByteArray m_line;
};

class XvfbServer {
public:
    XvfbServer()
        : m_process({"Xvfb", "-displayfd", "3", "-nolisten", "tcp", "-screen", "0", "320x240x24"})
    {
    }
    bool started() const { return m_process.started(); }
    QByteArray display() const { return ':' + m_process.line().trimmed(); }

private:
    ReadyLineProcess m_process;
};

class PrivateSessionBus {
public:
    PrivateSessionBus()
        : m_process({"dbus-daemon", "--session", "--nofork", "--print-address=3"})
    {
    }
    bool started() const { return m_process.started(); }
    QString address() const { return QString::fromUtf8(m_process.line().trimmed()); }

private:
    ReadyLineProcess m_process;
};

inline QGuiApplication& testGuiApp()
{
    static int argc = 1;
    static char name[] = "tarv-tests";
    static char* argv[] = {name, nullptr};
    // Never destroyed: the tests' statics may outlive main.
    static auto* app = new QGuiApplication(argc, argv);
    return *app;
}

// Runs the event loop until the future is done (or ten seconds pass, then it fails).
template <typename T>
bool waitFor(const QFuture<T>& future)
{
    QDeadlineTimer deadline(10000);
    while (!future.isFinished() && !deadline.hasExpired())
    {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    return future.isFinished();
}

template <typename Predicate>
bool waitUntil(Predicate done)
{
    QDeadlineTimer deadline(10000);
    while (!done() && !deadline.hasExpired())
    {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    return done();
}

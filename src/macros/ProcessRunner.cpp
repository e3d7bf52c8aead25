#include "macros/ProcessRunner.h"

#include "platform/ChildProcesses.h"

#include <QByteArray>
#include <QtConcurrent/QtConcurrentRun>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

extern char** environ;

namespace {

struct Pipe {
    int read = -1;
    int write = -1;
    bool open()
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return false;
        read = fds[0];
        write = fds[1];
        return true;
    }
    void closeRead() { if (read >= 0) ::close(read); read = -1; }
    void closeWrite() { if (write >= 0) ::close(write); write = -1; }
    ~Pipe() { closeRead(); closeWrite(); }
};

// Reads both pipes until each reports its end, whichever of them has data first.
void drain(int outFd, int errFd, QByteArray& out, QByteArray& err)
{
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    QByteArray* sinks[2] = {&out, &err};
    char buffer[65536];
    int open = 2;
    while (open > 0) {
        const int ready = ::poll(fds, 2, -1);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, qsizetype(n));
            } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
                fds[i].fd = -1;
                --open;
            }
        }
    }
}

} // namespace

QString ProcessRunner::launchFailure(const QString& toolName, const QString& description)
{
    return QStringLiteral("Could not launch ") + toolName + QStringLiteral(": ") + description;
}

ProcessResult ProcessRunner::run(const QString& path, const QStringList& arguments,
                                 const QString& toolName)
{
    Pipe out, err;
    if (!out.open() || !err.open())
        return {QString(), launchFailure(toolName, qt_error_string(errno))};

    const QByteArray program = path.toLocal8Bit();
    std::vector<QByteArray> storage;
    storage.reserve(std::size_t(arguments.size()) + 1);
    storage.push_back(program);
    for (const QString& argument : arguments)
        storage.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& s : storage)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out.write, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err.write, STDERR_FILENO);

    // The child starts with default signal handling and no blocked signals, whatever this
    // process has set up for itself (Qt ignores SIGPIPE, for example).
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = -1;
    int spawnError = 0;
    {
        const auto starting = ChildProcesses::starting();
        spawnError = ::posix_spawn(&pid, program.constData(), &actions, &attributes, argv.data(), environ);
        if (spawnError == 0)
            ChildProcesses::claim(pid);
    }
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawnError != 0)
        return {QString(), launchFailure(toolName, qt_error_string(spawnError))};

    out.closeWrite();
    err.closeWrite();
    QByteArray outBytes, errBytes;
    drain(out.read, err.read, outBytes, errBytes);

    int status = 0;
    pid_t waited = -1;
    do {
        waited = ::waitpid(pid, &status, 0);
    } while (waited < 0 && errno == EINTR);
    ChildProcesses::release(pid);
    // A child whose status cannot be had is not a success: report it as a failed exit.
    const int code = waited < 0            ? 1
                     : WIFEXITED(status)   ? WEXITSTATUS(status)
                     : WIFSIGNALED(status) ? WTERMSIG(status)
                                           : 1;

    ProcessResult result;
    result.output = QString::fromUtf8(outBytes);
    if (code != 0) {
        const QString errorText = QString::fromUtf8(errBytes).trimmed();
        result.failure = !errorText.isEmpty()
            ? errorText
            : toolName + QStringLiteral(" exited with status ") + QString::number(code);
    }
    return result;
}

QFuture<ProcessResult> ProcessRunner::runAsync(const QString& path, const QStringList& arguments,
                                               const QString& toolName)
{
    return QtConcurrent::run([path, arguments, toolName] { return run(path, arguments, toolName); });
}


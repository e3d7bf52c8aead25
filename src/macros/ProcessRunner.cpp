#include "macros/ProcessRunner.h"

#include "platform/ChildProcesses.h"

#include <QtConcurrent/QtConcurrentRun>

#include <cerrno>
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <utility>
#include <vector>

extern char** environ;

ProcessRunner::ProcessRunner()
{
    m_threads.setMaxThreadCount(maxWaits);
}

ProcessRunner::~ProcessRunner()
{
    m_stop.stop();
    m_threads.waitForDone();
}

QString ProcessRunner::launchFailure(const QString& toolName, const QString& description)
{
    return QStringLiteral("Could not launch ") + toolName + QStringLiteral(": ") + description;
}

ProcessResult ProcessRunner::run(const QString& path, const QStringList& arguments, const QString& toolName,
                                 const WaitStop* stop)
{
    // Stopped while it waited for a thread: Tarv is quitting, and starts nothing more.
    if (stop && stop->isStopped())
        return {QString(), QStringLiteral("Tarv stopped waiting for ") + toolName};
    ChildPipes pipes;
    if (!pipes.open())
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
    posix_spawn_file_actions_adddup2(&actions, pipes.outWrite, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pipes.errWrite, STDERR_FILENO);

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

    pipes.closeWriteEnds();
    ChildOutput& out = pipes.out;
    ChildOutput& err = pipes.err;
    const int exitFd = ChildWait::openExitNotifier(pid);
    const ChildWait::Seen seen =
        ChildWait::waitForEnd(pid, exitFd, out, err, ChildWait::Clock::time_point::max(), stop);
    if (exitFd >= 0)
        ::close(exitFd);
    // What it wrote before it ended waits in the pipes; what it left running may write on.
    out.drain();
    err.drain();
    ChildProcesses::keepReading(std::exchange(out.fd, -1));
    ChildProcesses::keepReading(std::exchange(err.fd, -1));

    int status = 0;
    pid_t waited = -1;
    if (seen == ChildWait::Seen::ended) {
        do {
            waited = ::waitpid(pid, &status, 0);
        } while (waited < 0 && errno == EINTR);
    }
    // A child not waited for is left to the reaper of children.
    ChildProcesses::release(pid);
    if (seen == ChildWait::Seen::running)
        return {QString(), QStringLiteral("Tarv stopped waiting for ") + toolName};
    // A child whose status cannot be had is not a success: report it as a failed exit.
    const int code = waited < 0            ? 1
                     : WIFEXITED(status)   ? WEXITSTATUS(status)
                     : WIFSIGNALED(status) ? WTERMSIG(status)
                                           : 1;

    ProcessResult result;
    result.output = QString::fromUtf8(out.kept);
    if (code != 0) {
        const QString errorText = QString::fromUtf8(err.kept).trimmed();
        result.failure = !errorText.isEmpty()
            ? errorText
            : toolName + QStringLiteral(" exited with status ") + QString::number(code);
    }
    return result;
}

QFuture<ProcessResult> ProcessRunner::runAsync(const QString& path, const QStringList& arguments,
                                               const QString& toolName)
{
    return QtConcurrent::run(&m_threads,
                             [this, path, arguments, toolName] { return run(path, arguments, toolName, &m_stop); });
}


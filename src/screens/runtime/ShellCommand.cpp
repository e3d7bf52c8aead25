#include "screens/runtime/ShellCommand.h"

#include "platform/ChildProcesses.h"
#include "platform/ChildStart.h"
#include "platform/ChildWait.h"

#include <QtCore/qsystemdetection.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

void ShellGroups::endGroup(pid_t group)
{
    if (group > 1)
        ::kill(-group, SIGKILL);
}

bool ShellGroups::isEnded()
{
    std::lock_guard lock(m_mutex);
    return m_ended;
}

bool ShellGroups::add(pid_t group)
{
    std::lock_guard lock(m_mutex);
    if (m_ended)
        return false;
    m_groups.insert(group);
    return true;
}

void ShellGroups::remove(pid_t group)
{
    {
        std::lock_guard lock(m_mutex);
        m_groups.remove(group);
    }
    m_removed.notify_all();
}

void ShellGroups::endAll(std::chrono::milliseconds grace)
{
    std::unique_lock lock(m_mutex);
    m_ended = true;
    // Every registered shell is unreaped, so its id still names its own group.
    for (const pid_t group : std::as_const(m_groups)) {
        ::kill(-group, SIGTERM);
        ::kill(-group, SIGCONT);
    }
    // A shell that ends leaves the set once its thread has ended the rest of its group.
    m_removed.wait_for(lock, grace, [this] { return m_groups.isEmpty(); });
    for (const pid_t group : std::as_const(m_groups))
        endGroup(group);
}

namespace {

using Clock = ChildWait::Clock;
using ChildWait::Seen;
using ChildWait::waitForEnd;

// How long a killed shell is waited for before it is left to the reaper of children.
constexpr std::chrono::milliseconds killedWait(1000);

// Far beyond any real limit, yet small enough that adding it to now cannot overflow.
constexpr double maxWaitSeconds = 1.0e7;

Clock::duration secondsDuration(double seconds)
{
    if (!(seconds > 0))
        return Clock::duration::zero();
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(std::min(seconds, maxWaitSeconds)));
}

std::vector<QByteArray> environmentWithPath(const QByteArray& path)
{
    std::vector<QByteArray> entries;
    for (char** entry = environ; entry && *entry; ++entry) {
        if (!QByteArray(*entry).startsWith("PATH=") && QByteArray(*entry) != ChildProcesses::sourceMarker)
            entries.emplace_back(*entry);
    }
    entries.push_back("PATH=" + path);
    entries.emplace_back(ChildProcesses::sourceMarker);
    return entries;
}

} // namespace

ShellCommand::Outcome ShellCommand::run(const QString& command, const QByteArray& path, double timeLimit,
                                        double killGrace, ShellGroups* groups, const WaitStop* stop)
{
    Outcome outcome;
    // Stopped while it waited for a thread: nobody wants its value any more, and once the
    // sources ended (Tarv quits) a command still to come would be started only to be killed.
    if ((stop && stop->isStopped()) || (groups && groups->isEnded())) {
        outcome.end = End::stopped;
        return outcome;
    }
    ChildPipes pipes;
    if (!pipes.open()) {
        outcome.end = End::noCapture;
        return outcome;
    }

    const QByteArray commandBytes = command.toUtf8();
    const std::vector<QByteArray> environment = environmentWithPath(path);
    std::vector<char*> envp;
    for (const QByteArray& entry : environment)
        envp.push_back(const_cast<char*>(entry.constData()));
    envp.push_back(nullptr);
    char shell[] = "/bin/sh";
    char dashC[] = "-c";
    char* argv[] = {shell, dashC, const_cast<char*>(commandBytes.constData()), nullptr};

    ChildStart::Plan plan;
    plan.path = shell;
    plan.argv = argv;
    plan.envp = envp.data();
    plan.nullInput = true;
    plan.out = pipes.outWrite;
    plan.err = pipes.errWrite;
    // A group of its own; signals as a fresh shell expects them, whatever this application
    // ignores or blocks on the calling thread.
    plan.ownGroup = true;
    sigfillset(&plan.defaults);
    pid_t pid = -1;
    int spawnError = 0;
    {
        const auto starting = ChildProcesses::starting();
        spawnError = ChildStart::spawn(pid, plan);
        if (spawnError == 0)
            ChildProcesses::claim(pid);
    }
    pipes.closeWriteEnds();
    if (spawnError != 0) {
        outcome.end = End::notStarted;
        outcome.startError = qt_error_string(spawnError);
        return outcome;
    }
    ChildOutput& out = pipes.out;
    ChildOutput& err = pipes.err;

    if (groups && !groups->add(pid))
        ShellGroups::endGroup(pid);
    const int exitFd = ChildWait::openExitNotifier(pid);

    const auto started = Clock::now();
    Seen seen = waitForEnd(pid, exitFd, out, err, started + secondsDuration(timeLimit), stop);
    const bool endedEarly = seen == Seen::running;
    if (endedEarly) {
        ::kill(-pid, SIGTERM);
        seen = waitForEnd(pid, exitFd, out, err, Clock::now() + secondsDuration(killGrace));
    } else {
        out.drain();
        err.drain();
    }
    // Also when the shell ended by itself or gave way to SIGTERM: what it started in the
    // background, or the rest of a pipeline that ignores SIGTERM, would outlive it.
    if (seen != Seen::lost)
        ShellGroups::endGroup(pid);
    // SIGKILL ends it at once, unless a tracer holds it stopped or ended.
    if (seen == Seen::running)
        seen = waitForEnd(pid, exitFd, out, err, Clock::now() + killedWait);
    out.close();
    err.close();
    if (exitFd >= 0)
        ::close(exitFd);

    if (groups)
        groups->remove(pid);
    int status = 0;
    if (seen == Seen::ended) {
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    ChildProcesses::release(pid);

    outcome.out = std::move(out.kept);
    outcome.err = std::move(err.kept);
    if (endedEarly) {
        outcome.end = stop && stop->isStopped() ? End::stopped : End::timedOut;
    } else if (seen != Seen::ended) {
        outcome.end = End::unknown;
    } else if (WIFSIGNALED(status)) {
        outcome.end = End::signalled;
        outcome.status = WTERMSIG(status);
    } else {
        outcome.end = End::exited;
        outcome.status = WEXITSTATUS(status);
    }
    return outcome;
}

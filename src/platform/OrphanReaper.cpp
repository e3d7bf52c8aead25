#include "platform/OrphanReaper.h"

#include "platform/ProcessSpawn.h"
#include "platform/ChildWaiter.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::mutex claimsMutex;
// A count, not a set: an id reaped and handed out again may be claimed by its new owner
// before its old one let go of it.
QHash<pid_t, int> claimed;

QByteArray readProcFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return {};
    return file.read(1 << 20);
}

// Every child of this process, whichever thread started it or adopted it.
QList<pid_t> children()
{
    QList<pid_t> found;
    const QStringList tasks = QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& task : tasks) {
        const QList<QByteArray> ids = readProcFile(QStringLiteral("/proc/self/task/%1/children").arg(task)).split(' ');
        for (const QByteArray& id : ids) {
            bool ok = false;
            const pid_t pid = pid_t(id.trimmed().toInt(&ok));
            if (ok && pid > 1 && !found.contains(pid))
                found.append(pid);
        }
    }
    return found;
}

// Children that someone in this process waits for through a pidfd (QProcess does).
QSet<pid_t> heldByPidfds()
{
    QSet<pid_t> held;
    const QStringList fds = QDir(QStringLiteral("/proc/self/fdinfo")).entryList(QDir::Files);
    for (const QString& fd : fds) {
        const QByteArray info = readProcFile(QStringLiteral("/proc/self/fdinfo/") + fd);
        const qsizetype at = info.indexOf("\nPid:");
        if (at < 0)
            continue;
        const qsizetype end = info.indexOf('\n', at + 1);
        bool ok = false;
        const pid_t pid = pid_t(info.mid(at + 5, end < 0 ? -1 : end - at - 5).trimmed().toInt(&ok));
        if (ok)
            held.insert(pid);
    }
    return held;
}

bool isZombie(pid_t pid)
{
    // "pid (name) S …": the name may hold anything, the state follows its last ')'.
    const QByteArray stat = readProcFile(QStringLiteral("/proc/%1/stat").arg(pid));
    const qsizetype close = stat.lastIndexOf(')');
    return close >= 0 && stat.size() > close + 2 && stat.at(close + 2) == 'Z';
}

bool cameFromASource(pid_t pid)
{
    const QList<QByteArray> environment = readProcFile(QStringLiteral("/proc/%1/environ").arg(pid)).split('\0');
    return environment.contains(QByteArray(OrphanReaper::sourceMarker));
}

// The children nobody in this process waits for. Call with claimsMutex held.
QList<pid_t> unclaimedChildren()
{
    QList<pid_t> found = children();
    if (found.isEmpty())
        return found;
    const QSet<pid_t> held = heldByPidfds();
    found.removeIf([&](pid_t pid) { return claimed.contains(pid) || held.contains(pid); });
    return found;
}

// Reaps the child if it ended, never waiting: a traced process that ended is not ours to
// reap until its tracer lets go of it. True when it ended, reaped or not.
bool reapIfEnded(pid_t pid)
{
    if (!isZombie(pid))
        return false;
    int status = 0;
    ::waitpid(pid, &status, WNOHANG);
    return true;
}

void reapEnded()
{
    const std::lock_guard lock(claimsMutex);
    for (const pid_t pid : unclaimedChildren())
        reapIfEnded(pid);
}

// Reaps what ended, and sends `signal` to the unclaimed children from a shell source that
// still run; SIGTERM goes to each once, with SIGCONT so that a stopped one can act on it.
// True when one from a shell source still ran.
bool signalSources(int signal, QSet<pid_t>& terminated)
{
    const std::lock_guard lock(claimsMutex);
    bool sourcesLeft = false;
    for (const pid_t pid : unclaimedChildren()) {
        if (reapIfEnded(pid) || !cameFromASource(pid))
            continue;
        sourcesLeft = true;
        if (signal != SIGTERM) {
            ::kill(pid, signal);
        } else if (!terminated.contains(pid)) {
            terminated.insert(pid);
            ::kill(pid, SIGTERM);
            ::kill(pid, SIGCONT);
        }
    }
    return sourcesLeft;
}

bool someChildEnded()
{
    siginfo_t info{};
    return ::waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid != 0;
}

}  // namespace

OrphanReaper::OrphanReaper()
{
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGCHLD, &action, nullptr);
    if (::prctl(PR_SET_CHILD_SUBREAPER, 1) != 0)
        qWarning("Tarv cannot adopt what its commands leave running: %s", std::strerror(errno));
    // A child waited for holds three descriptors, and what an ended one left running holds
    // two: thousands of them need more than the 1024 a session gives a program by default.
    // A descriptor past 1024 (which select() cannot take) exists only while that many are
    // open, which the default refused anyway; the programs Tarv starts get the session's
    // limit back (ProcessSpawn).
    ProcessSpawn::raiseFileLimit(3 * ChildWaiter::maxChildren + 2 * ChildWaiter::maxLeftoverPipes + 4096);
    if (::pipe2(m_stop, O_CLOEXEC | O_NONBLOCK) != 0) {
        m_stop[0] = m_stop[1] = -1;
        return;
    }
    m_reaper = std::thread([this] { reapUntilStopped(); });
}

OrphanReaper::~OrphanReaper()
{
    if (m_reaper.joinable()) {
        // A byte, not the pipe's end: a process forked meanwhile may hold a copy of the write end.
        const char stop = 1;
        while (::write(m_stop[1], &stop, 1) < 0 && errno == EINTR) {
        }
        m_reaper.join();
        ::close(m_stop[0]);
        ::close(m_stop[1]);
    }
    // A leftover that ends leaves its own children to be adopted in turn: each look finds
    // them. Whatever neither signal ended by the deadlines (a traced process whose tracer
    // does not let go of it) is left behind rather than waited for.
    using Clock = std::chrono::steady_clock;
    QSet<pid_t> terminated;
    const auto pause = [] { std::this_thread::sleep_for(std::chrono::milliseconds(10)); };
    const auto killAt = Clock::now() + leftoverGrace;
    bool sourcesLeft = signalSources(SIGTERM, terminated);
    while (sourcesLeft && Clock::now() < killAt) {
        pause();
        sourcesLeft = signalSources(SIGTERM, terminated);
    }
    const auto giveUpAt = Clock::now() + killedGrace;
    while (sourcesLeft) {
        sourcesLeft = signalSources(SIGKILL, terminated);
        if (Clock::now() >= giveUpAt)
            break;
        pause();
    }
    reapEnded();
    ::prctl(PR_SET_CHILD_SUBREAPER, 0);
    ProcessSpawn::lowerFileLimit();
}

std::unique_lock<std::mutex> OrphanReaper::starting()
{
    return std::unique_lock(claimsMutex);
}

void OrphanReaper::claim(pid_t pid)
{
    // Called with the lock of starting() held.
    ++claimed[pid];
}

void OrphanReaper::release(pid_t pid)
{
    const std::lock_guard lock(claimsMutex);
    const auto it = claimed.find(pid);
    if (it != claimed.end() && --*it <= 0)
        claimed.erase(it);
}

void OrphanReaper::reapUntilStopped()
{
    // An ended child is noticed within a second: a zombie costs nothing but its place in the
    // process table meanwhile.
    for (;;) {
        pollfd stop{m_stop[0], POLLIN, 0};
        const int ready = ::poll(&stop, 1, 1000);
        if (ready < 0 && errno != EINTR)
            return;
        if (ready > 0)
            return;
        if (someChildEnded())
            reapEnded();
    }
}

#include "platform/ChildWaiter.h"

#include "platform/OrphanReaper.h"
#include "platform/ProcessSpawn.h"
#include "platform/CappedOutput.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <list>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>
#include <utility>

extern char** environ;

namespace {

struct Child;

// What an epoll event names: one of a child's three descriptors.
struct Watch {
    enum class Kind { exit, out, err };
    Child* child;
    Kind kind;
};

using Clock = ChildWaiter::Clock;

// `held`: the child ended, but a tracer holds it, and it cannot be waited for until the tracer
// lets go of it. `lost`: it was reaped without us, and its id may name another process by now.
enum class Seen { running, ended, held, lost };

// Whether the child ended, leaving it unreaped: its id stays reserved until the caller reaps it.
Seen look(pid_t pid)
{
    // WNOWAIT leaves the child a zombie: its id stays reserved, so that it (and the group it
    // leads) cannot name an unrelated process before its owner is done with it.
    siginfo_t info{};
    while (::waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT) < 0) {
        // No such child: it was reaped without us, and its id is free for anyone.
        if (errno != EINTR)
            return Seen::lost;
    }
    return info.si_pid == pid ? Seen::ended : Seen::running;
}

// A descriptor that becomes readable when the process ends, where the kernel offers one.
int openExitNotifier(pid_t pid)
{
#ifdef SYS_pidfd_open
    return int(::syscall(SYS_pidfd_open, pid, 0));
#else
    Q_UNUSED(pid);
    return -1;
#endif
}

// A child's standard output and error, a pipe each: the write ends go to the child as it starts,
// the read ends stay here, non-blocking. Whatever is still open when this goes is closed.
struct OutputPipes {
    CappedOutput out;
    CappedOutput err;
    int outWrite = -1;
    int errWrite = -1;

    OutputPipes() = default;
    ~OutputPipes()
    {
        out.close();
        err.close();
        closeWriteEnds();
    }
    OutputPipes(const OutputPipes&) = delete;
    OutputPipes& operator=(const OutputPipes&) = delete;

    // Both pipes, closed on exec; false, with errno saying why, when they could not be made.
    bool open()
    {
        for (auto [readEnd, writeEnd] : {std::pair{&out.fd, &outWrite}, std::pair{&err.fd, &errWrite}}) {
            int fds[2];
            if (::pipe2(fds, O_CLOEXEC) != 0)
                return false;
            *readEnd = fds[0];
            *writeEnd = fds[1];
            // The read end only: the write end is the child's, blocking as a program expects.
            ::fcntl(*readEnd, F_SETFL, O_NONBLOCK);
        }
        return true;
    }
    // Once the child has its copies, or failed to start: a stream ends when the child's end closes.
    void closeWriteEnds()
    {
        for (int* fd : {&outWrite, &errWrite}) {
            if (*fd >= 0)
                ::close(*fd);
            *fd = -1;
        }
    }
};

struct Child {
    ChildWaiter::Ticket ticket = 0;
    int epoll = -1;
    pid_t pid = -1;
    bool ownGroup = false;
    // Readable once the child ended; -1 when the kernel gave none (the wait then looks again
    // on a short timer) or once it ended.
    int exitFd = -1;
    bool ended = false;
    // In the order children ended, for the pipes that leftovers hold.
    quint64 endedAs = 0;
    // Counted among the leftovers' pipes.
    bool leftover = false;
    // The deadline, then the time of SIGKILL once SIGTERM went; none when neither is due.
    std::optional<Clock::time_point> due;
    bool terminated = false;
    bool timedOut = false;
    Clock::duration killGrace{};
    CappedOutput out;
    CappedOutput err;
    ChildWaiter::Done done;
    Watch watches[3] = {};

    Child() = default;
    ~Child()
    {
        out.close();
        err.close();
        closeExitFd();
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool finished() const { return ended && out.fd < 0 && err.fd < 0; }
    bool leftoverPipes() const { return ended && (out.fd >= 0 || err.fd >= 0); }

    void closeExitFd()
    {
        if (exitFd < 0)
            return;
        // Out of the epoll first: a copy in a process forked meanwhile would keep it watched.
        ::epoll_ctl(epoll, EPOLL_CTL_DEL, exitFd, nullptr);
        ::close(exitFd);
        exitFd = -1;
    }
};

// How often a child without an exit descriptor is looked at.
constexpr int pollMilliseconds = 10;
// Reads of one pipe per wake: a fast writer does not hold up the other children.
constexpr int readsPerWake = 4;
// A stream past what is kept is taken off the epoll and emptied on a timer while it has
// something each time: a program that writes without pause costs a wake per period, not one
// per pipe's worth. The period grows while every such stream keeps coming, and the pipe is
// made larger to hold a period's output. Together they bound how fast such a program writes:
// about 20 MB a second (a pipe a period), far more than any log a person reads, for half a
// percent of a core per stream that never pauses.
constexpr std::chrono::milliseconds shortestRest(10);
constexpr std::chrono::milliseconds longestRest(50);
constexpr int restingPipeBytes = 1024 * 1024;

bool watch(int epoll, int fd, Watch* what)
{
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.ptr = what;
    return ::epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &event) == 0;
}

int sendSignal(pid_t pid, int pidfd, int signal)
{
#ifdef SYS_pidfd_send_signal
    if (pidfd >= 0)
        return int(::syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0));
#else
    Q_UNUSED(pidfd);
#endif
    return pid > 1 ? ::kill(pid, signal) : -1;
}

} // namespace

ChildWaiter::ChildWaiter(Now now, int maxRunning) : m_now(std::move(now)), m_maxRunning(maxRunning) {}

ChildWaiter::~ChildWaiter()
{
    stop();
    if (m_thread.joinable())
        m_thread.join();
    for (const int fd : {m_epoll, m_wake, m_null}) {
        if (fd >= 0)
            ::close(fd);
    }
}

ChildWaiter& ChildWaiter::shared()
{
    static ChildWaiter waiter;
    return waiter;
}

void ChildWaiter::wake()
{
    if (m_wake >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(m_wake, &one, sizeof one);
    }
}

void ChildWaiter::stop()
{
    const std::lock_guard lock(m_mutex);
    if (m_stopped)
        return;
    m_stopped = true;
    wake();
}

void ChildWaiter::lookAtDeadlines()
{
    const std::lock_guard lock(m_mutex);
    wake();
}

void ChildWaiter::signal(const Live& live, int signal)
{
    // The child is not reaped while m_mutex is held: its id, and the group it leads, are its own.
    if (live.ownGroup) {
        if (live.pid > 1)
            ::kill(-live.pid, signal);
    } else {
        sendSignal(live.pid, live.pidfd, signal);
    }
}

void ChildWaiter::kill(Ticket ticket)
{
    const std::lock_guard lock(m_mutex);
    if (const auto it = m_live.find(ticket); it != m_live.end())
        signal(it->second, SIGKILL);
    else if (ticket > m_launchedUpTo && ticket <= m_lastTicket)
        m_signalledEarly[ticket] = SIGKILL;
}

void ChildWaiter::terminate(Ticket ticket)
{
    const std::lock_guard lock(m_mutex);
    if (m_live.contains(ticket)) {
        m_terminations.push_back(ticket);
        wake();
    } else if (ticket > m_launchedUpTo && ticket <= m_lastTicket) {
        m_signalledEarly.try_emplace(ticket, SIGTERM);
    }
}

bool ChildWaiter::startThread()
{
    const auto fail = [this] {
        const int error = errno;
        for (int* fd : {&m_epoll, &m_wake, &m_null}) {
            if (*fd >= 0)
                ::close(*fd);
            *fd = -1;
        }
        errno = error;
        return false;
    };
    m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
    m_wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.ptr = nullptr;
    if (m_epoll < 0 || m_wake < 0 || m_null < 0 || ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_wake, &event) != 0)
        return fail();
    try {
        m_thread = std::thread([this] { run(); });
    } catch (const std::system_error& error) {
        errno = error.code().value();
        return fail();
    }
    return true;
}

ChildWaiter::Ticket ChildWaiter::start(std::vector<QByteArray> argv, Done done)
{
    Program program;
    program.argv = std::move(argv);
    return start(std::move(program), std::move(done));
}

ChildWaiter::Ticket ChildWaiter::start(Program program, Done done)
{
    End refused;
    if (program.input >= 0) {
        program.input = ::fcntl(program.input, F_DUPFD_CLOEXEC, 3);
        if (program.input < 0) {
            refused.code = errno;
            done(std::move(refused));
            return 0;
        }
    }
    const auto closeInput = [&program] {
        if (program.input >= 0)
            ::close(program.input);
    };
    {
        const std::lock_guard lock(m_mutex);
        if (m_stopped) {
            refused.kind = End::Kind::stopped;
        } else if (program.argv.empty()) {
            refused.code = ENOENT;
        } else if (m_thread.joinable() || startThread()) {
            const Ticket ticket = ++m_lastTicket;
            m_requests.push_back({ticket, std::move(program), std::move(done)});
            wake();
            return ticket;
        } else {
            refused.code = errno;
        }
    }
    closeInput();
    done(std::move(refused));
    return 0;
}

void ChildWaiter::run()
{
    ::pthread_setname_np(::pthread_self(), "Tarv children");
    std::list<Child> children;
    int polled = 0;
    int running = 0;
    int leftovers = 0;
    quint64 endings = 0;
    bool sweep = false;
    int restingCount = 0;
    std::optional<Clock::time_point> restDue;
    Clock::duration restPeriod = shortestRest;

    const auto rest = [&](CappedOutput& output, Watch* what) {
        if (output.fd < 0 || output.resting || !output.pastKept())
            return;
        epoll_event event{};
        event.events = 0;
        event.data.ptr = what;
        ::epoll_ctl(m_epoll, EPOLL_CTL_MOD, output.fd, &event);
        // Refused past the user's share of pipe memory: the pipe stays as it is.
        ::fcntl(output.fd, F_SETPIPE_SZ, restingPipeBytes);
        output.resting = true;
        if (restingCount++ == 0) {
            restPeriod = shortestRest;
            restDue = Clock::now() + restPeriod;
        }
    };
    const auto readFrom = [&](CappedOutput& output, Watch* what) {
        output.drain(m_null, readsPerWake);
        rest(output, what);
    };
    const auto drainResting = [&] {
        const int before = restingCount;
        restingCount = 0;
        for (Child& child : children) {
            for (auto [output, what] :
                 {std::pair{&child.out, &child.watches[1]}, std::pair{&child.err, &child.watches[2]}}) {
                if (!output->resting)
                    continue;
                if (output->drain(m_null, readsPerWake)) {
                    if (output->resting)
                        ++restingCount;
                    continue;
                }
                if (output->fd >= 0) {
                    // Nothing came for a whole period: the epoll watches it again.
                    output->resting = false;
                    epoll_event event{};
                    event.events = EPOLLIN;
                    event.data.ptr = what;
                    ::epoll_ctl(m_epoll, EPOLL_CTL_MOD, output->fd, &event);
                }
            }
            sweep = sweep || child.finished();
        }
        if (restingCount > 0 && restingCount == before)
            restPeriod = std::min<Clock::duration>(restPeriod * 2, longestRest);
        restDue = restingCount > 0 ? std::optional(Clock::now() + restPeriod) : std::nullopt;
    };

    const auto launched = [this](Ticket ticket) {
        const std::lock_guard lock(m_mutex);
        m_launchedUpTo = ticket;
        m_signalledEarly.erase(ticket);
    };

    const auto launch = [&](Request& request) {
        struct InputCopy {
            int fd;
            ~InputCopy()
            {
                if (fd >= 0)
                    ::close(fd);
            }
        } const input{request.program.input};
        End refused;
        if (running >= m_maxRunning) {
            launched(request.ticket);
            refused.kind = End::Kind::tooMany;
            request.done(std::move(refused));
            return;
        }
        {
            const std::lock_guard lock(m_mutex);
            if (const auto it = m_signalledEarly.find(request.ticket); it != m_signalledEarly.end()) {
                m_launchedUpTo = request.ticket;
                refused.kind = End::Kind::signalled;
                refused.code = it->second;
                m_signalledEarly.erase(it);
            }
        }
        if (refused.kind == End::Kind::signalled) {
            request.done(std::move(refused));
            return;
        }
        const Program& program = request.program;
        Child& child = children.emplace_back();
        child.ticket = request.ticket;
        child.epoll = m_epoll;
        child.ownGroup = program.ownGroup;
        child.killGrace = program.killGrace;
        child.watches[0] = {&child, Watch::Kind::exit};
        child.watches[1] = {&child, Watch::Kind::out};
        child.watches[2] = {&child, Watch::Kind::err};
        OutputPipes pipes;
        pipes.out.watchedBy = pipes.err.watchedBy = m_epoll;
        int error = 0;
        if (program.readOutput
            && (!pipes.open() || !watch(m_epoll, pipes.out.fd, &child.watches[1])
                || !watch(m_epoll, pipes.err.fd, &child.watches[2])))
            error = errno;

        std::vector<QByteArray> argv = program.argv;
        std::vector<char*> arguments;
        for (QByteArray& argument : argv)
            arguments.push_back(argument.data());
        arguments.push_back(nullptr);
        std::vector<QByteArray> environment;
        std::vector<char*> envp;
        if (program.environment) {
            environment = *program.environment;
            for (QByteArray& entry : environment)
                envp.push_back(entry.data());
            envp.push_back(nullptr);
        }
        ProcessSpawn::Plan plan;
        plan.path = arguments[0];
        plan.argv = arguments.data();
        plan.envp = program.environment ? envp.data() : environ;
        plan.nullInput = program.input < 0;
        plan.in = program.input;
        plan.out = program.readOutput ? pipes.outWrite : m_null;
        plan.err = program.readOutput ? pipes.errWrite : m_null;
        plan.ownGroup = program.ownGroup;
        // The child starts with default signal handling and no blocked signals, whatever this
        // process has set up for itself (Qt ignores SIGPIPE, for example).
        if (program.defaultSignals) {
            sigfillset(&plan.defaults);
        } else {
            sigemptyset(&plan.defaults);
            sigaddset(&plan.defaults, SIGPIPE);
        }
        // The deadline counts from before the start: the program may be at work before this
        // thread is back from starting it.
        const Clock::time_point startedAt = m_now();
        if (error == 0) {
            const auto starting = OrphanReaper::starting();
            error = ProcessSpawn::spawn(child.pid, plan);
            if (error == 0)
                OrphanReaper::claim(child.pid);
        }
        pipes.closeWriteEnds();
        if (error != 0) {
            launched(request.ticket);
            // The pipes close as this returns, taken out of the epoll first.
            children.pop_back();
            refused.code = error;
            request.done(std::move(refused));
            return;
        }
        ++running;
        child.out = std::exchange(pipes.out, {});
        child.err = std::exchange(pipes.err, {});
        child.done = std::move(request.done);
        child.exitFd = openExitNotifier(child.pid);
        if (program.deadline)
            child.due = startedAt + *program.deadline;
        {
            const std::lock_guard lock(m_mutex);
            m_launchedUpTo = request.ticket;
            const Live& live = m_live[request.ticket] = Live{child.pid, child.exitFd, child.ownGroup};
            if (const auto it = m_signalledEarly.find(request.ticket); it != m_signalledEarly.end()) {
                if (it->second == SIGKILL)
                    signal(live, SIGKILL);
                else
                    m_terminations.push_back(request.ticket);
                wake();
                m_signalledEarly.erase(it);
            }
        }
        if (child.exitFd >= 0 && !watch(m_epoll, child.exitFd, &child.watches[0])) {
            // Still good for signals, not for waking this loop.
            const std::lock_guard lock(m_mutex);
            m_live[request.ticket].pidfd = -1;
            ::close(child.exitFd);
            child.exitFd = -1;
        }
        if (child.exitFd < 0)
            ++polled;
    };

    const auto reapAndReport = [&](Child& child, Seen seen) {
        using Kind = End::Kind;
        End end;
        {
            // kill() from another thread looks the child up under the same lock: once it is
            // reaped, its ticket names nothing.
            const std::lock_guard lock(m_mutex);
            m_live.erase(child.ticket);
            // What it left running in its group goes with it, while the group's id is still its.
            if (child.ownGroup && seen != Seen::lost && child.pid > 1)
                ::kill(-child.pid, SIGKILL);
            if (seen == Seen::ended) {
                int status = 0;
                pid_t waited;
                do {
                    waited = ::waitpid(child.pid, &status, 0);
                } while (waited < 0 && errno == EINTR);
                const bool signalled = WIFSIGNALED(status);
                end.kind = waited < 0 ? Kind::lost : signalled ? Kind::signalled : Kind::exited;
                end.code = waited < 0 ? 0 : signalled ? WTERMSIG(status) : WEXITSTATUS(status);
            } else {
                end.kind = seen == Seen::held ? Kind::held : Kind::lost;
            }
        }
        if (child.timedOut)
            end.kind = Kind::timedOut;
        // Reaped, or (held) left to the reaper of children, which takes it once its tracer lets go.
        OrphanReaper::release(child.pid);
        child.closeExitFd();
        child.ended = true;
        child.endedAs = ++endings;
        child.due.reset();
        --running;
        // What it wrote before it ended waits in the pipes; what it left running may write on.
        child.out.drain(m_null);
        child.err.drain(m_null);
        end.out = std::exchange(child.out.kept, {});
        end.err = std::exchange(child.err.kept, {});
        child.out.keep = child.err.keep = false;
        rest(child.out, &child.watches[1]);
        rest(child.err, &child.watches[2]);
        child.leftover = child.leftoverPipes();
        if (child.leftover && ++leftovers > maxLeftoverPipes) {
            // The oldest leftover's writers now see a closed pipe.
            Child* oldest = nullptr;
            for (Child& other : children) {
                if (other.leftoverPipes() && (!oldest || other.endedAs < oldest->endedAs))
                    oldest = &other;
            }
            oldest->out.close();
            oldest->err.close();
            sweep = true;
        }
        std::exchange(child.done, {})(std::move(end));
    };

    // SIGTERM (with SIGCONT, for one that is stopped) now, SIGKILL its grace later.
    const auto terminate = [&](Child& child, Clock::time_point now) {
        child.terminated = true;
        child.due = now + child.killGrace;
        const std::lock_guard lock(m_mutex);
        if (const auto it = m_live.find(child.ticket); it != m_live.end()) {
            signal(it->second, SIGTERM);
            signal(it->second, SIGCONT);
        }
    };

    // Deadlines that passed act; returns the epoll timeout until the next one (-1: none).
    const auto passDeadlines = [&]() -> int {
        std::optional<Clock::time_point> next;
        const Clock::time_point now = m_now();
        for (Child& child : children) {
            if (child.ended || !child.due)
                continue;
            if (*child.due <= now && !child.terminated) {
                // The grace counts from the deadline, however late this loop came to it.
                child.timedOut = true;
                terminate(child, *child.due);
            }
            if (*child.due <= now) {
                child.due.reset();
                const std::lock_guard lock(m_mutex);
                if (const auto it = m_live.find(child.ticket); it != m_live.end())
                    signal(it->second, SIGKILL);
                continue;
            }
            if (!next || *child.due < *next)
                next = child.due;
        }
        if (!next)
            return -1;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(*next - now).count();
        return int(std::clamp<decltype(left)>(left, 0, INT_MAX / 2));
    };

    const auto stopAll = [&] {
        for (Child& child : children) {
            if (child.ended)
                continue;
            {
                const std::lock_guard lock(m_mutex);
                m_live.erase(child.ticket);
            }
            // Its exit is left to the reaper of children.
            OrphanReaper::release(child.pid);
            End end;
            end.kind = End::Kind::stopped;
            std::exchange(child.done, {})(std::move(end));
        }
        children.clear();
    };

    epoll_event events[256];
    for (;;) {
        int timeout = passDeadlines();
        if (polled > 0)
            timeout = timeout < 0 ? pollMilliseconds : std::min(timeout, pollMilliseconds);
        if (restDue) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(*restDue - Clock::now()).count();
            const int restTimeout = int(std::clamp<decltype(left)>(left, 0, longestRest.count()));
            timeout = timeout < 0 ? restTimeout : std::min(timeout, restTimeout);
        }
        const int ready = ::epoll_wait(m_epoll, events, int(std::size(events)), timeout);
        if (ready < 0 && errno != EINTR)
            break;
        bool woken = false;
        bool someFinished = false;
        for (int i = 0; i < ready; ++i) {
            auto* what = static_cast<Watch*>(events[i].data.ptr);
            if (!what) {
                woken = true;
                continue;
            }
            Child& child = *what->child;
            switch (what->kind) {
            case Watch::Kind::exit:
                // The kernel says it ended; if it cannot be waited for, its tracer holds it,
                // and its descriptor would wake this loop again and again until it lets go.
                if (const Seen seen = look(child.pid); seen == Seen::running)
                    reapAndReport(child, Seen::held);
                else
                    reapAndReport(child, seen);
                break;
            case Watch::Kind::out:
                readFrom(child.out, what);
                break;
            case Watch::Kind::err:
                readFrom(child.err, what);
                break;
            }
            someFinished = someFinished || child.finished();
        }
        if (polled > 0) {
            for (Child& child : children) {
                if (child.ended || child.exitFd >= 0)
                    continue;
                if (const Seen seen = look(child.pid); seen != Seen::running) {
                    --polled;
                    reapAndReport(child, seen);
                    someFinished = someFinished || child.finished();
                }
            }
        }
        if (restDue && Clock::now() >= *restDue)
            drainResting();
        if (someFinished || sweep) {
            sweep = false;
            children.remove_if([&](const Child& child) {
                if (child.finished() && child.leftover)
                    --leftovers;
                return child.finished();
            });
        }
        if (!woken)
            continue;

        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t read = ::read(m_wake, &count, sizeof count);
        std::vector<Request> requests;
        std::vector<Ticket> terminations;
        bool stopped = false;
        {
            const std::lock_guard lock(m_mutex);
            requests.swap(m_requests);
            terminations.swap(m_terminations);
            stopped = m_stopped;
        }
        if (stopped)
            break;
        for (const Ticket ticket : terminations) {
            for (Child& child : children) {
                if (child.ticket == ticket && !child.ended && !child.terminated)
                    terminate(child, m_now());
            }
        }
        for (Request& request : requests)
            launch(request);
    }
    stopAll();
    std::vector<Request> requests;
    {
        const std::lock_guard lock(m_mutex);
        // Nothing is queued after the stop: start() refuses at once from then on.
        m_stopped = true;
        requests.swap(m_requests);
    }
    for (Request& request : requests) {
        if (request.program.input >= 0)
            ::close(request.program.input);
        End end;
        end.kind = End::Kind::stopped;
        request.done(std::move(end));
    }
}

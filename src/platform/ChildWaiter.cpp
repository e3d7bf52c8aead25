#include "platform/ChildWaiter.h"

#include "platform/ChildProcesses.h"
#include "platform/ChildStart.h"
#include "platform/ChildWait.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <list>
#include <sys/epoll.h>
#include <sys/eventfd.h>
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

struct Child {
    int epoll = -1;
    pid_t pid = -1;
    // Readable once the child ended; -1 when the kernel gave none (the wait then looks again
    // on a short timer) or once it ended.
    int exitFd = -1;
    bool ended = false;
    ChildOutput out;
    ChildOutput err;
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

bool watch(int epoll, int fd, Watch* what)
{
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.ptr = what;
    return ::epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &event) == 0;
}

void reapAndReport(Child& child, ChildWait::Seen seen)
{
    using Kind = ChildWaiter::End::Kind;
    ChildWaiter::End end;
    if (seen == ChildWait::Seen::ended) {
        int status = 0;
        pid_t waited;
        do {
            waited = ::waitpid(child.pid, &status, 0);
        } while (waited < 0 && errno == EINTR);
        const bool signalled = WIFSIGNALED(status);
        end.kind = waited < 0 ? Kind::lost : signalled ? Kind::signalled : Kind::exited;
        end.code = waited < 0 ? 0 : signalled ? WTERMSIG(status) : WEXITSTATUS(status);
    } else {
        end.kind = seen == ChildWait::Seen::held ? Kind::held : Kind::lost;
    }
    // Reaped, or (held) left to the reaper of children, which takes it once its tracer lets go.
    ChildProcesses::release(child.pid);
    child.closeExitFd();
    child.ended = true;
    // What it wrote before it ended waits in the pipes; what it left running may write on.
    child.out.drain();
    child.err.drain();
    end.out = std::exchange(child.out.kept, {});
    end.err = std::exchange(child.err.kept, {});
    child.out.keep = child.err.keep = false;
    std::exchange(child.done, {})(std::move(end));
}

} // namespace

ChildWaiter::~ChildWaiter()
{
    stop();
    if (m_thread.joinable())
        m_thread.join();
    for (const int fd : {m_epoll, m_wake}) {
        if (fd >= 0)
            ::close(fd);
    }
}

void ChildWaiter::stop()
{
    const std::lock_guard lock(m_mutex);
    if (m_stopped)
        return;
    m_stopped = true;
    if (m_wake >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(m_wake, &one, sizeof one);
    }
}

bool ChildWaiter::startThread()
{
    const auto fail = [this] {
        const int error = errno;
        for (int* fd : {&m_epoll, &m_wake}) {
            if (*fd >= 0)
                ::close(*fd);
            *fd = -1;
        }
        errno = error;
        return false;
    };
    m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
    m_wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.ptr = nullptr;
    if (m_epoll < 0 || m_wake < 0 || ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_wake, &event) != 0)
        return fail();
    try {
        m_thread = std::thread([this] { run(); });
    } catch (const std::system_error& error) {
        errno = error.code().value();
        return fail();
    }
    return true;
}

void ChildWaiter::start(std::vector<QByteArray> argv, Done done)
{
    End refused;
    {
        const std::lock_guard lock(m_mutex);
        if (m_stopped) {
            refused.kind = End::Kind::stopped;
        } else if (m_thread.joinable() || startThread()) {
            m_requests.push_back({std::move(argv), std::move(done)});
            const std::uint64_t one = 1;
            [[maybe_unused]] const ssize_t written = ::write(m_wake, &one, sizeof one);
            return;
        } else {
            refused.code = errno;
        }
    }
    done(std::move(refused));
}

void ChildWaiter::run()
{
    ::pthread_setname_np(::pthread_self(), "Tarv children");
    std::list<Child> children;
    int polled = 0;

    const auto launch = [&](Request& request) {
        End refused;
        if (children.size() >= std::size_t(maxChildren)) {
            refused.kind = End::Kind::tooMany;
            request.done(std::move(refused));
            return;
        }
        Child& child = children.emplace_back();
        child.epoll = m_epoll;
        child.watches[0] = {&child, Watch::Kind::exit};
        child.watches[1] = {&child, Watch::Kind::out};
        child.watches[2] = {&child, Watch::Kind::err};
        ChildPipes pipes;
        pipes.out.watchedBy = pipes.err.watchedBy = m_epoll;
        int error = 0;
        if (!pipes.open() || !watch(m_epoll, pipes.out.fd, &child.watches[1])
            || !watch(m_epoll, pipes.err.fd, &child.watches[2]))
            error = errno;

        std::vector<char*> arguments;
        for (QByteArray& argument : request.argv)
            arguments.push_back(argument.data());
        arguments.push_back(nullptr);
        ChildStart::Plan plan;
        plan.path = arguments[0];
        plan.argv = arguments.data();
        plan.envp = environ;
        plan.out = pipes.outWrite;
        plan.err = pipes.errWrite;
        // The child starts with default signal handling and no blocked signals, whatever this
        // process has set up for itself (Qt ignores SIGPIPE, for example).
        sigemptyset(&plan.defaults);
        sigaddset(&plan.defaults, SIGPIPE);
        if (error == 0) {
            const auto starting = ChildProcesses::starting();
            error = ChildStart::spawn(child.pid, plan);
            if (error == 0)
                ChildProcesses::claim(child.pid);
        }
        pipes.closeWriteEnds();
        if (error != 0) {
            // The pipes close as this returns, taken out of the epoll first.
            children.pop_back();
            refused.code = error;
            request.done(std::move(refused));
            return;
        }
        child.out = std::exchange(pipes.out, {});
        child.err = std::exchange(pipes.err, {});
        child.done = std::move(request.done);
        child.exitFd = ChildWait::openExitNotifier(child.pid);
        if (child.exitFd >= 0 && !watch(m_epoll, child.exitFd, &child.watches[0])) {
            ::close(child.exitFd);
            child.exitFd = -1;
        }
        if (child.exitFd < 0)
            ++polled;
    };

    const auto stopAll = [&] {
        for (Child& child : children) {
            if (child.ended)
                continue;
            // Its exit is left to the reaper of children.
            ChildProcesses::release(child.pid);
            End end;
            end.kind = End::Kind::stopped;
            std::exchange(child.done, {})(std::move(end));
        }
        children.clear();
    };

    epoll_event events[256];
    for (;;) {
        const int ready = ::epoll_wait(m_epoll, events, int(std::size(events)), polled > 0 ? pollMilliseconds : -1);
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
                if (const ChildWait::Seen seen = ChildWait::look(child.pid); seen == ChildWait::Seen::running)
                    reapAndReport(child, ChildWait::Seen::held);
                else
                    reapAndReport(child, seen);
                break;
            case Watch::Kind::out:
                child.out.drain(readsPerWake);
                break;
            case Watch::Kind::err:
                child.err.drain(readsPerWake);
                break;
            }
            someFinished = someFinished || child.finished();
        }
        if (polled > 0) {
            for (Child& child : children) {
                if (child.ended || child.exitFd >= 0)
                    continue;
                if (const ChildWait::Seen seen = ChildWait::look(child.pid); seen != ChildWait::Seen::running) {
                    --polled;
                    reapAndReport(child, seen);
                    someFinished = someFinished || child.finished();
                }
            }
        }
        if (someFinished)
            children.remove_if([](const Child& child) { return child.finished(); });
        if (!woken)
            continue;

        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t read = ::read(m_wake, &count, sizeof count);
        std::vector<Request> requests;
        bool stopped = false;
        {
            const std::lock_guard lock(m_mutex);
            requests.swap(m_requests);
            stopped = m_stopped;
        }
        if (stopped)
            break;
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
        End end;
        end.kind = End::Kind::stopped;
        request.done(std::move(end));
    }
}

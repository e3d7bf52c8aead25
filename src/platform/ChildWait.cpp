#include "platform/ChildWait.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

WaitStop::WaitStop() : m_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

WaitStop::~WaitStop()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void WaitStop::stop()
{
    if (m_stopped.exchange(true) || m_fd < 0)
        return;
    const std::uint64_t one = 1;
    // Cannot block (the counter is far from full), and a failure leaves the flag to be seen.
    [[maybe_unused]] const ssize_t written = ::write(m_fd, &one, sizeof one);
}

void ChildOutput::drain(int rounds)
{
    char buffer[16384];
    while (fd >= 0 && rounds-- > 0) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            const qsizetype room = maxKeptBytes - kept.size();
            if (keep && room > 0)
                kept.append(buffer, std::min<qsizetype>(room, n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        close();
    }
}

void ChildOutput::close()
{
    if (fd >= 0 && watchedBy >= 0)
        ::epoll_ctl(watchedBy, EPOLL_CTL_DEL, fd, nullptr);
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

ChildPipes::~ChildPipes()
{
    out.close();
    err.close();
    closeWriteEnds();
}

bool ChildPipes::open()
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

void ChildPipes::closeWriteEnds()
{
    for (int* fd : {&outWrite, &errWrite}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

int ChildWait::openExitNotifier(pid_t pid)
{
#ifdef SYS_pidfd_open
    return int(::syscall(SYS_pidfd_open, pid, 0));
#else
    Q_UNUSED(pid);
    return -1;
#endif
}

ChildWait::Seen ChildWait::look(pid_t pid)
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

ChildWait::Seen ChildWait::waitForEnd(pid_t pid, int exitFd, ChildOutput& out, ChildOutput& err,
                                      Clock::time_point until, const WaitStop* stop)
{
    for (;;) {
        if (const Seen seen = look(pid); seen != Seen::running)
            return seen;
        const auto now = Clock::now();
        if (now >= until || (stop && stop->isStopped()))
            return Seen::running;
        pollfd fds[4];
        nfds_t count = 0;
        for (const ChildOutput* output : {&out, &err}) {
            if (output->fd >= 0)
                fds[count++] = pollfd{output->fd, POLLIN, 0};
        }
        const nfds_t exitIndex = count;
        if (exitFd >= 0)
            fds[count++] = pollfd{exitFd, POLLIN, 0};
        if (stop && stop->descriptor() >= 0)
            fds[count++] = pollfd{stop->descriptor(), POLLIN, 0};
        // Without a descriptor to wake on, an end or a stop is noticed by looking again every 10 ms.
        auto left = std::chrono::ceil<std::chrono::milliseconds>(until - now);
        if (exitFd < 0 || (stop && stop->descriptor() < 0))
            left = std::min(left, std::chrono::milliseconds(10));
        ::poll(fds, count, int(std::min<std::chrono::milliseconds::rep>(left.count(), 1000)));
        out.drain();
        err.drain();
        // The kernel says the child ended, yet it cannot be waited for: its tracer has not let
        // go of it. Its descriptor would wake this loop at once, again and again, until then.
        if (exitFd >= 0 && (fds[exitIndex].revents & POLLIN) != 0 && look(pid) == Seen::running)
            return Seen::held;
    }
}

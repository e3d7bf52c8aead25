#include "platform/CappedOutput.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/epoll.h>
#include <unistd.h>

bool CappedOutput::drain(int discard, int rounds)
{
    bool took = false;
    while (fd >= 0 && rounds-- > 0) {
        ssize_t n;
        if (pastKept()) {
            // A whole pipe's worth per call, its pages handed to /dev/null as they are.
            n = ::splice(fd, nullptr, discard, nullptr, 1 << 20, SPLICE_F_NONBLOCK | SPLICE_F_MOVE);
        } else {
            char buffer[16384];
            const qsizetype room = maxKeptBytes - kept.size();
            n = ::read(fd, buffer, std::min<qsizetype>(room, qsizetype(sizeof buffer)));
            if (n > 0)
                kept.append(buffer, n);
        }
        if (n > 0) {
            took = true;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return took;
        close();
    }
    return took;
}

void CappedOutput::close()
{
    if (fd >= 0 && watchedBy >= 0)
        ::epoll_ctl(watchedBy, EPOLL_CTL_DEL, fd, nullptr);
    if (fd >= 0)
        ::close(fd);
    fd = -1;
    resting = false;
}

#include "screens/runtime/ShellStop.h"

#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

ShellStop::ShellStop() : m_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

ShellStop::~ShellStop()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void ShellStop::stop()
{
    if (m_stopped.exchange(true) || m_fd < 0)
        return;
    const std::uint64_t one = 1;
    // Cannot block (the counter is far from full), and a failure leaves the flag to be seen.
    [[maybe_unused]] const ssize_t written = ::write(m_fd, &one, sizeof one);
}

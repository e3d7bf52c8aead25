#include "platform/PictureDecoderProcess.h"

#include "platform/ChildWaiter.h"

#include <sys/socket.h>
#include <unistd.h>

namespace PictureDecoderProcess {

std::optional<Started> start(const QByteArray& path)
{
    int ends[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0)
        return std::nullopt;
    ChildWaiter::Program program;
    program.argv = {path};
    program.input = ends[1];
    program.readOutput = false;
    program.defaultSignals = true;
    // The waiter keeps its own copy of the child's end until the child has it: once the child
    // ended, Tarv's end reads as closed.
    const ChildWaiter::Ticket ticket = ChildWaiter::shared().start(std::move(program), [](const ChildWaiter::End&) {});
    ::close(ends[1]);
    if (ticket == 0) {
        ::close(ends[0]);
        return std::nullopt;
    }
    return Started{ticket, ends[0]};
}

void kill(Ticket ticket)
{
    ChildWaiter::shared().kill(ticket);
}

}  // namespace PictureDecoderProcess

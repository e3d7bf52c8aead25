#include "control/NotifyClient.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>

namespace NotifyClient {

namespace {

Failure failed(const QString& message)
{
    return Failure{Failure::Kind::failed, message};
}

// Closes the descriptor on every way out.
struct Connection {
    int fd = -1;
    ~Connection()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

}  // namespace

std::variant<NotifyChannel::Reply, Failure> sendRequest(const NotifyChannel::Request& request,
                                                        const QString& socketPath, double timeoutSeconds)
{
    Connection connection{::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)};
    if (connection.fd < 0)
        return failed(qt_error_string(errno));
    NotifyChannel::configureSocket(connection.fd, timeoutSeconds);

    const std::optional<sockaddr_un> address = NotifyChannel::socketAddress(socketPath);
    if (!address)
        return failed(QStringLiteral("the socket path is too long: ") + socketPath);
    int status;
    do
        status = ::connect(connection.fd, reinterpret_cast<const sockaddr*>(&*address), sizeof *address);
    while (status != 0 && errno == EINTR);
    if (status != 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTSOCK || error == ECONNREFUSED)
            return Failure{Failure::Kind::notRunning, {}};
        // A listener whose backlog is full makes connect wait for the send time-out: it is
        // there, but not answering.
        if (error == EAGAIN || error == EINPROGRESS)
            return Failure{Failure::Kind::timedOut, {}};
        return failed(qt_error_string(error));
    }

    // A server too busy to read the request answers at once and hangs up, maybe before the
    // request went out: an answer waiting after a failed send is still the answer.
    const bool sent = NotifyChannel::writeAll(NotifyChannel::encodeLine(request), connection.fd);
    if (!sent) {
        pollfd answered{connection.fd, POLLIN, 0};
        if (::poll(&answered, 1, 0) <= 0)
            return failed(QStringLiteral("could not send the request"));
    }
    errno = 0;
    // The whole answer must come within the time-out, however it trickles in.
    const std::optional<QByteArray> line = NotifyChannel::readLine(connection.fd, NotifyChannel::maxReplyBytes,
                                                                   NotifyChannel::deadlineIn(timeoutSeconds));
    if (!line && !sent)
        return failed(QStringLiteral("could not send the request"));
    if (!line) {
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return Failure{Failure::Kind::timedOut, {}};
        return failed(QStringLiteral("the app closed the connection without answering"));
    }
    if (std::optional<NotifyChannel::Reply> reply = NotifyChannel::decodeReply(*line))
        return *reply;
    return failed(QStringLiteral("the app's answer made no sense: ") + QString::fromUtf8(*line));
}

}  // namespace NotifyClient

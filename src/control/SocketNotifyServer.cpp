#include "control/SocketNotifyServer.h"

#include "control/NotifyClient.h"
#include "platform/MakeFolder.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <mutex>

struct SocketNotifyServer::Shared {
    Handler handler;
    Limits limits;
    std::atomic<int> serving{0};
};

namespace {

// Where a connection's thread waits for the handler's answer.
class PendingReply {
public:
    void set(const NotifyChannel::Reply& reply)
    {
        {
            const std::lock_guard lock(m_mutex);
            if (m_reply)
                return;
            m_reply = reply;
        }
        m_ready.notify_all();
    }
    NotifyChannel::Reply wait()
    {
        std::unique_lock lock(m_mutex);
        m_ready.wait(lock, [this] { return m_reply.has_value(); });
        return *m_reply;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::optional<NotifyChannel::Reply> m_reply;
};

// Lives as long as the last copy of a reply callback; if none of them answered, the owner
// is gone and the client hears so instead of waiting for ever.
struct AnswerWhenDropped {
    explicit AnswerWhenDropped(std::shared_ptr<PendingReply> pending) : pending(std::move(pending)) {}
    AnswerWhenDropped(const AnswerWhenDropped&) = delete;
    AnswerWhenDropped& operator=(const AnswerWhenDropped&) = delete;
    std::shared_ptr<PendingReply> pending;
    ~AnswerWhenDropped() { pending->set(NotifyChannel::reply(false, QStringLiteral("Tarv is shutting down"))); }
};

void serveConnection(std::shared_ptr<SocketNotifyServer::Shared> shared, int fd);

// A connection over the cap is answered at once, without reading its request, and closed: a
// fresh socket's buffer takes the short reply without waiting.
void answerBusy(int fd)
{
    const QByteArray line =
        NotifyChannel::encodeLine(NotifyChannel::reply(false, QStringLiteral("Tarv is busy with other requests; try again")));
    while (::send(fd, line.constData(), size_t(line.size()), MSG_NOSIGNAL | MSG_DONTWAIT) < 0 && errno == EINTR) {
    }
    ::close(fd);
}

void acceptConnections(std::shared_ptr<SocketNotifyServer::Shared> shared, int listener, int wake)
{
    for (;;) {
        pollfd watched[2] = {{listener, POLLIN, 0}, {wake, POLLIN, 0}};
        if (::poll(watched, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (watched[1].revents != 0)
            return;
        if ((watched[0].revents & POLLIN) == 0) {
            if ((watched[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0)
                return;
            continue;
        }
        const int connection = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) {
            // Out of descriptors or memory: give the system a moment instead of spinning.
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
                ::poll(nullptr, 0, 50);
            continue;
        }
        if (!NotifyChannel::isSameUser(connection)) {
            ::close(connection);
            continue;
        }
        if (shared->serving.load() >= shared->limits.connections) {
            answerBusy(connection);
            continue;
        }
        NotifyChannel::configureSocket(connection, shared->limits.connection);
        ++shared->serving;
        try {
            std::thread(serveConnection, shared, connection).detach();
        } catch (const std::system_error&) {
            --shared->serving;
            answerBusy(connection);
        }
    }
}

void serveConnection(std::shared_ptr<SocketNotifyServer::Shared> shared, int fd)
{
    std::optional<NotifyChannel::Request> request;
    int readError = 0;
    errno = 0;
    const NotifyChannel::Deadline deadline = NotifyChannel::deadlineIn(shared->limits.connection);
    if (const std::optional<QByteArray> line = NotifyChannel::readLine(fd, NotifyChannel::maxRequestBytes, deadline))
        request = NotifyChannel::decodeRequest(*line);
    else
        readError = errno;
    NotifyChannel::Reply reply;
    if (readError == EMSGSIZE) {
        reply = NotifyChannel::reply(false, NotifyChannel::requestTooLongMessage());
    } else if (readError == EAGAIN || readError == EWOULDBLOCK) {
        reply = NotifyChannel::reply(false, NotifyChannel::requestTooSlowMessage(shared->limits.connection));
    } else if (!request) {
        reply = NotifyChannel::reply(false, QStringLiteral("not a request this version of Tarv understands"));
    } else {
        auto pending = std::make_shared<PendingReply>();
        {
            auto guard = std::make_shared<AnswerWhenDropped>(pending);
            shared->handler(*request, [guard](const NotifyChannel::Reply& answer) { guard->pending->set(answer); });
        }
        reply = pending->wait();
    }
    NotifyChannel::writeAll(NotifyChannel::encodeLine(reply), fd, NotifyChannel::deadlineIn(shared->limits.connection));
    ::close(fd);
    --shared->serving;
}

}  // namespace

SocketNotifyServer::SocketNotifyServer(QString socketPath, Handler handler)
    : SocketNotifyServer(std::move(socketPath), std::move(handler), Limits{})
{
}

SocketNotifyServer::SocketNotifyServer(QString socketPath, Handler handler, Limits limits)
    : m_socketPath(std::move(socketPath)), m_limits(limits), m_shared(std::make_shared<Shared>())
{
    m_shared->handler = std::move(handler);
    m_shared->limits = limits;
}

SocketNotifyServer::~SocketNotifyServer()
{
    stop();
}

std::optional<NotifyServer::StartError> SocketNotifyServer::start()
{
    if (m_acceptThread.joinable())
        return std::nullopt;
    const QByteArray path = QFile::encodeName(m_socketPath);

    struct stat existing {};
    if (::lstat(path.constData(), &existing) == 0) {
        // Only a listener that answers the ping, or accepts it and is slow to answer, is a
        // copy that is alive. Whatever else is at the path is left over, or another program's:
        // a link planted there, a file nobody listens on, one this user may not reach, a peer
        // that hangs up or answers nonsense.
        if (S_ISSOCK(existing.st_mode)) {
            const auto outcome = NotifyClient::sendRequest(
                NotifyChannel::request(QStringLiteral("ping"), QString(), 1.0), m_socketPath, m_limits.probe);
            const auto* failure = std::get_if<NotifyClient::Failure>(&outcome);
            if (!failure || failure->kind == NotifyClient::Failure::Kind::timedOut)
                return StartError{StartError::Kind::alreadyServed, {}};
        }
        ::unlink(path.constData());
    }

    const QString folder = QFileInfo(m_socketPath).absolutePath();
    if (const std::optional<QString> reason = makeFolder(folder))
        return StartError{StartError::Kind::failed, QStringLiteral("cannot make the folder ") + folder + QStringLiteral(": ") + *reason};
    QString why;
    const int fd = NotifyChannel::listenPrivately(m_socketPath, 8, why);
    if (fd < 0)
        return StartError{StartError::Kind::failed, why};
    if (::pipe2(m_wake, O_CLOEXEC) != 0) {
        const int error = errno;
        ::close(fd);
        ::unlink(path.constData());
        return StartError{StartError::Kind::failed, qt_error_string(error)};
    }
    m_listener = fd;
    m_acceptThread = std::thread(acceptConnections, m_shared, fd, m_wake[0]);
    return std::nullopt;
}

void SocketNotifyServer::stop()
{
    if (!m_acceptThread.joinable())
        return;
    const char wake = 1;
    while (::write(m_wake[1], &wake, 1) < 0 && errno == EINTR) {
    }
    m_acceptThread.join();
    ::close(m_listener);
    ::close(m_wake[0]);
    ::close(m_wake[1]);
    m_listener = m_wake[0] = m_wake[1] = -1;
    ::unlink(QFile::encodeName(m_socketPath).constData());
}

NotifyServer::Factory SocketNotifyServer::factory()
{
    return [](const QString& socketPath, Handler handler) {
        return std::make_unique<SocketNotifyServer>(socketPath, std::move(handler));
    };
}

#include "app/InstanceHandOver.h"

#include "control/NotifyChannel.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace {

const QByteArray forwardAnswer = QByteArrayLiteral("forward\n");
const QByteArray askedAnswer = QByteArrayLiteral("asked\n");

}  // namespace

QString InstanceHandOver::socketPathForLock(const QString& lockPath)
{
    if (lockPath.isEmpty())
        return {};
    return QFileInfo(lockPath).absolutePath() + QStringLiteral("/tarv.show");
}

InstanceHandOver::InstanceHandOver(QString socketPath, QObject* parent)
    : InstanceHandOver(std::move(socketPath), Limits{}, parent)
{
}

InstanceHandOver::InstanceHandOver(QString socketPath, Limits limits, QObject* parent)
    : QObject(parent), m_socketPath(std::move(socketPath)), m_limits(limits)
{
}

InstanceHandOver::~InstanceHandOver()
{
    if (m_listener < 0)
        return;
    delete m_notifier;
    ::close(m_listener);
    ::unlink(QFile::encodeName(m_socketPath).constData());
}

bool InstanceHandOver::listen()
{
    if (m_socketPath.isEmpty()) {
        m_error = QStringLiteral("no private runtime folder");
        return false;
    }
    ::unlink(QFile::encodeName(m_socketPath).constData());
    const int fd = NotifyChannel::listenPrivately(m_socketPath, 32, m_error);
    if (fd < 0)
        return false;
    m_listener = fd;
    m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &InstanceHandOver::acceptConnections);
    return true;
}

QString InstanceHandOver::errorString() const
{
    return m_error;
}

void InstanceHandOver::acceptConnections()
{
    for (;;) {
        const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            // Out of descriptors: the socket stays readable, so look again in a moment instead
            // of spinning, and go on listening; the connections held now end at their deadline.
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
                pauseAccepting();
            return;
        }
        if (!NotifyChannel::isSameUser(fd)) {
            ::close(fd);
            continue;
        }
        // At the cap the connection waiting longest goes: a client that means it sends its
        // line as it connects, so idle ones cannot keep a second start out.
        m_open.removeIf([](const QPointer<QLocalSocket>& socket) { return socket.isNull(); });
        while (!m_open.isEmpty() && m_open.size() >= m_limits.connections) {
            const QPointer<QLocalSocket> oldest = m_open.takeFirst();
            oldest->abort();
            oldest->deleteLater();
        }
        serve(fd);
    }
}

// Both run while the process has no descriptor to spare, and the undefined-behaviour
// sanitizer's check of an object's dynamic type needs one (it probes memory through a pipe):
// it would report every member call here as a call on no object.
__attribute__((no_sanitize("vptr"))) void InstanceHandOver::pauseAccepting()
{
    m_notifier->setEnabled(false);
    QTimer::singleShot(std::chrono::milliseconds(50), this, &InstanceHandOver::resumeAccepting);
}

__attribute__((no_sanitize("vptr"))) void InstanceHandOver::resumeAccepting()
{
    m_notifier->setEnabled(true);
}

void InstanceHandOver::serve(int fd)
{
    auto* socket = new QLocalSocket(this);
    if (!socket->setSocketDescriptor(fd, QLocalSocket::ConnectedState, QIODevice::ReadWrite)) {
        ::close(fd);
        delete socket;
        return;
    }
    m_open.append(socket);
    // A request is one short line; anything else is closed unanswered.
    socket->setReadBufferSize(maxRequestBytes);
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    // The whole request within the deadline, however slowly its bytes come, and the answer
    // within as long again.
    auto* deadline = new QTimer(socket);
    deadline->setSingleShot(true);
    connect(deadline, &QTimer::timeout, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
    const auto limit = std::chrono::milliseconds(qint64(m_limits.connection * 1000));
    deadline->start(limit);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket, deadline, limit] {
        if (!socket->canReadLine()) {
            if (socket->bytesAvailable() >= maxRequestBytes) {
                socket->abort();
                socket->deleteLater();
            }
            return;
        }
        const std::optional<ActivationTokens> tokens = ActivationTokens::fromRequest(socket->readLine(maxRequestBytes));
        if (!tokens) {
            socket->abort();
            socket->deleteLater();
            return;
        }
        // One request a connection: what else comes is not read.
        disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
        deadline->start(limit);
        const quint64 request = ++m_requests;
        m_waiting.insert(request, socket);
        connect(socket, &QObject::destroyed, this, [this, request] { m_waiting.remove(request); });
        emit showRequested(*tokens, request);
    });
}

void InstanceHandOver::answer(quint64 request, Answer answer)
{
    const QPointer<QLocalSocket> socket = m_waiting.take(request);
    if (!socket)
        return;
    socket->write(answer == Answer::broughtForward ? forwardAnswer : askedAnswer);
    // Closes once the answer is out; `disconnected` then lets the socket go.
    socket->disconnectFromServer();
}

std::optional<InstanceHandOver::Answer> InstanceHandOver::askRunningCopyToShow(const QString& socketPath,
                                                                               const ActivationTokens& tokens,
                                                                               int timeoutMs, QString* failure)
{
    const auto failed = [failure](const QString& what) -> std::optional<Answer> {
        if (failure)
            *failure = what;
        return std::nullopt;
    };
    if (socketPath.isEmpty())
        return failed(QStringLiteral("no private runtime folder"));
    const QDeadlineTimer deadline(timeoutMs);
    const auto remaining = [&deadline] { return int(std::max<qint64>(1, deadline.remainingTime())); };
    // The running copy may hold the lock a moment before it listens; try again until then.
    while (true) {
        QLocalSocket socket;
        socket.connectToServer(socketPath);
        if (socket.waitForConnected(remaining())) {
            socket.write(tokens.request());
            if (!socket.waitForBytesWritten(remaining()))
                return failed(QStringLiteral("the request could not be sent (%1)").arg(socket.errorString()));
            // The running copy answers and closes the connection once its window came forward or
            // the desktop was asked; until then the window may never come.
            QByteArray answer;
            for (;;) {
                answer += socket.read(64 - answer.size());
                if (answer.contains('\n') || answer.size() >= 64 || socket.state() == QLocalSocket::UnconnectedState)
                    break;
                if (deadline.hasExpired())
                    return failed(
                        QStringLiteral("the running copy did not answer within %1 seconds").arg(timeoutMs / 1000.0));
                socket.waitForReadyRead(remaining());
            }
            // A copy that closes without a word (one of an older Tarv) has asked the desktop too.
            return answer.startsWith(forwardAnswer) ? Answer::broughtForward : Answer::askedDesktop;
        }
        if (deadline.hasExpired())
            return failed(QStringLiteral("nothing answers at %1").arg(socketPath));
        QThread::msleep(50);
    }
}

#include "app/InstanceHandOver.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <algorithm>

namespace {

const QByteArray showRequest = QByteArrayLiteral("show\n");

}  // namespace

QString InstanceHandOver::socketPathForLock(const QString& lockPath)
{
    if (lockPath.isEmpty())
        return {};
    return QFileInfo(lockPath).absolutePath() + QStringLiteral("/tarv.show");
}

InstanceHandOver::InstanceHandOver(QString socketPath, QObject* parent)
    : QObject(parent), m_socketPath(std::move(socketPath)), m_server(new QLocalServer(this))
{
    // The lock's folder is private to the user; the socket needs no wider access.
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &InstanceHandOver::acceptConnections);
}

InstanceHandOver::~InstanceHandOver()
{
    m_server->close();
}

bool InstanceHandOver::listen()
{
    if (m_socketPath.isEmpty())
        return false;
    QLocalServer::removeServer(m_socketPath);
    return m_server->listen(m_socketPath);
}

QString InstanceHandOver::errorString() const
{
    return m_server->errorString();
}

void InstanceHandOver::acceptConnections()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // A request is one short line; anything else is closed unanswered.
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->bytesAvailable() < showRequest.size() && !socket->canReadLine())
                return;
            const QByteArray line = socket->readLine(64);
            socket->disconnectFromServer();
            if (line == showRequest)
                emit showRequested();
        });
    }
}

bool InstanceHandOver::askRunningCopyToShow(const QString& socketPath, int timeoutMs)
{
    if (socketPath.isEmpty())
        return false;
    // The running copy may hold the lock a moment before it listens; try again until then.
    const QDeadlineTimer deadline(timeoutMs);
    while (true) {
        QLocalSocket socket;
        socket.connectToServer(socketPath);
        if (socket.waitForConnected(int(std::max<qint64>(1, deadline.remainingTime())))) {
            socket.write(showRequest);
            const bool written = socket.waitForBytesWritten(int(std::max<qint64>(1, deadline.remainingTime())));
            socket.disconnectFromServer();
            return written;
        }
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
}

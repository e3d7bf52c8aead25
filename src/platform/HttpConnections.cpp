#include "platform/HttpConnections.h"

#include <QCoreApplication>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

namespace {

thread_local HttpConnections* pool = nullptr;

} // namespace

HttpConnections& HttpConnections::ofThisThread()
{
    if (!pool) {
        pool = new HttpConnections;
        QThread* thread = QThread::currentThread();
        if (QCoreApplication* application = QCoreApplication::instance(); application && application->thread() == thread)
            pool->setParent(application);
        else
            connect(thread, &QThread::finished, pool, [] { delete pool; }, Qt::DirectConnection);
    }
    return *pool;
}

HttpConnections::~HttpConnections()
{
    if (pool == this)
        pool = nullptr;
}

void HttpConnections::acquire(const QString& key, const void* who, Granted granted)
{
    Route& route = m_routes[key];
    if (QTcpSocket* socket = takeIdle(route)) {
        granted(socket);
    } else if (route.places < perRoute) {
        ++route.places;
        granted(nullptr);
    } else {
        route.waiting.push_back({who, std::move(granted)});
    }
}

void HttpConnections::leave(const QString& key, const void* who)
{
    const auto found = m_routes.find(key);
    if (found == m_routes.end())
        return;
    std::erase_if(found->waiting, [who](const Waiting& waiting) { return waiting.who == who; });
}

void HttpConnections::release(const QString& key, QTcpSocket* reusable)
{
    const auto found = m_routes.find(key);
    if (found == m_routes.end() || found->places <= 0) {
        if (reusable) {
            reusable->abort();
            reusable->deleteLater();
        }
        return;
    }
    Route& route = *found;
    if (!route.waiting.empty()) {
        // The place goes to the next in turn, with the connection if it may carry a request.
        const Waiting next = std::move(route.waiting.front());
        route.waiting.pop_front();
        next.granted(reusable);
        return;
    }
    if (reusable) {
        keepIdle(key, reusable);
        return;
    }
    if (--route.places == 0 && route.idle.empty())
        m_routes.erase(found);
}

void HttpConnections::adopt(QTcpSocket* socket)
{
    socket->setParent(this);
}

int HttpConnections::idleCount() const
{
    int count = 0;
    for (const Route& route : m_routes)
        count += int(route.idle.size());
    return count;
}

void HttpConnections::keepIdle(const QString& key, QTcpSocket* socket)
{
    if (idleCount() >= maxIdle)
        dropOldestIdle();
    // Whatever the server does with an idle connection ends it: it closed it, or it sent what no
    // request asked for.
    const auto end = [this, key, socket] { drop(key, socket); };
    connect(socket, &QTcpSocket::readyRead, this, end);
    connect(socket, &QTcpSocket::disconnected, this, end);
    connect(socket, &QTcpSocket::errorOccurred, this, end);
    auto* timer = new QTimer(socket);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, this, end);
    timer->start(idleLimit);
    m_routes[key].idle.push_back({socket, timer, std::chrono::steady_clock::now()});
}

QTcpSocket* HttpConnections::takeIdle(Route& route)
{
    // The connection used last is the one the server is least likely to have closed meanwhile.
    while (!route.idle.empty()) {
        const Idle idle = route.idle.back();
        route.idle.pop_back();
        QTcpSocket* socket = idle.socket;
        if (!socket) {
            --route.places;
            continue;
        }
        socket->disconnect(this);
        delete idle.timer;
        if (socket->state() == QAbstractSocket::ConnectedState && socket->bytesAvailable() == 0)
            return socket;
        socket->abort();
        socket->deleteLater();
        --route.places;
    }
    return nullptr;
}

void HttpConnections::drop(const QString& key, QTcpSocket* socket)
{
    const auto found = m_routes.find(key);
    if (found == m_routes.end())
        return;
    Route& route = *found;
    const auto idle = std::find_if(route.idle.begin(), route.idle.end(),
                                   [socket](const Idle& entry) { return entry.socket == socket; });
    if (idle == route.idle.end())
        return;
    route.idle.erase(idle);
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
    if (!route.waiting.empty()) {
        const Waiting next = std::move(route.waiting.front());
        route.waiting.pop_front();
        next.granted(nullptr);
        return;
    }
    if (--route.places == 0 && route.idle.empty())
        m_routes.erase(found);
}

void HttpConnections::dropOldestIdle()
{
    QString oldestKey;
    QTcpSocket* oldest = nullptr;
    std::chrono::steady_clock::time_point since = std::chrono::steady_clock::time_point::max();
    for (auto it = m_routes.cbegin(); it != m_routes.cend(); ++it) {
        for (const Idle& entry : it->idle) {
            if (entry.socket && entry.since < since) {
                since = entry.since;
                oldest = entry.socket;
                oldestKey = it.key();
            }
        }
    }
    if (oldest)
        drop(oldestKey, oldest);
}

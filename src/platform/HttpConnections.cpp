#include "platform/HttpConnections.h"

#include <QCoreApplication>
#include <QSslSocket>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <sys/socket.h>

#include <cerrno>
#include <utility>

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

HttpConnections::Between HttpConnections::between(QTcpSocket* socket)
{
    if (!socket || socket->state() != QAbstractSocket::ConnectedState)
        return Between::closed;
    if (socket->bytesAvailable() > 0)
        return Between::stray;
    if (const auto* tls = qobject_cast<QSslSocket*>(socket); tls && tls->encryptedBytesAvailable() > 0)
        return Between::stray;
    const qintptr descriptor = socket->socketDescriptor();
    if (descriptor < 0)
        return Between::closed;
    char byte = 0;
    const ssize_t peeked = ::recv(int(descriptor), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (peeked > 0)
        return Between::stray;
    // Nothing to read is the one answer of a connection open and quiet; the end of the stream
    // is a close.
    return peeked < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) ? Between::quiet : Between::closed;
}

void HttpConnections::acquire(const QString& key, const void* who, const QByteArray& share, Granted granted)
{
    m_routes[key].waiting.push_back({who, share, std::move(granted)});
    serve(key);
}

void HttpConnections::leave(const QString& key, const void* who)
{
    const auto found = m_routes.find(key);
    if (found == m_routes.end())
        return;
    std::erase_if(found->waiting, [who](const Waiting& waiting) { return waiting.who == who; });
    forgetIfUnused(key);
}

void HttpConnections::release(const QString& key, const QByteArray& share, QTcpSocket* reusable)
{
    const auto found = m_routes.find(key);
    if (found == m_routes.end() || found->places <= 0) {
        if (reusable) {
            reusable->abort();
            reusable->deleteLater();
        }
        return;
    }
    if (int& busy = found->busy[share]; --busy <= 0)
        found->busy.remove(share);
    if (reusable && m_strayRoutes.contains(key)) {
        reusable->abort();
        reusable->deleteLater();
        reusable = nullptr;
    }
    // A connection given back keeps its place, for the next in turn or idle.
    if (!reusable)
        --found->places;
    serve(key, reusable);
}

void HttpConnections::noteStray(const QString& key)
{
    // A bound on what a run remembers; a route forgotten learns it again at its next stray answer.
    if (m_strayRoutes.size() >= maxStrayRoutes)
        m_strayRoutes.clear();
    m_strayRoutes.insert(key);
}

void HttpConnections::strayAnswer(const QString& key)
{
    noteStray(key);
    const auto found = m_routes.find(key);
    if (found == m_routes.end())
        return;
    for (const Idle& idle : std::deque<Idle>(found->idle)) {
        if (idle.socket)
            drop(key, idle.socket);
    }
}

void HttpConnections::answered(const QString& key)
{
    const auto found = m_routes.find(key);
    if (found == m_routes.end() || found->answered)
        return;
    found->answered = true;
    serve(key);
}

void HttpConnections::serve(const QString& key, QTcpSocket* reusable)
{
    Route& route = m_routes[key];
    while (!route.waiting.empty()) {
        // The first request of the kind of caller served longest ago, among those that may take
        // a place now: beside the route's own limit, a kind that holds none of its connections
        // gets one, however many another kind holds.
        const bool connectionAtHand = reusable || !route.idle.empty() || route.places < route.placeLimit();
        auto next = route.waiting.end();
        for (auto it = route.waiting.begin(); it != route.waiting.end(); ++it) {
            const int busy = route.busy.value(it->share);
            if (busy > 0 && !connectionAtHand)
                continue;
            if (next == route.waiting.end() || route.servedAt.value(it->share) < route.servedAt.value(next->share))
                next = it;
        }
        if (next == route.waiting.end())
            break;
        QTcpSocket* socket = std::exchange(reusable, nullptr);
        if (!socket)
            socket = takeIdle(key, route);
        if (!socket)
            ++route.places;
        Waiting served = std::move(*next);
        route.waiting.erase(next);
        ++route.busy[served.share];
        route.servedAt[served.share] = ++route.turns;
        served.granted(socket);
    }
    if (reusable)
        keepIdle(key, reusable);
    forgetIfUnused(key);
}

void HttpConnections::forgetIfUnused(const QString& key)
{
    const auto found = m_routes.find(key);
    if (found != m_routes.end() && found->places == 0 && found->idle.empty() && found->waiting.empty())
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
    connect(socket, &QTcpSocket::readyRead, this, [this, key] { strayAnswer(key); });
    connect(socket, &QTcpSocket::disconnected, this, end);
    connect(socket, &QTcpSocket::errorOccurred, this, end);
    auto* timer = new QTimer(socket);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, this, end);
    timer->start(idleLimit);
    m_routes[key].idle.push_back({socket, timer, std::chrono::steady_clock::now()});
}

QTcpSocket* HttpConnections::takeIdle(const QString& key, Route& route)
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
        const Between state = between(socket);
        if (state == Between::quiet)
            return socket;
        if (state == Between::stray)
            noteStray(key);
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
    --route.places;
    serve(key);
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

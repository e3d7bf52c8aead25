#include "platform/HttpGet.h"

#include "platform/HttpConnections.h"
#include "platform/HttpProxies.h"

#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <climits>

namespace {

// Reads of one turn of the event loop; what is left waits for the next turn.
constexpr int readsPerSignal = 4;

QString schemeOf(const QUrl& url)
{
    return url.scheme().toLower();
}

int defaultPort(const QString& scheme)
{
    return scheme == u"https" ? 443 : 80;
}

// Scheme, host and port: what the origin's headers and the address's credentials were given for.
bool sameOrigin(const QUrl& a, const QUrl& b)
{
    const QString scheme = schemeOf(a);
    return scheme == schemeOf(b) && a.host().compare(b.host(), Qt::CaseInsensitive) == 0 &&
           a.port(defaultPort(scheme)) == b.port(defaultPort(scheme));
}

bool isHttpAddress(const QUrl& url)
{
    const QString scheme = schemeOf(url);
    return url.isValid() && (scheme == u"http" || scheme == u"https") && !url.host().isEmpty();
}

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool breaksLines(const QByteArray& text)
{
    return text.contains('\r') || text.contains('\n') || text.contains('\0');
}

// A header given with the request that would write further lines of the head: checked before
// anything goes out. The rest of the head is written from the address, which QUrl encodes.
std::optional<QByteArray> headerWithLineBreak(const HttpGet::Request& request)
{
    for (const QList<HttpGet::Header>* headers : {&request.headers, &request.originHeaders}) {
        for (const auto& [name, value] : *headers) {
            if (breaksLines(name) || breaksLines(value))
                return name;
        }
    }
    return std::nullopt;
}

// Whole seconds from one up, else one decimal, as the limits are written.
QString secondsText(std::chrono::steady_clock::duration waited)
{
    const double seconds = std::chrono::duration<double>(waited).count();
    return seconds >= 1 ? QString::number(qint64(seconds)) : QString::number(seconds, 'f', 1);
}

int timerMilliseconds(std::chrono::milliseconds limit)
{
    return int(std::clamp<std::chrono::milliseconds::rep>(limit.count(), 1, INT_MAX));
}

HttpGet::Failure::Kind kindOf(HttpResponseParser::Failure::Kind kind)
{
    switch (kind) {
    case HttpResponseParser::Failure::Kind::headTooLarge:
        return HttpGet::Failure::Kind::headTooLarge;
    case HttpResponseParser::Failure::Kind::bodyTooLarge:
        return HttpGet::Failure::Kind::bodyTooLarge;
    case HttpResponseParser::Failure::Kind::malformed:
        return HttpGet::Failure::Kind::malformed;
    case HttpResponseParser::Failure::Kind::truncated:
        break;
    }
    return HttpGet::Failure::Kind::transport;
}

} // namespace

HttpGet::HttpGet(Request request, QObject* parent)
    : QObject(parent), m_request(std::move(request)), m_deadline(new QTimer(this)), m_idle(new QTimer(this))
{
    // A coarse timer may fire 5 % early: three seconds would end 150 ms short.
    m_deadline->setTimerType(Qt::PreciseTimer);
    m_deadline->setSingleShot(true);
    m_deadline->setInterval(timerMilliseconds(m_request.deadline));
    connect(m_deadline, &QTimer::timeout, this, [this] {
        // A request never written that spent its time waiting for a place blames no server.
        if (!m_written && m_place == Place::waiting)
            m_waited += std::chrono::steady_clock::now() - m_waitingSince;
        if (!m_written && m_waited.count() > 0)
            fail(Failure::Kind::waited, QStringLiteral("waited ") + secondsText(m_waited) +
                                            QStringLiteral(" s for a free connection to ") + m_route.origin());
        else
            fail(Failure::Kind::timedOut, QStringLiteral("the server took too long to answer"));
    });
    m_idle->setTimerType(Qt::PreciseTimer);
    m_idle->setSingleShot(true);
    m_idle->setInterval(timerMilliseconds(m_request.idleLimit));
    connect(m_idle, &QTimer::timeout, this,
            [this] { fail(Failure::Kind::silent, QStringLiteral("the server stopped sending")); });
}

HttpGet::~HttpGet()
{
    m_done = true;
    if (m_connector)
        m_connector->cancel();
    leaveRoute(false);
}

void HttpGet::start()
{
    m_deadline->start();
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_done)
                return;
            if (!isHttpAddress(m_request.url))
                fail(Failure::Kind::malformed,
                     m_request.url.toString(QUrl::RemoveUserInfo) + QStringLiteral(" is not an http address"));
            else if (const std::optional<QByteArray> name = headerWithLineBreak(m_request))
                fail(Failure::Kind::malformed,
                     QStringLiteral("the header \"") + QString::fromUtf8(*name) + QStringLiteral("\" holds a line break"));
            else
                go(m_request.url);
        },
        Qt::QueuedConnection);
}

void HttpGet::abort()
{
    fail(Failure::Kind::stopped, QStringLiteral("stopped"));
}

void HttpGet::go(const QUrl& address)
{
    leaveRoute(false);
    m_address = address;
    m_response.reset();
    m_reused = m_heard = m_retried = m_written = false;
    m_waited = {};

    // Each address goes where the environment says now: a redirect may leave the proxy's reach.
    const HttpProxies::Choice proxy = HttpProxies::choose(address, HttpProxies::fromEnvironment());
    if (const QString* unusable = std::get_if<QString>(&proxy)) {
        fail(Failure::Kind::transport, *unusable);
        return;
    }
    const QString scheme = schemeOf(address);
    m_route = HttpRoute{scheme == u"https", address.host(), quint16(address.port(defaultPort(scheme))), std::nullopt};
    if (const auto* through = std::get_if<HttpProxies::Proxy>(&proxy))
        m_route.proxy = *through;
    m_routeKey = m_route.key();

    // The server's silence counts from the moment the request is written.
    m_idle->stop();
    if (!m_pool)
        m_pool = &HttpConnections::ofThisThread();
    m_place = Place::waiting;
    m_waitingSince = std::chrono::steady_clock::now();
    m_acquiring = true;
    m_pool->acquire(m_routeKey, this, m_request.lookupShare, [this](QTcpSocket* idle) { granted(idle); });
    m_acquiring = false;
}

void HttpGet::granted(QTcpSocket* idle)
{
    // A place granted at once was never waited for.
    if (!m_acquiring)
        m_waited += std::chrono::steady_clock::now() - m_waitingSince;
    // Within the pool's own call: the place is taken now, and used from the event loop.
    m_place = Place::holding;
    m_socket = idle;
    m_reused = idle != nullptr;
    QMetaObject::invokeMethod(this, &HttpGet::proceed, Qt::QueuedConnection);
}

void HttpGet::proceed()
{
    if (m_done || m_place != Place::holding)
        return;
    // A kept connection the server closed, or wrote to, meanwhile answers no request of ours.
    const HttpConnections::Between state = HttpConnections::between(m_socket);
    if (state == HttpConnections::Between::stray && m_pool)
        m_pool->strayAnswer(m_routeKey);
    if (m_socket && state == HttpConnections::Between::quiet) {
        use(m_socket, m_reused);
        return;
    }
    if (QTcpSocket* closed = std::exchange(m_socket, nullptr)) {
        closed->abort();
        closed->deleteLater();
    }
    openConnection();
}

void HttpGet::openConnection()
{
    m_connector = new HttpConnector(m_route, m_request.lookUp, m_request.lookupShare, this);
    m_connector->onConnected = [this](QTcpSocket* socket) {
        m_connector->deleteLater();
        m_connector.clear();
        if (m_pool)
            m_pool->adopt(socket);
        else
            socket->setParent(this);
        use(socket, false);
    };
    m_connector->onFailed = [this](const QString& message) { fail(Failure::Kind::transport, message); };
    m_connector->start();
}

void HttpGet::use(QTcpSocket* socket, bool reused)
{
    m_socket = socket;
    m_reused = reused;
    m_heard = false;
    m_response.emplace(m_request.maxBodyBytes);
    connect(socket, &QTcpSocket::readyRead, this, &HttpGet::readAvailable);
    connect(socket, &QTcpSocket::disconnected, this, &HttpGet::ended);
    connect(socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error == QAbstractSocket::RemoteHostClosedError)
            ended();
        else if (mayRetry())
            openConnectionAgain();
        else if (m_socket)
            fail(Failure::Kind::transport, m_socket->errorString());
    });
    sendRequest();
}

bool HttpGet::mayRetry() const
{
    // A kept connection the server closed just as the request went: the request never reached
    // it, and a GET may go again.
    return m_reused && !m_heard && !m_retried && !m_done;
}

void HttpGet::openConnectionAgain()
{
    m_retried = true;
    m_idle->stop();
    if (QTcpSocket* stale = std::exchange(m_socket, nullptr)) {
        stale->disconnect(this);
        stale->abort();
        stale->deleteLater();
    }
    m_reused = false;
    openConnection();
}

void HttpGet::sendRequest()
{
    QList<Header> headers;
    const auto set = [&headers](const QByteArray& name, const QByteArray& value) {
        headers.removeIf([&](const Header& h) { return h.first.compare(name, Qt::CaseInsensitive) == 0; });
        headers.append({name, value});
    };
    set("Host", m_route.authority(false));
    // The body is taken as it comes: nothing here decodes a compressed one.
    set("Accept-Encoding", "identity");
    if (m_route.wholeToProxy() && !m_route.proxy->authorization.isEmpty())
        set("Proxy-Authorization", m_route.proxy->authorization);
    // Only the origin's addresses keep their credentials.
    if (!m_address.userName().isEmpty()) {
        const QByteArray credentials = m_address.userName(QUrl::FullyDecoded).toUtf8() + ':' +
                                       m_address.password(QUrl::FullyDecoded).toUtf8();
        set("Authorization", "Basic " + credentials.toBase64());
    }
    for (const auto& [name, value] : m_request.headers)
        set(name, value);
    if (m_withOriginHeaders) {
        for (const auto& [name, value] : m_request.originHeaders)
            set(name, value);
    }

    QByteArray target = m_address.path(QUrl::FullyEncoded).toLatin1();
    if (target.isEmpty())
        target = "/";
    if (m_address.hasQuery())
        target += '?' + m_address.query(QUrl::FullyEncoded).toLatin1();
    // A proxy is told the whole address.
    if (m_route.wholeToProxy())
        target = "http://" + m_route.authority(false) + target;
    QByteArray head = "GET " + target + " HTTP/1.1\r\n";
    for (const auto& [name, value] : std::as_const(headers))
        head += name + ": " + value + "\r\n";
    m_socket->write(head + "\r\n");
    m_written = true;
    if (m_request.idleLimit.count() > 0)
        m_idle->start();
}

void HttpGet::readAvailable()
{
    for (int round = 0; round < readsPerSignal; ++round) {
        if (m_done || !m_socket || m_socket->bytesAvailable() <= 0)
            return;
        if (m_request.idleLimit.count() > 0)
            m_idle->start();
        take(m_socket->read(readBufferBytes));
    }
    // No signal comes for what is already there: the rest is read on the next turn.
    if (!m_done && m_socket && m_socket->bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, &HttpGet::readAvailable, Qt::QueuedConnection);
}

void HttpGet::ended()
{
    if (m_done || !m_socket || !m_response)
        return;
    // What came before the end is still to be read.
    while (!m_done && m_socket && m_socket->bytesAvailable() > 0)
        take(m_socket->read(readBufferBytes));
    if (m_done)
        return;
    if (mayRetry()) {
        openConnectionAgain();
        return;
    }
    m_response->closed();
    if (const auto& failure = m_response->failure())
        fail(kindOf(failure->kind), failure->message);
    else
        finish();
}

void HttpGet::take(QByteArray bytes)
{
    if (!bytes.isEmpty())
        m_heard = true;
    QByteArrayView rest(bytes);
    while (!m_done && !rest.isEmpty()) {
        const bool hadHead = m_response->headDone();
        const qsizetype taken = m_response->feed(rest);
        rest = rest.sliced(taken);
        if (!hadHead && m_response->headDone()) {
            if (m_pool)
                m_pool->answered(m_routeKey);
            if (takeHead())
                return;
        }
        if (const auto& failure = m_response->failure()) {
            fail(kindOf(failure->kind), failure->message);
            return;
        }
        if (m_response->stage() == HttpResponseParser::Stage::complete) {
            // Anything past the response answers no request: the connection is out of step. On a
            // connection the server ends, what it still sends may be its goodbye (a TLS alert,
            // unread on the socket), which tells nothing of the connections it keeps.
            const HttpConnections::Between state = HttpConnections::between(m_socket);
            const bool keeps = m_response->keepsConnection();
            if ((!rest.isEmpty() || (keeps && state == HttpConnections::Between::stray)) && m_pool)
                m_pool->strayAnswer(m_routeKey);
            m_keep = rest.isEmpty() && keeps && state == HttpConnections::Between::quiet;
            finish();
            return;
        }
        if (taken == 0)
            return;
    }
}

bool HttpGet::takeHead()
{
    const int status = m_response->status();
    const QList<QByteArray> location = m_response->values("location");
    if (isRedirect(status) && !location.isEmpty()) {
        const QUrl target = m_address.resolved(QUrl::fromEncoded(location.last()));
        if (const std::optional<QString> refused = follow(target))
            fail(Failure::Kind::redirect, *refused);
        return true;
    }
    // The body of an error is nobody's value.
    if (status < 200 || status > 299) {
        finish();
        return true;
    }
    return false;
}

std::optional<QString> HttpGet::follow(const QUrl& target)
{
    const QString shown = target.toString(QUrl::RemoveUserInfo);
    if (++m_redirects > m_request.maxRedirects)
        return QStringLiteral("the server redirected more than ") + QString::number(m_request.maxRedirects) +
               QStringLiteral(" times");
    if (!isHttpAddress(target))
        return QStringLiteral("the server redirected to ") + shown + QStringLiteral(", which is not an http address");
    if (schemeOf(target) == u"http" && schemeOf(m_address) == u"https")
        return QStringLiteral("the server redirected to ") + shown + QStringLiteral(", from https to http");

    QUrl next = target;
    if (m_withOriginHeaders && sameOrigin(target, m_request.url)) {
        if (next.userInfo().isEmpty())
            next.setUserInfo(m_request.url.userInfo());
    } else {
        m_withOriginHeaders = false;
        next.setUserInfo({});
    }
    m_redirectedTo = target.adjusted(QUrl::RemoveUserInfo);
    go(next);
    return std::nullopt;
}

void HttpGet::fail(Failure::Kind kind, const QString& message)
{
    finish(Failure{kind, message});
}

void HttpGet::finish(std::optional<Failure> failure)
{
    if (m_done)
        return;
    m_done = true;
    Outcome outcome{std::move(failure), m_response ? m_response->status() : 0, {}, m_redirectedTo};
    if (!outcome.failure && m_response)
        outcome.body = m_response->takeBody();
    m_deadline->stop();
    m_idle->stop();
    if (m_connector) {
        m_connector->cancel();
        m_connector->deleteLater();
    }
    leaveRoute(m_keep && !outcome.failure);
    // From the event loop, never from within a call into this object: whoever waits may delete
    // it, or its owner, on hearing the end. Gone by then, it hands over nothing.
    QMetaObject::invokeMethod(
        this,
        [this, outcome = std::move(outcome)]() mutable {
            if (onDone)
                onDone(std::move(outcome));
        },
        Qt::QueuedConnection);
}

void HttpGet::leaveRoute(bool reusable)
{
    const Place place = std::exchange(m_place, Place::none);
    QTcpSocket* socket = std::exchange(m_socket, nullptr);
    if (socket)
        socket->disconnect(this);
    if (socket && !(reusable && m_pool)) {
        socket->abort();
        socket->deleteLater();
        socket = nullptr;
    }
    if (!m_pool)
        return;
    if (place == Place::waiting)
        m_pool->leave(m_routeKey, this);
    else if (place == Place::holding)
        m_pool->release(m_routeKey, m_request.lookupShare, socket);
}

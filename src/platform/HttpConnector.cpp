#include "platform/HttpConnector.h"

#include "platform/ContextContinuation.h"
#include "platform/HttpTls.h"

#include <QNetworkProxy>
#include <QSslSocket>
#include <QTcpSocket>
#include <QUrl>

namespace {

// RFC 8305: the addresses of the two families take turns, starting with the family the
// resolver put first, so that a family whose route is broken costs one delay, not several.
QList<QHostAddress> interleaved(const QList<QHostAddress>& addresses)
{
    QList<QHostAddress> first;
    QList<QHostAddress> other;
    for (const QHostAddress& address : addresses)
        (address.protocol() == addresses.front().protocol() ? first : other).append(address);
    QList<QHostAddress> turns;
    for (qsizetype i = 0; i < std::max(first.size(), other.size()); ++i) {
        if (i < first.size())
            turns.append(first[i]);
        if (i < other.size())
            turns.append(other[i]);
    }
    return turns;
}

} // namespace

QString HttpRoute::key() const
{
    // Each origin has connections of its own, through a proxy too: a slow origin holds up no other.
    QString key = (tls ? QStringLiteral("https://") : QStringLiteral("http://")) + QString::fromLatin1(authority(true));
    if (proxy)
        key += QStringLiteral(" via ") + proxy->name() + u' ' + QString::fromLatin1(proxy->authorization);
    return key;
}

QString HttpRoute::origin() const
{
    return (tls ? QStringLiteral("https://") : QStringLiteral("http://")) + QString::fromLatin1(authority(false));
}

QByteArray HttpRoute::authority(bool withDefaultPort) const
{
    QByteArray name;
    if (QHostAddress literal; literal.setAddress(host))
        name = literal.protocol() == QAbstractSocket::IPv6Protocol ? '[' + literal.toString().toLatin1() + ']'
                                                                   : literal.toString().toLatin1();
    else
        name = QUrl::toAce(host);
    if (withDefaultPort || port != (tls ? 443 : 80))
        name += ':' + QByteArray::number(port);
    return name;
}

HttpConnector::HttpConnector(HttpRoute route, std::shared_ptr<const HostLookups::LookUp> lookUp,
                             QByteArray lookupShare, QObject* parent)
    : QObject(parent), m_route(std::move(route)), m_lookUp(std::move(lookUp)), m_lookupShare(std::move(lookupShare))
{
    m_nextAttempt.setSingleShot(true);
    m_nextAttempt.setTimerType(Qt::PreciseTimer);
    m_nextAttempt.setInterval(attemptDelay);
    connect(&m_nextAttempt, &QTimer::timeout, this, &HttpConnector::attempt);
}

HttpConnector::~HttpConnector()
{
    m_over = true;
    for (QTcpSocket* socket : std::as_const(m_attempts))
        socket->disconnect(this);
    if (m_socket)
        m_socket->disconnect(this);
}

void HttpConnector::start()
{
    QMetaObject::invokeMethod(this, &HttpConnector::begin, Qt::QueuedConnection);
}

void HttpConnector::begin()
{
    if (m_route.tls) {
        if (!QSslSocket::supportsSsl()) {
            fail(QStringLiteral("TLS is not available on this computer"));
            return;
        }
        continueOn(this, HttpTls::setup(), [this](const HttpTls::Setup& setup) {
            m_tls = setup;
            if (m_waitingForTls)
                startTls();
        });
    }
    const QString host = m_route.proxy ? m_route.proxy->host : m_route.host;
    if (QHostAddress literal; literal.setAddress(host)) {
        lookedUp({literal});
        return;
    }
    const QByteArray ace = QUrl::toAce(host);
    if (ace.isEmpty()) {
        fail(host + QStringLiteral(" is not a host name"));
        return;
    }
    auto lookup = HostLookups::lookUp(ace, m_lookUp, m_lookupShare);
    if (const QString* refused = std::get_if<QString>(&lookup)) {
        fail(*refused);
        return;
    }
    continueOn(this, std::get<QFuture<QList<QHostAddress>>>(lookup), [this, host](const QList<QHostAddress>& found) {
        if (found.isEmpty())
            fail(QStringLiteral("no address was found for ") + host);
        else
            lookedUp(found);
    });
}

void HttpConnector::lookedUp(const QList<QHostAddress>& addresses)
{
    m_addresses = interleaved(addresses);
    attempt();
}

void HttpConnector::attempt()
{
    if (m_over || m_addresses.isEmpty())
        return;
    const QHostAddress address = m_addresses.takeFirst();
    QTcpSocket* socket = m_route.tls ? new QSslSocket(this) : new QTcpSocket(this);
    // The proxy is this class's to choose, never Qt's application-wide one.
    socket->setProxy(QNetworkProxy::NoProxy);
    // The socket stops taking from the connection while this much waits to be read: what a
    // server sends costs memory only as it is taken out.
    socket->setReadBufferSize(readBufferBytes);
    m_attempts.append(socket);
    connect(socket, &QTcpSocket::connected, this, [this, socket] { won(socket); });
    connect(socket, &QTcpSocket::errorOccurred, this, [this, socket] { lost(socket); });
    if (!m_addresses.isEmpty())
        m_nextAttempt.start();
    socket->connectToHost(address, m_route.proxy ? m_route.proxy->port : m_route.port);
}

void HttpConnector::lost(QTcpSocket* socket)
{
    if (m_over || !m_attempts.removeOne(socket))
        return;
    m_lastError = socket->errorString();
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
    if (!m_addresses.isEmpty()) {
        m_nextAttempt.stop();
        attempt();
    } else if (m_attempts.isEmpty()) {
        fail(aboutConnection(m_lastError));
    }
}

void HttpConnector::won(QTcpSocket* socket)
{
    if (m_over)
        return;
    m_nextAttempt.stop();
    m_addresses.clear();
    for (QTcpSocket* other : std::as_const(m_attempts)) {
        if (other == socket)
            continue;
        other->disconnect(this);
        other->abort();
        other->deleteLater();
    }
    m_attempts.clear();
    socket->disconnect(this);
    m_socket = socket;
    connect(socket, &QTcpSocket::errorOccurred, this, [this] {
        // What the proxy said before it closed says more than that it closed.
        readTunnelAnswer();
        if (m_socket)
            fail(aboutConnection(m_socket->errorString()));
    });
    if (m_route.proxy && m_route.tls)
        askForTunnel();
    else if (m_route.tls)
        startTls();
    else
        handOver();
}

void HttpConnector::askForTunnel()
{
    const QByteArray target = m_route.authority(true);
    QByteArray head = "CONNECT " + target + " HTTP/1.1\r\nHost: " + target + "\r\n";
    if (!m_route.proxy->authorization.isEmpty())
        head += "Proxy-Authorization: " + m_route.proxy->authorization + "\r\n";
    m_tunnelAnswer.emplace(0, HttpResponseParser::Answering::connect);
    connect(m_socket, &QTcpSocket::readyRead, this, &HttpConnector::readTunnelAnswer);
    connect(m_socket, &QTcpSocket::disconnected, this, [this] {
        readTunnelAnswer();
        fail(QStringLiteral("the proxy ") + m_route.proxy->name() + QStringLiteral(" closed the connection"));
    });
    m_socket->write(head + "\r\n");
}

void HttpConnector::readTunnelAnswer()
{
    // The answer's head is capped, so this reads at most two buffers before it ends.
    while (!m_over && m_tunnelAnswer && m_socket && m_socket->bytesAvailable() > 0) {
        const QByteArray bytes = m_socket->read(readBufferBytes);
        const qsizetype taken = m_tunnelAnswer->feed(bytes);
        const QString proxy = QStringLiteral("the proxy ") + m_route.proxy->name();
        if (m_tunnelAnswer->headDone()) {
            const int status = m_tunnelAnswer->status();
            if (status == 407)
                fail(proxy + QStringLiteral(" asks for a user name and password (HTTP 407)"));
            else if (status < 200 || status > 299)
                fail(proxy + QStringLiteral(" refused the tunnel (HTTP ") + QString::number(status) + u')');
            // Whatever came after its answer would be taken for the origin's: nothing may.
            else if (taken < bytes.size() || m_socket->bytesAvailable() > 0)
                fail(proxy + QStringLiteral(" sent more than its answer"));
            else
                startTls();
            return;
        }
        if (const auto& failure = m_tunnelAnswer->failure()) {
            fail(failure->kind == HttpResponseParser::Failure::Kind::headTooLarge
                     ? proxy + QStringLiteral(" sent headers larger than 64 KB")
                     : proxy + QStringLiteral(" did not answer in HTTP/1"));
            return;
        }
    }
}

void HttpConnector::startTls()
{
    if (m_over || !m_socket)
        return;
    if (!m_tls) {
        m_waitingForTls = true;
        return;
    }
    m_waitingForTls = false;
    // From here on the connection's bytes are TLS.
    m_tunnelAnswer.reset();
    auto* tls = static_cast<QSslSocket*>(m_socket.data());
    disconnect(tls, &QTcpSocket::readyRead, this, nullptr);
    disconnect(tls, &QTcpSocket::disconnected, this, nullptr);
    tls->setSslConfiguration(m_tls->configuration);
    // The server is told the origin's name, which its certificate is checked against.
    tls->setPeerVerifyName(m_route.host);
    connect(tls, &QSslSocket::encrypted, this, &HttpConnector::checkServer);
    tls->startClientEncryption();
}

void HttpConnector::checkServer()
{
    if (m_over || !m_socket)
        return;
    const auto* tls = static_cast<QSslSocket*>(m_socket.data());
    continueOn(this, HttpTls::check(m_tls->trust, tls->peerCertificateChain(), m_route.host),
               [this](const std::optional<QString>& refusal) {
                   if (refusal)
                       fail(aboutConnection(*refusal));
                   else
                       handOver();
               });
}

void HttpConnector::handOver()
{
    if (m_over || !m_socket)
        return;
    m_over = true;
    QTcpSocket* socket = m_socket;
    m_socket.clear();
    socket->disconnect(this);
    socket->setParent(nullptr);
    onConnected(socket);
}

void HttpConnector::cancel()
{
    if (m_over)
        return;
    m_over = true;
    m_nextAttempt.stop();
    for (QTcpSocket* socket : std::as_const(m_attempts)) {
        socket->disconnect(this);
        socket->abort();
    }
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
}

void HttpConnector::fail(const QString& message)
{
    if (m_over)
        return;
    cancel();
    onFailed(message);
}

QString HttpConnector::aboutConnection(const QString& message) const
{
    if (!m_route.proxy)
        return message;
    return QStringLiteral("the proxy ") + m_route.proxy->name() + QStringLiteral(": ") + message;
}

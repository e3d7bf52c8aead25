#pragma once
// Opens the connection a web request goes over: looks the host (or the proxy) up, connects to
// its addresses as RFC 8305 has it (the next address 250 ms after the one before while that
// one still connects, or at once when it fails; the first to connect wins), asks an http proxy
// for a tunnel to an https origin, and starts TLS, handing the connection on only once the
// server's certificates passed the check of HttpTls, against the origin's name. The caller's
// deadline bounds it all; a proxy's answer to CONNECT is bounded as any response head is.

#include "platform/HostLookups.h"
#include "platform/HttpProxies.h"
#include "platform/HttpResponseParser.h"
#include "platform/HttpTls.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QTcpSocket;

// Where a request's connection goes and how: requests with the same key may take turns on one.
struct HttpRoute {
    // TLS with the origin (https).
    bool tls = false;
    // The origin's host as its address holds it, and its port.
    QString host;
    quint16 port = 0;
    std::optional<HttpProxies::Proxy> proxy;

    QString key() const;
    // An http request through a proxy goes to the proxy whole; an https one through its tunnel.
    bool wholeToProxy() const { return proxy && !tls; }
    // The origin as a Host header or a CONNECT target names it.
    QByteArray authority(bool withDefaultPort) const;
    // The origin as an address begins, for a user: "https://example.com".
    QString origin() const;
};

class HttpConnector : public QObject {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds attemptDelay{250};
    // What a socket holds at most before it is read, and so what one of its signals costs.
    static constexpr qint64 readBufferBytes = 64 * 1024;

    HttpConnector(HttpRoute route, std::shared_ptr<const HostLookups::LookUp> lookUp, QByteArray lookupShare,
                  QObject* parent = nullptr);
    ~HttpConnector() override;

    // One of them runs once, from the event loop: with the connected socket, now without a
    // parent, or with why there is none, in words for a user.
    std::function<void(QTcpSocket*)> onConnected;
    std::function<void(QString)> onFailed;

    void start();
    // Stops without a word to either.
    void cancel();

private:
    void begin();
    void lookedUp(const QList<QHostAddress>& addresses);
    void attempt();
    void lost(QTcpSocket* socket);
    void won(QTcpSocket* socket);
    void askForTunnel();
    void readTunnelAnswer();
    void startTls();
    void checkServer();
    void handOver();
    void fail(const QString& message);
    // A message about the connection, naming the proxy where it went to one.
    QString aboutConnection(const QString& message) const;

    const HttpRoute m_route;
    const std::shared_ptr<const HostLookups::LookUp> m_lookUp;
    const QByteArray m_lookupShare;
    QList<QHostAddress> m_addresses;
    QList<QTcpSocket*> m_attempts;
    QTimer m_nextAttempt;
    QString m_lastError;
    QPointer<QTcpSocket> m_socket;
    std::optional<HttpResponseParser> m_tunnelAnswer;
    std::optional<HttpTls::Setup> m_tls;
    bool m_waitingForTls = false;
    bool m_over = false;
};

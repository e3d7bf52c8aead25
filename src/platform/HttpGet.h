#pragma once
// One HTTP/1.1 GET from a server that may send anything, with bounds that hold whatever comes:
// at most maxHeadBytes of status line and headers, a cap on the body, a wall-clock deadline
// for the whole request (lookups, waiting for a connection, a proxy, TLS and redirects
// included) that no trickle of bytes puts off, and an optional limit on the server's silence
// once the request is written. The socket
// lives on the caller's thread and each of its signals costs at most readBufferBytes of work.
//
// Not QNetworkAccessManager: its HTTP thread reads a head one byte at a time until the head
// ends, and returns to its event loop only when the socket runs dry; a server that sends
// header lines faster than that keeps the thread there for good, where neither an abort nor a
// deadline reaches it, and the head grows without bound.
//
// Requests go as every program on the system sends them: through the proxy the environment
// names (HttpProxies), trusting the authorities OpenSSL's tools trust (HttpTls), to the first
// of a host's addresses that connects (HttpConnector), over a connection kept open for the next
// request to the same origin (HttpConnections).
//
// Redirects (301, 302, 303, 307, 308) are followed within http and https, never from https to
// http, at most maxRedirects times, each to the proxy the environment names for it. The
// origin's own headers and the credentials of the address go only to the scheme, host and port
// the request was made for.

#include "platform/HostLookups.h"
#include "platform/HttpConnector.h"
#include "platform/HttpResponseParser.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

class HttpConnections;
class QTcpSocket;
class QTimer;

class HttpGet : public QObject {
    Q_OBJECT

public:
    using Header = HttpResponseParser::Header;
    using LookUp = HostLookups::LookUp;

    static constexpr qsizetype maxHeadBytes = HttpResponseParser::maxHeadBytes;
    static constexpr qint64 readBufferBytes = HttpConnector::readBufferBytes;

    struct Request {
        QUrl url;
        // Sent to every address the request goes to. One whose name or value holds a line
        // break fails the request before anything is sent.
        QList<Header> headers;
        // Sent only to the origin of `url`; each replaces a header of the same name above.
        QList<Header> originHeaders;
        qint64 maxBodyBytes = 1024 * 1024;
        std::chrono::milliseconds deadline{60000};
        // How long the server may send nothing once the request is written; zero for no such
        // limit. Waiting for a connection counts only against the deadline.
        std::chrono::milliseconds idleLimit{0};
        int maxRedirects = 10;
        // Who asks, for the names looked up at once (HostLookups) and the connections of a
        // server (HttpConnections): one kind of caller cannot take every lookup, nor every
        // connection of a server, from the others.
        QByteArray lookupShare;
        // By default the system's resolver. Requests with the same function share a lookup of
        // the same name.
        std::shared_ptr<const LookUp> lookUp;
    };

    struct Failure {
        enum class Kind {
            transport,    // the connection, a proxy or TLS failed; `message` says how
            headTooLarge, // the status line and headers passed maxHeadBytes
            bodyTooLarge, // the body (or its announced length) passed maxBodyBytes
            timedOut,     // the deadline passed
            waited,       // the deadline passed while the request waited for a connection
            silent,       // nothing came for idleLimit
            redirect,     // a redirect that is not followed
            malformed,    // not an HTTP/1 response, or a request that cannot be sent as asked
            stopped,      // abort()
        };
        Kind kind;
        // Fit for a user; callers word the limits themselves.
        QString message;
    };

    struct Outcome {
        std::optional<Failure> failure;
        // Of the last response; its body only for a status from 200 to 299.
        int status = 0;
        QByteArray body;
        // The last address a redirect led to, without credentials; none without redirects.
        std::optional<QUrl> redirectedTo;
    };

    explicit HttpGet(Request request, QObject* parent = nullptr);
    // Ends a request still under way without calling `onDone`.
    ~HttpGet() override;

    // Runs once, on this object's thread, when the request ends in any way: from the event
    // loop, so it may delete this object or its owner.
    std::function<void(Outcome)> onDone;

    void start();
    // Ends the request at once; `onDone` still runs, with a `stopped` failure.
    void abort();

private:
    // Where the request stands with the connections of its route.
    enum class Place { none, waiting, holding };

    // Goes to `address`: the first request, or a redirect.
    void go(const QUrl& address);
    // The pool's answer: a connection to use, or none to open.
    void granted(QTcpSocket* idle);
    void proceed();
    void openConnection();
    // Opens a new connection in place of a kept one that turned out closed.
    void openConnectionAgain();
    void use(QTcpSocket* socket, bool reused);
    void sendRequest();
    void readAvailable();
    void ended();
    // Whether a response that went wrong this early may go again on a new connection.
    bool mayRetry() const;
    void take(QByteArray bytes);
    // The head of the final response came: whether the request ended with it.
    bool takeHead();
    // Moves on to `target` (a Location resolved against the address), or says why it does not.
    std::optional<QString> follow(const QUrl& target);
    void fail(Failure::Kind kind, const QString& message);
    // Ends the request and hands over its outcome: the failure, or the response with the body
    // taken so far.
    void finish(std::optional<Failure> failure = std::nullopt);
    // Gives the place on the route back, with the connection when it may carry another request.
    void leaveRoute(bool reusable);

    const Request m_request;
    QUrl m_address;
    HttpRoute m_route;
    QString m_routeKey;
    bool m_withOriginHeaders = true;
    int m_redirects = 0;
    // Time spent waiting for a place on the route, and whether the request was written, for the
    // current address.
    std::chrono::steady_clock::time_point m_waitingSince;
    std::chrono::steady_clock::duration m_waited{};
    bool m_written = false;
    // Within the pool's acquire(), which grants a free place at once.
    bool m_acquiring = false;
    std::optional<QUrl> m_redirectedTo;
    QPointer<HttpConnections> m_pool;
    Place m_place = Place::none;
    QPointer<HttpConnector> m_connector;
    QPointer<QTcpSocket> m_socket;
    // The connection carried a request before; whether the response began to come on it; whether
    // the request went again on a new connection once.
    bool m_reused = false;
    bool m_heard = false;
    bool m_retried = false;
    QTimer* m_deadline;
    QTimer* m_idle;
    bool m_done = false;
    // The response ended where the connection may carry another request.
    bool m_keep = false;
    std::optional<HttpResponseParser> m_response;
};

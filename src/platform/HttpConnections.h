#pragma once
// The connections of one thread's web requests, kept open between requests (HTTP/1.1
// keep-alive) so that a source fetched every second does not pay for a new connection and a
// new TLS handshake each time.
//
// A route (an origin, directly or through a proxy) has at most perRoute connections, busy or
// idle, and only one until its server has answered on it: a server that answers nothing holds
// one connection, not six. A request past them waits for one within its own deadline. Waiting
// requests are served in turn by who asks (a kind of caller: screens, artwork, stocks), and a
// kind that holds none of a route's connections gets one beyond the limit: requests of one kind
// that hang never hold every connection of their server from another kind.
//
// At most maxIdle connections wait idle, each for at most idleLimit, and one the server closes
// or writes to while idle is dropped at once.

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>

class QTcpSocket;

class HttpConnections : public QObject {
    Q_OBJECT

public:
    static constexpr int perRoute = 6;
    static constexpr int maxIdle = 16;
    static constexpr std::chrono::seconds idleLimit{30};

    // The pool of the calling thread, made on first use; it ends with the thread (with the
    // application object on the main thread).
    static HttpConnections& ofThisThread();

    // How a connection stands between requests: open and quiet; closed; or holding what no request
    // asked for, in Qt's buffers or still on the socket itself, where what the server wrote just
    // after its last answer may wait to be read.
    enum class Between { quiet, closed, stray };
    static Between between(QTcpSocket* socket);

    // Called once a place on the route is free: with an idle connection, or with none when the
    // request is to open one. It must only take the place; it runs inside the pool's calls.
    using Granted = std::function<void(QTcpSocket*)>;

    // Asks for a place on `route` for `who`, of the kind of caller `share`: granted at once
    // (through `granted`, before this returns) or later, in turn.
    void acquire(const QString& route, const void* who, const QByteArray& share, Granted granted);
    // Gives up a place asked for and not granted yet.
    void leave(const QString& route, const void* who);
    // Gives back a granted place, with its connection when that may carry another request.
    void release(const QString& route, const QByteArray& share, QTcpSocket* reusable);
    // The route's server answered a request: it may have all its connections.
    void answered(const QString& route);
    // The route's server sent what no request asked for, such as a second answer to one request.
    // Such an answer may come after the next request went out on the connection, and be taken
    // for its answer: from now on no connection to it carries a second request.
    void strayAnswer(const QString& route);
    // Keeps a connection a request opened: the pool owns every socket it hands out.
    void adopt(QTcpSocket* socket);

    int idleCount() const;

private:
    struct Waiting {
        const void* who;
        QByteArray share;
        Granted granted;
    };
    struct Idle {
        QPointer<QTcpSocket> socket;
        QPointer<QTimer> timer;
        std::chrono::steady_clock::time_point since;
    };
    struct Route {
        int places = 0; // granted, whether busy or idle
        QHash<QByteArray, int> busy; // granted places in use, by kind of caller
        std::deque<Idle> idle;
        std::deque<Waiting> waiting;
        // When each kind of caller was last served, in turns counted by `turns`.
        QHash<QByteArray, std::uint64_t> servedAt;
        std::uint64_t turns = 0;
        bool answered = false;

        int placeLimit() const { return answered ? perRoute : 1; }
    };

    HttpConnections() = default;
    ~HttpConnections() override;

    // Grants what the route's free places and idle connections allow, in turn; `reusable`, a
    // connection just given back, goes to the first request served.
    void serve(const QString& key, QTcpSocket* reusable = nullptr);
    void keepIdle(const QString& key, QTcpSocket* socket);
    // Closes an idle connection and frees its place.
    void drop(const QString& key, QTcpSocket* socket);
    void dropOldestIdle();
    // Takes an idle connection that is still open and quiet, closing those that are not.
    QTcpSocket* takeIdle(const QString& key, Route& route);
    void noteStray(const QString& key);

    static constexpr qsizetype maxStrayRoutes = 256;
    void forgetIfUnused(const QString& key);

    QHash<QString, Route> m_routes;
    // Routes whose server sent a stray answer, remembered beyond their connections.
    QSet<QString> m_strayRoutes;
};

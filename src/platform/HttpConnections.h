#pragma once
// The connections of one thread's web requests, kept open between requests (HTTP/1.1
// keep-alive) so that a source fetched every second does not pay for a new connection and a
// new TLS handshake each time. A route (an origin, directly or through a proxy) has at most
// perRoute connections, busy or idle; a request past them waits for one within its own
// deadline. At most maxIdle connections wait idle, each for at most idleLimit, and one the
// server closes or writes to while idle is dropped at once.

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <chrono>
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

    // Called once a place on the route is free: with an idle connection, or with none when the
    // request is to open one. It must only take the place; it runs inside release().
    using Granted = std::function<void(QTcpSocket*)>;

    // Asks for a place on `route` for `who`: granted at once (through `granted`, before this
    // returns) or later, in turn.
    void acquire(const QString& route, const void* who, Granted granted);
    // Gives up a place asked for and not granted yet.
    void leave(const QString& route, const void* who);
    // Gives back a granted place, with its connection when that may carry another request.
    void release(const QString& route, QTcpSocket* reusable);
    // Keeps a connection a request opened: the pool owns every socket it hands out.
    void adopt(QTcpSocket* socket);

    int idleCount() const;

private:
    struct Waiting {
        const void* who;
        Granted granted;
    };
    struct Idle {
        QPointer<QTcpSocket> socket;
        QPointer<QTimer> timer;
        std::chrono::steady_clock::time_point since;
    };
    struct Route {
        int places = 0; // granted, whether busy or idle
        std::deque<Idle> idle;
        std::deque<Waiting> waiting;
    };

    HttpConnections() = default;
    ~HttpConnections() override;

    void keepIdle(const QString& key, QTcpSocket* socket);
    // Closes an idle connection and frees its place.
    void drop(const QString& key, QTcpSocket* socket);
    void dropOldestIdle();
    // Takes an idle connection that is still open, closing those that are not.
    QTcpSocket* takeIdle(Route& route);

    QHash<QString, Route> m_routes;
};

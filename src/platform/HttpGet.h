#pragma once
// One HTTP/1.1 GET from a server that may send anything, with bounds that hold whatever comes:
// at most maxHeadBytes of status line and headers, a cap on the body, a wall-clock deadline
// for the whole request (redirects included) that no trickle of bytes puts off, and an
// optional limit on silence. The socket lives on the caller's thread and each of its signals
// costs at most readBufferBytes of work there.
//
// Not QNetworkAccessManager: its HTTP thread reads a head one byte at a time until the head
// ends, and returns to its event loop only when the socket runs dry; a server that sends
// header lines faster than that keeps the thread there for good, where neither an abort nor a
// deadline reaches it, and the head grows without bound.
//
// A host name is looked up on a thread of its own that nothing waits for, not by Qt's lookups,
// which the application object waits for as it goes: a name server that keeps silent holds a
// lookup for as long as the resolver's own time-outs, ten seconds and more.
//
// Redirects (301, 302, 303, 307, 308) are followed within http and https, never from https to
// http, at most maxRedirects times. The origin's own headers and the credentials of the
// address go only to the scheme, host and port the request was made for.

#include <QByteArray>
#include <QHostAddress>
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

class QTcpSocket;
class QTimer;

class HttpGet : public QObject {
    Q_OBJECT

public:
    using Header = std::pair<QByteArray, QByteArray>;

    static constexpr qsizetype maxHeadBytes = 64 * 1024;
    // What the socket holds at most before it is read, and so what one of its signals costs.
    static constexpr qint64 readBufferBytes = 64 * 1024;

    struct Request {
        QUrl url;
        // Sent to every address the request goes to. One whose name or value holds a line
        // break fails the request before anything is sent.
        QList<Header> headers;
        // Sent only to the origin of `url`; each replaces a header of the same name above.
        QList<Header> originHeaders;
        qint64 maxBodyBytes = 1024 * 1024;
        std::chrono::milliseconds deadline{60000};
        // How long the server may send nothing; zero for no such limit.
        std::chrono::milliseconds idleLimit{0};
        int maxRedirects = 10;
        // Turns a host name in its ASCII form into addresses, blocking; none when it names
        // nothing. By default the system's resolver.
        std::function<QList<QHostAddress>(const QByteArray& host)> lookUp;
    };

    // Names looked up at once in the whole process; a request past it fails.
    static constexpr int maxLookups = 16;

    struct Failure {
        enum class Kind {
            transport,    // the connection or TLS failed; `message` is the socket's own
            headTooLarge, // the status line and headers passed maxHeadBytes
            bodyTooLarge, // the body (or its announced length) passed maxBodyBytes
            timedOut,     // the deadline passed
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
    enum class Stage { head, sizedBody, chunkSize, chunkData, chunkEnd, trailers, bodyToClose, done };

    struct Lookup;

    void connectTo(const QUrl& address);
    void lookedUp(const std::shared_ptr<Lookup>& lookup, const QList<QHostAddress>& addresses);
    // Connects to the first address left of the host's.
    void connectNext();
    void sendRequest();
    void readAvailable();
    void ended();
    void take(QByteArray bytes);
    // Adds to the head (or the trailers) in m_pending: where it ends once it did, else -1; a
    // head over maxHeadBytes fails the request.
    qsizetype takeHeadLines(const QByteArray& bytes);
    bool takeHead(const QByteArray& head);
    bool takeBody(QByteArray& bytes);
    // Moves on to `target` (a Location resolved against the address), or says why it does not.
    std::optional<QString> follow(const QUrl& target);
    void fail(Failure::Kind kind, const QString& message);
    // Ends the request and hands over its outcome: the failure, or the response with the body
    // taken so far.
    void finish(std::optional<Failure> failure = std::nullopt);
    void dropSocket();
    void dropLookup();
    // Ended, in whatever way: nothing more is taken from the server or handed over.
    bool done() const { return m_stage == Stage::done; }

    const Request m_request;
    QUrl m_address;
    bool m_withOriginHeaders = true;
    int m_redirects = 0;
    std::optional<QUrl> m_redirectedTo;
    std::shared_ptr<Lookup> m_lookup;
    QList<QHostAddress> m_addresses;
    bool m_connected = false;
    QPointer<QTcpSocket> m_socket;
    QTimer* m_deadline;
    QTimer* m_idle;

    Stage m_stage = Stage::head;
    // What came and is not taken yet: a head, a chunk's size line, a chunk's line end, trailers.
    QByteArray m_pending;
    qsizetype m_headBytes = 0;
    int m_status = 0;
    qint64 m_left = 0;
    QByteArray m_body;
};

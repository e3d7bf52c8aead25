#pragma once
// One HTTP/1 response read from bytes as they come, without a socket: the head (interim 1xx
// answers and trailers counted with it) up to maxHeadBytes, a body framed by its length, by
// chunks or by the end of the connection, up to a cap, and whether the connection may carry
// another request once the response is complete.
//
// It takes nothing past the end of its response: what follows belongs to no request sent.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>
#include <utility>

class HttpResponseParser {
public:
    using Header = std::pair<QByteArray, QByteArray>;

    static constexpr qsizetype maxHeadBytes = 64 * 1024;
    // A chunk's size line holds a size in hex and perhaps extensions; nothing sane is longer.
    static constexpr qsizetype maxChunkLineBytes = 4096;

    // What the response answers: a CONNECT's success has no body, the tunnel begins after it.
    enum class Answering { get, connect };

    enum class Stage { head, body, complete, failed };

    struct Failure {
        enum class Kind {
            headTooLarge, // the status line and headers passed maxHeadBytes
            bodyTooLarge, // the body (or its announced length) passed the cap
            malformed,    // not an HTTP/1 response, or framed in a way nothing can follow
            truncated,    // the connection ended before the response did
        };
        Kind kind;
        QString message;
    };

    explicit HttpResponseParser(qint64 maxBodyBytes, Answering answering = Answering::get);

    // Takes bytes up to the end of the final head, the end of the response or a fault, whichever
    // comes first, and returns how many it took; nothing once complete or failed.
    qsizetype feed(QByteArrayView bytes);
    // The connection ended: a body that runs until then is complete, anything else unfinished
    // is truncated.
    void closed();

    Stage stage() const { return m_stage; }
    // The final head was read: its status and headers hold, whatever the body then does.
    bool headDone() const { return m_status >= 200; }
    int status() const { return m_status; }
    // With lower-case names, in the order they came.
    const QList<Header>& headers() const { return m_headers; }
    QList<QByteArray> values(const QByteArray& lowerCaseName) const;
    const QByteArray& body() const { return m_body; }
    QByteArray takeBody() { return std::exchange(m_body, {}); }
    const std::optional<Failure>& failure() const { return m_failure; }
    // Status line, headers, interim answers and trailers taken so far.
    qsizetype headBytes() const { return m_headBytes + m_pending.size(); }
    // Complete, and framed so that the next response on the connection starts where it ended.
    bool keepsConnection() const { return m_stage == Stage::complete && m_reusable; }

private:
    enum class Framing { none, length, chunked, untilClose };
    enum class Part { head, sizedBody, chunkSize, chunkData, chunkEnd, trailers, bodyToClose };

    qsizetype takeHead(QByteArrayView bytes);
    qsizetype takeBody(QByteArrayView bytes);
    // A head (or trailers) ends in the blank line: where in m_pending, or -1 while it did not
    // come; past maxHeadBytes it fails.
    qsizetype takeHeadLines(QByteArrayView bytes, qsizetype& taken);
    void readHead(const QByteArray& head);
    void frameBody();
    bool fail(Failure::Kind kind, const QString& message);
    void complete();

    const qint64 m_maxBodyBytes;
    const Answering m_answering;
    Stage m_stage = Stage::head;
    Part m_part = Part::head;
    Framing m_framing = Framing::none;
    // What came and is not taken yet: a head, a chunk's size line, a chunk's line end, trailers.
    QByteArray m_pending;
    qsizetype m_headBytes = 0;
    int m_status = 0;
    bool m_http11 = false;
    bool m_reusable = false;
    QList<Header> m_headers;
    qint64 m_left = 0;
    QByteArray m_body;
    std::optional<Failure> m_failure;
};

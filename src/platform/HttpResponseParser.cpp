#include "platform/HttpResponseParser.h"

#include <algorithm>

namespace {

QByteArray withoutCarriageReturn(QByteArray line)
{
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isHexDigit(char c)
{
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// "HTTP/1.x NNN reason": the status, or none.
std::optional<int> statusOf(const QByteArray& line)
{
    if (line.size() < 12 || !line.startsWith("HTTP/1.") || !isDigit(line.at(7)) || line.at(8) != ' ' ||
        !isDigit(line.at(9)) || !isDigit(line.at(10)) || !isDigit(line.at(11)) ||
        (line.size() > 12 && line.at(12) != ' '))
        return std::nullopt;
    return line.mid(9, 3).toInt();
}

// Header lines with lower-case names; a line that begins with white space goes on the one before.
QList<HttpResponseParser::Header> headersOf(const QList<QByteArray>& lines)
{
    QList<HttpResponseParser::Header> headers;
    for (const QByteArray& raw : lines) {
        const QByteArray line = withoutCarriageReturn(raw);
        if (line.isEmpty())
            continue;
        if ((line.front() == ' ' || line.front() == '\t') && !headers.isEmpty()) {
            headers.last().second += ' ' + line.trimmed();
            continue;
        }
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            headers.append({line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed()});
    }
    return headers;
}

// The body's length as announced: none without one, -1 for one that is no number or that
// disagrees with itself.
std::optional<qint64> contentLength(const QList<QByteArray>& values)
{
    std::optional<qint64> length;
    for (const QByteArray& value : values) {
        for (const QByteArray& part : value.split(',')) {
            const QByteArray digits = part.trimmed();
            bool ok = !digits.isEmpty() && digits.size() <= 18 && std::all_of(digits.cbegin(), digits.cend(), isDigit);
            const qint64 n = ok ? digits.toLongLong(&ok) : -1;
            if (!ok || (length && *length != n))
                return -1;
            length = n;
        }
    }
    return length;
}

bool hasToken(const QList<QByteArray>& values, const QByteArray& token)
{
    for (const QByteArray& value : values) {
        for (const QByteArray& part : value.split(',')) {
            if (part.trimmed().toLower() == token)
                return true;
        }
    }
    return false;
}

} // namespace

HttpResponseParser::HttpResponseParser(qint64 maxBodyBytes, Answering answering)
    : m_maxBodyBytes(maxBodyBytes), m_answering(answering)
{
}

QList<QByteArray> HttpResponseParser::values(const QByteArray& lowerCaseName) const
{
    QList<QByteArray> found;
    for (const auto& [name, value] : m_headers) {
        if (name == lowerCaseName)
            found.append(value);
    }
    return found;
}

qsizetype HttpResponseParser::feed(QByteArrayView bytes)
{
    qsizetype taken = 0;
    while (taken < bytes.size() && (m_stage == Stage::head || m_stage == Stage::body)) {
        if (m_part == Part::head) {
            taken += takeHead(bytes.sliced(taken));
            // Whoever reads the response hears of its head before anything of its body.
            if (headDone())
                break;
        } else {
            taken += takeBody(bytes.sliced(taken));
        }
    }
    return taken;
}

void HttpResponseParser::closed()
{
    if (m_stage == Stage::body && m_part == Part::bodyToClose)
        complete();
    else if (m_stage == Stage::head || m_stage == Stage::body)
        fail(Failure::Kind::truncated, QStringLiteral("the server closed the connection before the response was complete"));
}

qsizetype HttpResponseParser::takeHead(QByteArrayView bytes)
{
    qsizetype taken = 0;
    // Interim answers come before the final one, and their heads count with its head.
    while (taken < bytes.size() && m_part == Part::head && m_stage == Stage::head) {
        qsizetype more = 0;
        const qsizetype end = takeHeadLines(bytes.sliced(taken), more);
        taken += more;
        if (end < 0)
            break;
        const QByteArray head = m_pending.left(end);
        m_pending.clear();
        m_headBytes += end;
        readHead(head);
    }
    return taken;
}

qsizetype HttpResponseParser::takeHeadLines(QByteArrayView bytes, qsizetype& taken)
{
    const qsizetype before = m_pending.size();
    const qsizetype room = std::max<qsizetype>(0, maxHeadBytes - m_headBytes - before);
    m_pending.append(bytes.first(std::min(bytes.size(), room)));
    // Lines may end in CRLF or in LF alone; only a line end that came now can end the head.
    for (qsizetype at = m_pending.indexOf('\n', before); at >= 0; at = m_pending.indexOf('\n', at + 1)) {
        const bool blank = at == 0 || m_pending.at(at - 1) == '\n' ||
                           (m_pending.at(at - 1) == '\r' && (at == 1 || m_pending.at(at - 2) == '\n'));
        if (blank) {
            taken = at + 1 - before;
            return at + 1;
        }
    }
    if (bytes.size() > room) {
        fail(Failure::Kind::headTooLarge, QStringLiteral("the server's headers are larger than 64 KB"));
        taken = 0;
        return -1;
    }
    taken = bytes.size();
    return -1;
}

void HttpResponseParser::readHead(const QByteArray& head)
{
    QList<QByteArray> lines = head.split('\n');
    const QByteArray statusLine = withoutCarriageReturn(lines.takeFirst());
    const std::optional<int> status = statusOf(statusLine);
    if (!status) {
        fail(Failure::Kind::malformed, QStringLiteral("the server did not answer in HTTP/1"));
        return;
    }
    if (*status == 101) {
        fail(Failure::Kind::malformed, QStringLiteral("the server switched to another protocol"));
        return;
    }
    // An interim answer: the real one follows.
    if (*status < 200)
        return;
    m_status = *status;
    m_http11 = statusLine.at(7) != '0';
    m_headers = headersOf(lines);
    frameBody();
}

void HttpResponseParser::frameBody()
{
    m_stage = Stage::body;
    if ((m_answering == Answering::connect && m_status < 300) || m_status == 204 || m_status == 304) {
        m_reusable = m_http11 && !hasToken(values("connection"), "close");
        complete();
        return;
    }
    const QList<QByteArray> codings = values("transfer-encoding");
    const QList<QByteArray> lengths = values("content-length");
    if (!codings.isEmpty()) {
        // Chunked only as the last coding; anything else runs until the connection closes.
        const bool chunked = codings.last().split(',').last().trimmed().toLower() == "chunked";
        m_framing = chunked ? Framing::chunked : Framing::untilClose;
        m_part = chunked ? Part::chunkSize : Part::bodyToClose;
    } else if (const std::optional<qint64> length = contentLength(lengths)) {
        if (*length < 0) {
            fail(Failure::Kind::malformed, QStringLiteral("the server announced no valid length"));
            return;
        }
        if (*length > m_maxBodyBytes) {
            fail(Failure::Kind::bodyTooLarge, QStringLiteral("the response is too large"));
            return;
        }
        m_framing = Framing::length;
        m_part = Part::sizedBody;
        m_left = *length;
    } else {
        m_framing = Framing::untilClose;
        m_part = Part::bodyToClose;
    }
    // A length beside chunks says the sender frames its messages in two ways: the next one
    // cannot be trusted to begin where this one seems to end.
    m_reusable = m_http11 && m_framing != Framing::untilClose && !hasToken(values("connection"), "close") &&
                 !(m_framing == Framing::chunked && !lengths.isEmpty());
    if (m_framing == Framing::length && m_left == 0)
        complete();
}

qsizetype HttpResponseParser::takeBody(QByteArrayView bytes)
{
    const auto tooLarge = [this](qint64 more) {
        return m_body.size() + more > m_maxBodyBytes &&
               fail(Failure::Kind::bodyTooLarge, QStringLiteral("the response is too large"));
    };
    const auto takeData = [&] {
        const qsizetype n = qsizetype(std::min<qint64>(m_left, bytes.size()));
        m_body.append(bytes.first(n));
        m_left -= n;
        return n;
    };

    switch (m_part) {
    case Part::sizedBody: {
        const qsizetype n = takeData();
        if (m_left == 0)
            complete();
        return n;
    }
    case Part::bodyToClose:
        if (tooLarge(bytes.size()))
            return 0;
        m_body.append(bytes);
        return bytes.size();
    case Part::chunkSize: {
        const qsizetype newline = bytes.indexOf('\n');
        const qsizetype n = newline < 0 ? bytes.size() : newline + 1;
        if (m_pending.size() + n > maxChunkLineBytes) {
            fail(Failure::Kind::malformed, QStringLiteral("the server sent a chunk size line without end"));
            return 0;
        }
        m_pending.append(bytes.first(n));
        if (newline < 0)
            return n;
        const QByteArray line = withoutCarriageReturn(std::exchange(m_pending, {}).chopped(1));
        const qsizetype extensions = line.indexOf(';');
        const QByteArray digits = (extensions < 0 ? line : line.left(extensions)).trimmed();
        bool ok = !digits.isEmpty() && digits.size() <= 15 && std::all_of(digits.cbegin(), digits.cend(), isHexDigit);
        const qint64 size = ok ? digits.toLongLong(&ok, 16) : 0;
        if (!ok) {
            fail(Failure::Kind::malformed, QStringLiteral("the server sent a chunk without a valid size"));
            return 0;
        }
        if (size == 0) {
            m_part = Part::trailers;
            return n;
        }
        if (tooLarge(size))
            return 0;
        m_left = size;
        m_part = Part::chunkData;
        return n;
    }
    case Part::chunkData: {
        const qsizetype n = takeData();
        if (m_left == 0)
            m_part = Part::chunkEnd;
        return n;
    }
    case Part::chunkEnd: {
        const char c = bytes.front();
        if (c == '\r' && m_pending.isEmpty()) {
            m_pending = "\r";
            return 1;
        }
        m_pending.clear();
        if (c != '\n') {
            fail(Failure::Kind::malformed, QStringLiteral("the server sent a chunk longer than its size"));
            return 0;
        }
        m_part = Part::chunkSize;
        return 1;
    }
    case Part::trailers: {
        // Trailers end in a blank line as a head does, and count with the head.
        qsizetype taken = 0;
        const qsizetype end = takeHeadLines(bytes, taken);
        if (end >= 0) {
            m_headBytes += end;
            m_pending.clear();
            complete();
        }
        return taken;
    }
    case Part::head:
        break;
    }
    return 0;
}

bool HttpResponseParser::fail(Failure::Kind kind, const QString& message)
{
    if (m_stage == Stage::complete || m_stage == Stage::failed)
        return true;
    m_stage = Stage::failed;
    m_failure = Failure{kind, message};
    return true;
}

void HttpResponseParser::complete()
{
    m_stage = Stage::complete;
}

#include "platform/HttpGet.h"

#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <climits>
#include <mutex>
#include <system_error>
#include <thread>

#include <netdb.h>
#include <sys/socket.h>

namespace {

// A chunk's size line holds a size in hex and perhaps extensions; nothing sane is longer.
constexpr qsizetype maxChunkLineBytes = 4096;
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

// Just past the blank line that ends a head, searching from `from`; -1 while none came. Lines
// may end in CRLF or in LF alone.
qsizetype headEnd(const QByteArray& bytes, qsizetype from)
{
    for (qsizetype at = bytes.indexOf('\n', from); at >= 0; at = bytes.indexOf('\n', at + 1)) {
        if (at + 1 < bytes.size() && bytes.at(at + 1) == '\n')
            return at + 2;
        if (at + 2 < bytes.size() && bytes.at(at + 1) == '\r' && bytes.at(at + 2) == '\n')
            return at + 3;
    }
    return -1;
}

QByteArray withoutCarriageReturn(QByteArray line)
{
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

// "HTTP/1.x NNN reason": the status, or none.
std::optional<int> statusOf(const QByteArray& line)
{
    const auto digit = [&](qsizetype i) { return line.at(i) >= '0' && line.at(i) <= '9'; };
    if (line.size() < 12 || !line.startsWith("HTTP/1.") || !digit(7) || line.at(8) != ' ' || !digit(9) ||
        !digit(10) || !digit(11) || (line.size() > 12 && line.at(12) != ' '))
        return std::nullopt;
    return line.mid(9, 3).toInt();
}

// Header lines with lower-case names; a line that begins with white space goes on the one before.
QList<HttpGet::Header> headersOf(const QList<QByteArray>& lines)
{
    QList<HttpGet::Header> headers;
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

QList<QByteArray> valuesOf(const QList<HttpGet::Header>& headers, const QByteArray& name)
{
    QList<QByteArray> values;
    for (const auto& [key, value] : headers) {
        if (key == name)
            values.append(value);
    }
    return values;
}

// The body's length as announced: none without one, -1 for one that is no number or that
// disagrees with itself.
std::optional<qint64> contentLength(const QList<HttpGet::Header>& headers)
{
    std::optional<qint64> length;
    for (const QByteArray& value : valuesOf(headers, "content-length")) {
        for (const QByteArray& part : value.split(',')) {
            const QByteArray digits = part.trimmed();
            bool ok = !digits.isEmpty() && digits.size() <= 18 &&
                      std::all_of(digits.cbegin(), digits.cend(), [](char c) { return c >= '0' && c <= '9'; });
            const qint64 n = ok ? digits.toLongLong(&ok) : -1;
            if (!ok || (length && *length != n))
                return -1;
            length = n;
        }
    }
    return length;
}

std::atomic<int> lookupsRunning{0};

QList<QHostAddress> systemLookUp(const QByteArray& host)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG;
    addrinfo* found = nullptr;
    QList<QHostAddress> addresses;
    if (::getaddrinfo(host.constData(), nullptr, &hints, &found) != 0)
        return addresses;
    for (const addrinfo* entry = found; entry; entry = entry->ai_next) {
        const QHostAddress address(entry->ai_addr);
        if (!address.isNull() && !addresses.contains(address))
            addresses.append(address);
    }
    ::freeaddrinfo(found);
    return addresses;
}

int timerMilliseconds(std::chrono::milliseconds limit)
{
    return int(std::clamp<std::chrono::milliseconds::rep>(limit.count(), 1, INT_MAX));
}

} // namespace

// A lookup under way, shared with its thread: the request that waits for its answer, until
// that request stops waiting.
struct HttpGet::Lookup {
    std::mutex mutex;
    HttpGet* waiting = nullptr;
};

HttpGet::HttpGet(Request request, QObject* parent)
    : QObject(parent), m_request(std::move(request)), m_deadline(new QTimer(this)), m_idle(new QTimer(this))
{
    m_deadline->setSingleShot(true);
    m_deadline->setInterval(timerMilliseconds(m_request.deadline));
    connect(m_deadline, &QTimer::timeout, this,
            [this] { fail(Failure::Kind::timedOut, QStringLiteral("the server took too long to answer")); });
    m_idle->setSingleShot(true);
    m_idle->setInterval(timerMilliseconds(m_request.idleLimit));
    connect(m_idle, &QTimer::timeout, this,
            [this] { fail(Failure::Kind::silent, QStringLiteral("the server stopped sending")); });
}

HttpGet::~HttpGet()
{
    m_stage = Stage::done;
    dropLookup();
    dropSocket();
}

void HttpGet::start()
{
    m_deadline->start();
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (done())
                return;
            if (!isHttpAddress(m_request.url))
                fail(Failure::Kind::malformed,
                     m_request.url.toString(QUrl::RemoveUserInfo) + QStringLiteral(" is not an http address"));
            else if (const std::optional<QByteArray> name = headerWithLineBreak(m_request))
                fail(Failure::Kind::malformed,
                     QStringLiteral("the header \"") + QString::fromUtf8(*name) + QStringLiteral("\" holds a line break"));
            else
                connectTo(m_request.url);
        },
        Qt::QueuedConnection);
}

void HttpGet::abort()
{
    fail(Failure::Kind::stopped, QStringLiteral("stopped"));
}

void HttpGet::connectTo(const QUrl& address)
{
    dropLookup();
    dropSocket();
    m_address = address;
    m_addresses.clear();
    m_stage = Stage::head;
    m_pending.clear();
    m_headBytes = 0;
    m_status = 0;
    m_body.clear();

    if (schemeOf(address) == u"https" && !QSslSocket::supportsSsl()) {
        fail(Failure::Kind::transport, QStringLiteral("TLS is not available on this computer"));
        return;
    }
    if (m_request.idleLimit.count() > 0)
        m_idle->start();
    if (QHostAddress literal; literal.setAddress(address.host())) {
        m_addresses = {literal};
        connectNext();
        return;
    }
    const QByteArray host = QUrl::toAce(address.host());
    if (host.isEmpty()) {
        fail(Failure::Kind::malformed, address.host() + QStringLiteral(" is not a host name"));
        return;
    }
    if (++lookupsRunning > maxLookups) {
        --lookupsRunning;
        fail(Failure::Kind::transport, QStringLiteral("too many names are being looked up at once"));
        return;
    }
    auto lookup = std::make_shared<Lookup>();
    lookup->waiting = this;
    m_lookup = lookup;
    try {
        std::thread([lookup, host, lookUp = m_request.lookUp ? m_request.lookUp : systemLookUp] {
            const QList<QHostAddress> addresses = lookUp(host);
            --lookupsRunning;
            const std::lock_guard lock(lookup->mutex);
            if (HttpGet* get = lookup->waiting) {
                QMetaObject::invokeMethod(
                    get, [get, lookup, addresses] { get->lookedUp(lookup, addresses); }, Qt::QueuedConnection);
            }
        }).detach();
    } catch (const std::system_error&) {
        --lookupsRunning;
        m_lookup.reset();
        fail(Failure::Kind::transport, QStringLiteral("no thread could be started to look up ") + address.host());
    }
}

void HttpGet::lookedUp(const std::shared_ptr<Lookup>& lookup, const QList<QHostAddress>& addresses)
{
    // Once the request ended or moved on, it waits for no lookup.
    if (lookup != m_lookup)
        return;
    m_lookup.reset();
    if (addresses.isEmpty()) {
        fail(Failure::Kind::transport, QStringLiteral("no address was found for ") + m_address.host());
        return;
    }
    m_addresses = addresses;
    connectNext();
}

void HttpGet::connectNext()
{
    dropSocket();
    m_connected = false;
    const QHostAddress address = m_addresses.takeFirst();
    QTcpSocket* socket = schemeOf(m_address) == u"https" ? new QSslSocket(this) : new QTcpSocket(this);
    m_socket = socket;
    // The socket stops taking from the connection while this much waits to be read: what a
    // server sends costs memory only as it is taken out here.
    socket->setReadBufferSize(readBufferBytes);
    connect(socket, &QTcpSocket::connected, this, [this] { m_connected = true; });
    if (auto* tls = qobject_cast<QSslSocket*>(socket))
        connect(tls, &QSslSocket::encrypted, this, &HttpGet::sendRequest);
    else
        connect(socket, &QTcpSocket::connected, this, &HttpGet::sendRequest);
    connect(socket, &QTcpSocket::readyRead, this, &HttpGet::readAvailable);
    connect(socket, &QTcpSocket::disconnected, this, &HttpGet::ended);
    connect(socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error == QAbstractSocket::RemoteHostClosedError)
            ended();
        else if (!m_connected && !m_addresses.isEmpty())
            connectNext(); // the host's next address
        else if (m_socket)
            fail(Failure::Kind::transport, m_socket->errorString());
    });
    const auto port = quint16(m_address.port(defaultPort(schemeOf(m_address))));
    // The certificate is checked against the host name, which goes to the server as well.
    if (auto* tls = qobject_cast<QSslSocket*>(socket))
        tls->connectToHostEncrypted(address.toString(), port, m_address.host());
    else
        socket->connectToHost(address, port);
}

void HttpGet::sendRequest()
{
    QList<Header> headers;
    const auto set = [&headers](const QByteArray& name, const QByteArray& value) {
        headers.removeIf([&](const Header& h) { return h.first.compare(name, Qt::CaseInsensitive) == 0; });
        headers.append({name, value});
    };
    const QString scheme = schemeOf(m_address);
    QByteArray host = m_address.host(QUrl::FullyEncoded).toLatin1();
    if (host.contains(':'))
        host = '[' + host + ']';
    if (const int port = m_address.port(); port >= 0 && port != defaultPort(scheme))
        host += ':' + QByteArray::number(port);
    set("Host", host);
    set("Connection", "close");
    // The body is taken as it comes: nothing here decodes a compressed one.
    set("Accept-Encoding", "identity");
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
    QByteArray head = "GET " + target + " HTTP/1.1\r\n";
    for (const auto& [name, value] : std::as_const(headers))
        head += name + ": " + value + "\r\n";
    m_socket->write(head + "\r\n");
}

void HttpGet::readAvailable()
{
    for (int round = 0; round < readsPerSignal; ++round) {
        if (done() || !m_socket || m_socket->bytesAvailable() <= 0)
            return;
        if (m_request.idleLimit.count() > 0)
            m_idle->start();
        take(m_socket->read(readBufferBytes));
    }
    // No signal comes for what is already there: the rest is read on the next turn.
    if (!done() && m_socket && m_socket->bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, &HttpGet::readAvailable, Qt::QueuedConnection);
}

void HttpGet::ended()
{
    if (done() || !m_socket)
        return;
    // What came before the end is still to be read.
    while (!done() && m_socket && m_socket->bytesAvailable() > 0)
        take(m_socket->read(readBufferBytes));
    if (done())
        return;
    if (m_stage == Stage::bodyToClose)
        finish();
    else
        fail(Failure::Kind::transport, QStringLiteral("the server closed the connection before the response was complete"));
}

void HttpGet::take(QByteArray bytes)
{
    while (!done() && !bytes.isEmpty()) {
        if (m_stage != Stage::head) {
            if (!takeBody(bytes))
                return;
            continue;
        }
        const qsizetype end = takeHeadLines(std::exchange(bytes, {}));
        if (end < 0)
            return;
        m_headBytes += end;
        bytes = m_pending.mid(end);
        const QByteArray head = m_pending.left(end);
        m_pending.clear();
        if (!takeHead(head))
            return;
    }
}

qsizetype HttpGet::takeHeadLines(const QByteArray& bytes)
{
    // A line end may have come in two pieces.
    const qsizetype from = std::max<qsizetype>(0, m_pending.size() - 2);
    m_pending += bytes;
    const qsizetype end = headEnd(m_pending, from);
    if (m_headBytes + (end < 0 ? m_pending.size() : end) > maxHeadBytes) {
        fail(Failure::Kind::headTooLarge, QStringLiteral("the server's headers are larger than 64 KB"));
        return -1;
    }
    return end;
}

bool HttpGet::takeHead(const QByteArray& head)
{
    QList<QByteArray> lines = head.split('\n');
    const std::optional<int> status = statusOf(withoutCarriageReturn(lines.takeFirst()));
    if (!status) {
        fail(Failure::Kind::malformed, QStringLiteral("the server did not answer in HTTP/1"));
        return false;
    }
    m_status = *status;
    const QList<Header> headers = headersOf(lines);
    if (m_status == 101) {
        fail(Failure::Kind::malformed, QStringLiteral("the server switched to another protocol"));
        return false;
    }
    // An interim answer: the real one follows, and its head counts on from this one.
    if (m_status >= 100 && m_status < 200)
        return true;
    const QList<QByteArray> location = valuesOf(headers, "location");
    if (isRedirect(m_status) && !location.isEmpty()) {
        const QUrl target = m_address.resolved(QUrl::fromEncoded(location.last()));
        if (const std::optional<QString> refused = follow(target))
            fail(Failure::Kind::redirect, *refused);
        return false;
    }
    // The body of an error or of an empty answer is nobody's value.
    if (m_status < 200 || m_status > 299 || m_status == 204) {
        finish();
        return false;
    }
    const QList<QByteArray> codings = valuesOf(headers, "transfer-encoding");
    if (!codings.isEmpty()) {
        // Chunked only as the last coding; anything else runs until the connection closes.
        m_stage = codings.last().split(',').last().trimmed().toLower() == "chunked" ? Stage::chunkSize
                                                                                     : Stage::bodyToClose;
        return true;
    }
    const std::optional<qint64> length = contentLength(headers);
    if (length && *length < 0) {
        fail(Failure::Kind::malformed, QStringLiteral("the server announced no valid length"));
        return false;
    }
    if (length && *length > m_request.maxBodyBytes) {
        fail(Failure::Kind::bodyTooLarge, QStringLiteral("the response is too large"));
        return false;
    }
    if (length && *length == 0) {
        finish();
        return false;
    }
    m_stage = length ? Stage::sizedBody : Stage::bodyToClose;
    m_left = length.value_or(0);
    return true;
}

bool HttpGet::takeBody(QByteArray& bytes)
{
    const auto tooLarge = [this](qint64 more) {
        if (m_body.size() + more <= m_request.maxBodyBytes)
            return false;
        fail(Failure::Kind::bodyTooLarge, QStringLiteral("the response is too large"));
        return true;
    };
    const auto takeData = [&] {
        const qsizetype n = qsizetype(std::min<qint64>(m_left, bytes.size()));
        m_body += bytes.left(n);
        bytes.remove(0, n);
        m_left -= n;
    };

    switch (m_stage) {
    case Stage::sizedBody:
        takeData();
        if (m_left == 0)
            finish();
        return !done();
    case Stage::bodyToClose:
        if (tooLarge(bytes.size()))
            return false;
        m_body += std::exchange(bytes, {});
        return true;
    case Stage::chunkSize: {
        const qsizetype newline = bytes.indexOf('\n');
        m_pending += bytes.left(newline < 0 ? bytes.size() : newline + 1);
        bytes.remove(0, newline < 0 ? bytes.size() : newline + 1);
        if (m_pending.size() > maxChunkLineBytes) {
            fail(Failure::Kind::malformed, QStringLiteral("the server sent a chunk size line without end"));
            return false;
        }
        if (newline < 0)
            return true;
        const QByteArray line = std::exchange(m_pending, {});
        const qsizetype extensions = line.indexOf(';');
        const QByteArray digits = (extensions < 0 ? line : line.left(extensions)).trimmed();
        bool ok = !digits.isEmpty() && digits.size() <= 15;
        const qint64 size = ok ? digits.toLongLong(&ok, 16) : 0;
        if (!ok || size < 0) {
            fail(Failure::Kind::malformed, QStringLiteral("the server sent a chunk without a valid size"));
            return false;
        }
        if (size == 0) {
            // The blank line after the trailers ends the body as a blank line ends a head.
            m_stage = Stage::trailers;
            m_pending = "\n";
            return true;
        }
        if (tooLarge(size))
            return false;
        m_left = size;
        m_stage = Stage::chunkData;
        return true;
    }
    case Stage::chunkData:
        takeData();
        if (m_left == 0)
            m_stage = Stage::chunkEnd;
        return true;
    case Stage::chunkEnd: {
        const char c = bytes.front();
        bytes.remove(0, 1);
        if (c == '\r' && m_pending.isEmpty()) {
            m_pending = "\r";
            return true;
        }
        m_pending.clear();
        if (c != '\n') {
            fail(Failure::Kind::malformed, QStringLiteral("the server sent a chunk longer than its size"));
            return false;
        }
        m_stage = Stage::chunkSize;
        return true;
    }
    case Stage::trailers:
        if (takeHeadLines(std::exchange(bytes, {})) >= 0)
            finish();
        return !done();
    case Stage::head:
    case Stage::done:
        break;
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
    connectTo(next);
    return std::nullopt;
}

void HttpGet::fail(Failure::Kind kind, const QString& message)
{
    finish(Failure{kind, message});
}

void HttpGet::finish(std::optional<Failure> failure)
{
    if (done())
        return;
    m_stage = Stage::done;
    Outcome outcome{std::move(failure), m_status, {}, m_redirectedTo};
    if (!outcome.failure)
        outcome.body = std::exchange(m_body, {});
    m_deadline->stop();
    m_idle->stop();
    dropLookup();
    dropSocket();
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

void HttpGet::dropSocket()
{
    if (!m_socket)
        return;
    QTcpSocket* socket = m_socket;
    m_socket.clear();
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

void HttpGet::dropLookup()
{
    const std::shared_ptr<Lookup> lookup = std::exchange(m_lookup, {});
    if (!lookup)
        return;
    // Once this returns, its thread hands nothing to this object.
    const std::lock_guard lock(lookup->mutex);
    lookup->waiting = nullptr;
}

#include "control/NotifyChannel.h"

#include <QJsonArray>
#include <QFile>
#include <QJsonDocument>
#include <QStandardPaths>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cmath>

namespace NotifyChannel {

QString socketPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Tarv/tarv.sock");
}

Request request(const QString& command, const QString& text, double seconds, const std::optional<QString>& name)
{
    Request out{{QStringLiteral("command"), command}, {QStringLiteral("text"), text}, {QStringLiteral("seconds"), seconds}};
    if (name)
        out.insert(QStringLiteral("name"), *name);
    return out;
}

Reply reply(bool ok, const std::optional<QString>& message)
{
    Reply out{{QStringLiteral("ok"), ok}};
    if (message)
        out.insert(QStringLiteral("message"), *message);
    return out;
}

QByteArray encodeLine(const QJsonObject& object)
{
    QByteArray line = QJsonDocument(object).toJson(QJsonDocument::Compact);
    if (line.isEmpty())
        line = QByteArrayLiteral("{}");
    line.append('\n');
    return line;
}

namespace {

std::optional<QJsonObject> objectOf(const QByteArray& line)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
}

// An optional key may be absent or null; present, it must have its type.
template <class Check>
bool optionalIs(const QJsonObject& object, const QString& key, Check check)
{
    const QJsonValue value = object.value(key);
    return value.isUndefined() || value.isNull() || check(value);
}

}  // namespace

std::optional<Request> decodeRequest(const QByteArray& line)
{
    std::optional<QJsonObject> object = objectOf(line);
    if (!object || !object->value(QStringLiteral("command")).isString() ||
        !object->value(QStringLiteral("text")).isString() || !object->value(QStringLiteral("seconds")).isDouble() ||
        !optionalIs(*object, QStringLiteral("name"), [](const QJsonValue& v) { return v.isString(); }))
        return std::nullopt;
    if (object->value(QStringLiteral("name")).isNull())
        object->remove(QStringLiteral("name"));
    return object;
}

std::optional<Reply> decodeReply(const QByteArray& line)
{
    const std::optional<QJsonObject> object = objectOf(line);
    if (!object || !object->value(QStringLiteral("ok")).isBool())
        return std::nullopt;
    const auto isString = [](const QJsonValue& v) { return v.isString(); };
    const auto isLines = [](const QJsonValue& v) {
        if (!v.isArray())
            return false;
        const QJsonArray array = v.toArray();
        return std::all_of(array.begin(), array.end(), [](const QJsonValue& line) { return line.isString(); });
    };
    if (!optionalIs(*object, QStringLiteral("message"), isString) ||
        !optionalIs(*object, QStringLiteral("path"), isString) || !optionalIs(*object, QStringLiteral("lines"), isLines))
        return std::nullopt;
    return object;
}

QString requestTooLongMessage()
{
    return QStringLiteral("the request is too long: Tarv reads at most %1 bytes per request; send a shorter text")
        .arg(maxRequestBytes);
}

QString requestTooSlowMessage(double seconds)
{
    return QStringLiteral("the request took too long: Tarv waits at most %1 s for a whole request")
        .arg(QString::number(seconds));
}

Deadline deadlineIn(double seconds)
{
    const double bounded = seconds > 0 ? std::min(seconds, 86400.0) : 0.0;
    return std::chrono::steady_clock::now() +
           std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(bounded));
}

namespace {

// Waits until the descriptor is ready for `events` or the deadline has passed; false (errno
// EAGAIN) when it passed first. Without a deadline the socket's own time-out applies.
bool waitFor(int fd, short events, const Deadline& deadline)
{
    if (!deadline)
        return true;
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            errno = EAGAIN;
            return false;
        }
        pollfd watched{fd, events, 0};
        const int ready = ::poll(&watched, 1, int(std::min<std::chrono::milliseconds::rep>(left.count(), 60'000)));
        if (ready > 0)
            return true;
        if (ready < 0 && errno != EINTR)
            return false;
    }
}

}  // namespace

std::optional<QByteArray> readLine(int fd, qsizetype maxBytes, Deadline deadline)
{
    QByteArray buffer;
    char chunk[1024];
    const auto tooLong = [] {
        errno = EMSGSIZE;
        return std::nullopt;
    };
    for (;;) {
        if (buffer.size() > maxBytes)
            return tooLong();
        if (!waitFor(fd, POLLIN, deadline))
            return std::nullopt;
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return std::nullopt;
        const char* end = static_cast<const char*>(std::memchr(chunk, '\n', size_t(n)));
        if (end) {
            buffer.append(chunk, end - chunk);
            // The limit holds for the line whose newline came in the same read as its end.
            if (buffer.size() > maxBytes)
                return tooLong();
            return buffer;
        }
        buffer.append(chunk, n);
    }
}

bool writeAll(const QByteArray& bytes, int fd, Deadline deadline)
{
    qsizetype written = 0;
    while (written < bytes.size()) {
        if (!waitFor(fd, POLLOUT, deadline))
            return false;
        const ssize_t n = ::send(fd, bytes.constData() + written, size_t(bytes.size() - written), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        written += n;
    }
    return true;
}

void configureSocket(int fd, double seconds)
{
    timeval interval{};
    const double whole = std::floor(seconds);
    interval.tv_sec = time_t(whole);
    interval.tv_usec = suseconds_t((seconds - whole) * 1'000'000);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &interval, sizeof interval);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &interval, sizeof interval);
}

std::optional<sockaddr_un> socketAddress(const QString& path)
{
    const QByteArray bytes = QFile::encodeName(path);
    if (bytes.size() > maxSocketPathBytes)
        return std::nullopt;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, bytes.constData(), size_t(bytes.size()));
    return address;
}

bool isSameUser(int fd)
{
    ucred peer{};
    socklen_t size = sizeof peer;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == ::geteuid();
}

int listenPrivately(const QString& path, int backlog, QString& error)
{
    const std::optional<sockaddr_un> address = socketAddress(path);
    if (!address) {
        error = QStringLiteral("the socket path is longer than a Unix socket allows: ") + path;
        return -1;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = qt_error_string(errno);
        return -1;
    }
    ::fchmod(fd, 0600);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0 || ::listen(fd, backlog) != 0) {
        error = qt_error_string(errno);
        ::close(fd);
        return -1;
    }
    ::chmod(QFile::encodeName(path).constData(), 0600);
    return fd;
}

}  // namespace NotifyChannel

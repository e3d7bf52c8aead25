#pragma once
// The command channel between the `tarv` tool and the application: where its socket lives,
// the shape of one request and its reply (JSON objects), and the line framing both ends use.
// One connection carries one request line and one reply line.

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <sys/un.h>

#include <chrono>
#include <optional>

namespace NotifyChannel {

// A decoded request holds "command" and "text" as strings, "seconds" as a number and, when
// given, "name" as a string; other keys are ignored.
using Request = QJsonObject;
// "ok" (bool), and optionally "message" and "path" (strings) and "lines" (strings).
using Reply = QJsonObject;

// The application refuses longer requests; the tool accepts long replies, because a long
// `screen check` or `screen list` answer is still an answer.
constexpr qsizetype maxRequestBytes = 16384;
constexpr qsizetype maxReplyBytes = 1 << 20;
// The longest socket path the tool and the application accept, in bytes.
constexpr qsizetype maxSocketPathBytes = 103;

// "tarv.sock" in the application folder (~/.local/share/Tarv).
QString socketPath();

Request request(const QString& command, const QString& text = {}, double seconds = 0,
                const std::optional<QString>& name = std::nullopt);
Reply reply(bool ok, const std::optional<QString>& message = std::nullopt);

// Compact JSON and one newline; "{}" and a newline if the object cannot be written.
QByteArray encodeLine(const QJsonObject& object);
std::optional<Request> decodeRequest(const QByteArray& line);
std::optional<Reply> decodeReply(const QByteArray& line);

// The time by which a whole read or write must be done; none leaves each step to the
// socket's own time-outs.
using Deadline = std::optional<std::chrono::steady_clock::time_point>;
// The deadline `seconds` from now, at most a day away; none past is already due.
Deadline deadlineIn(double seconds);

// The reply to a request line over maxRequestBytes: what the limit is.
QString requestTooLongMessage();
// The reply to a client whose request had not come whole within `seconds`.
QString requestTooSlowMessage(double seconds);

// Reads up to the first newline (which is not returned; bytes after it are dropped). None at
// the end of the stream, on an error (errno tells which: EAGAIN once the time-out or the
// deadline ran out) or once more than `maxBytes` came without a newline (errno EMSGSIZE).
std::optional<QByteArray> readLine(int fd, qsizetype maxBytes, Deadline deadline = std::nullopt);
// Writes every byte; a peer that has gone makes it fail instead of raising SIGPIPE.
bool writeAll(const QByteArray& bytes, int fd, Deadline deadline = std::nullopt);
// Receive and send time-outs of the connection, in seconds.
void configureSocket(int fd, double seconds);
// The address of a Unix socket at the path; none for a path longer than maxSocketPathBytes.
std::optional<sockaddr_un> socketAddress(const QString& path);
// Whether the peer of the connection runs as this process's user.
bool isSameUser(int fd);
// A non-blocking socket listening at the path, open to this user only: its mode is set before
// bind makes it a file, so it is never open to others. The path must be free. Below zero, with
// `error` saying why, when it cannot be made.
int listenPrivately(const QString& path, int backlog, QString& error);

}  // namespace NotifyChannel

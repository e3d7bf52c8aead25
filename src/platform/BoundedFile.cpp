#include "platform/BoundedFile.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace {

using Kind = BoundedReadFailure::Kind;

BoundedReadFailure systemFailure(int error)
{
    return {Kind::unreadable, qt_error_string(error)};
}

} // namespace

std::optional<QString> notARegularFile(unsigned mode)
{
    if (S_ISREG(mode))
        return std::nullopt;
    if (S_ISFIFO(mode))
        return QStringLiteral("it is a named pipe, not a regular file");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("it is a device, not a regular file");
    if (S_ISDIR(mode))
        return QStringLiteral("it is a folder, not a regular file");
    if (S_ISSOCK(mode))
        return QStringLiteral("it is a socket, not a regular file");
    return QStringLiteral("it is not a regular file");
}

std::optional<QByteArray> readRegularFile(const QString& path, qint64 maxBytes)
{
    std::variant<QByteArray, BoundedReadFailure> read = readBoundedFile(path, maxBytes);
    if (QByteArray* data = std::get_if<QByteArray>(&read))
        return std::move(*data);
    return std::nullopt;
}

std::variant<QByteArray, BoundedReadFailure> readBoundedFile(const QString& path, qint64 maxBytes)
{
    const QByteArray native = QFile::encodeName(path);
    // Opened without blocking, then checked on the descriptor itself, so a file swapped for a
    // FIFO between a check and the open is still refused.
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error != ENOENT)
            return systemFailure(error);
        // A link whose target is gone is there all the same.
        struct stat own {};
        if (::lstat(native.constData(), &own) == 0)
            return BoundedReadFailure{Kind::notRegular, QStringLiteral("it is a link to nothing")};
        return BoundedReadFailure{Kind::absent, {}};
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        return systemFailure(error);
    }
    if (const std::optional<QString> reason = notARegularFile(info.st_mode)) {
        ::close(fd);
        return BoundedReadFailure{Kind::notRegular, *reason};
    }
    // Worded only when it happens: most reads succeed.
    const auto tooLarge = [maxBytes] {
        return BoundedReadFailure{Kind::tooLarge, QStringLiteral("it is larger than %1 bytes").arg(maxBytes)};
    };
    if (info.st_size > maxBytes) {
        ::close(fd);
        return tooLarge();
    }
    QByteArray data;
    // Sized by what the file says, grown while it grows, never past the limit plus one byte.
    data.resize(qsizetype(info.st_size) + 1);
    qsizetype total = 0;
    for (;;) {
        if (total == data.size())
            data.resize(qsizetype(std::min<qint64>(maxBytes + 1, qint64(data.size()) * 2)));
        const ssize_t n = ::read(fd, data.data() + total, size_t(data.size() - total));
        if (n > 0) {
            total += n;
            // A file that grew past the limit while being read is refused too.
            if (total > maxBytes) {
                ::close(fd);
                return tooLarge();
            }
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            return systemFailure(error);
        }
        break;
    }
    ::close(fd);
    data.resize(total);
    return data;
}

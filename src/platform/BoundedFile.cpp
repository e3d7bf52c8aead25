#include "platform/BoundedFile.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

std::optional<QString> notARegularFile(unsigned mode)
{
    if (S_ISREG(mode))
        return std::nullopt;
    if (S_ISBLK(mode) || S_ISCHR(mode))
        return QStringLiteral("it is a device, not a regular file");
    if (S_ISFIFO(mode))
        return QStringLiteral("it is a named pipe, not a regular file");
    if (S_ISSOCK(mode))
        return QStringLiteral("it is a socket, not a regular file");
    return QStringLiteral("it is not a regular file");
}

std::optional<QByteArray> readRegularFile(const QString& path, qint64 maxBytes)
{
    // Opened without blocking, then checked on the descriptor itself, so a file swapped for a
    // FIFO between a check and the open is still refused.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || notARegularFile(info.st_mode) || info.st_size > maxBytes) {
        ::close(fd);
        return std::nullopt;
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
                return std::nullopt;
            }
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            return std::nullopt;
        }
        break;
    }
    ::close(fd);
    data.resize(total);
    return data;
}

#include "platform/PictureDecoderMessages.h"

#include <cerrno>
#include <cstring>
#include <limits>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

namespace PictureDecoderMessages {

namespace {

constexpr unsigned seals = F_SEAL_SEAL | F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE;

struct Mapping {
    void* address;
    size_t size;
};

void unmap(void* mapping)
{
    auto* m = static_cast<Mapping*>(mapping);
    ::munmap(m->address, m->size);
    delete m;
}

}  // namespace

bool send(int socket, const void* head, std::size_t headSize, QByteArrayView inlineBytes, int fd)
{
    iovec parts[2] = {{const_cast<void*>(head), headSize},
                      {const_cast<char*>(inlineBytes.data()), size_t(inlineBytes.size())}};
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = inlineBytes.isEmpty() ? 1 : 2;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    if (fd >= 0) {
        message.msg_control = control;
        message.msg_controllen = sizeof(control);
        cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_SOCKET;
        header->cmsg_type = SCM_RIGHTS;
        header->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(header), &fd, sizeof(int));
    }
    ssize_t sent;
    do {
        sent = ::sendmsg(socket, &message, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return sent == ssize_t(headSize + size_t(inlineBytes.size()));
}

std::optional<Received> receive(int socket, qsizetype maxSize)
{
    Received received;
    received.bytes.resize(maxSize + 1);
    iovec part{received.bytes.data(), size_t(received.bytes.size())};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(4 * sizeof(int))] = {};
    message.msg_control = control;
    message.msg_controllen = sizeof(control);
    ssize_t got;
    do {
        got = ::recvmsg(socket, &message, MSG_CMSG_CLOEXEC);
    } while (got < 0 && errno == EINTR);
    int fds = 0;
    for (cmsghdr* header = got >= 0 ? CMSG_FIRSTHDR(&message) : nullptr; header;
         header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level != SOL_SOCKET || header->cmsg_type != SCM_RIGHTS)
            continue;
        const size_t count = (header->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (size_t i = 0; i < count; ++i) {
            int fd = -1;
            std::memcpy(&fd, CMSG_DATA(header) + i * sizeof(int), sizeof(int));
            if (fds++ == 0) {
                received.fd = fd;
            } else {
                ::close(fd);
            }
        }
    }
    const bool whole = got > 0 && got <= maxSize && !(message.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) && fds <= 1;
    if (!whole) {
        if (received.fd >= 0)
            ::close(received.fd);
        return std::nullopt;
    }
    received.bytes.truncate(got);
    return received;
}

int writableMemfd(qint64 size, void** pixels)
{
    if (size <= 0 || quint64(size) > std::numeric_limits<size_t>::max())
        return -1;
    const int fd = ::memfd_create("tarv-picture", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0)
        return -1;
    if (::ftruncate(fd, off_t(size)) != 0) {
        ::close(fd);
        return -1;
    }
    // Its pages are all written next: made at once rather than one fault at a time.
    void* mapping = ::mmap(nullptr, size_t(size), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, fd, 0);
    if (mapping == MAP_FAILED) {
        ::close(fd);
        return -1;
    }
    *pixels = mapping;
    return fd;
}

bool seal(int fd)
{
    return ::fcntl(fd, F_ADD_SEALS, seals) == 0;
}

int sealedCopy(QByteArrayView bytes)
{
    void* mapping = nullptr;
    const int fd = writableMemfd(bytes.size(), &mapping);
    if (fd < 0)
        return -1;
    std::memcpy(mapping, bytes.data(), size_t(bytes.size()));
    ::munmap(mapping, size_t(bytes.size()));
    if (!seal(fd)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool isSealed(int fd, qint64 size)
{
    struct stat status {};
    const int have = ::fcntl(fd, F_GET_SEALS);
    return have >= 0 && (unsigned(have) & seals) == seals && ::fstat(fd, &status) == 0 && status.st_size >= size;
}

std::optional<QImage> mappedImage(const Reply& reply, int fd)
{
    const auto refuse = [fd]() -> std::optional<QImage> {
        ::close(fd);
        return std::nullopt;
    };
    if (reply.status != Status::decoded || reply.width < 1 || reply.height < 1 || reply.bytesPerLine < 1 ||
        reply.bytesPerLine % 4 != 0 || reply.format >= QImage::NImageFormats)
        return refuse();
    const auto format = QImage::Format(reply.format);
    // A colour table does not travel: such pictures come converted.
    if (format == QImage::Format_Invalid || format == QImage::Format_Mono || format == QImage::Format_MonoLSB ||
        format == QImage::Format_Indexed8)
        return refuse();
    const qint64 lineBits = qint64(reply.width) * QImage::toPixelFormat(format).bitsPerPixel();
    if (qint64(reply.bytesPerLine) * 8 < lineBits)
        return refuse();
    const qint64 size = qint64(reply.bytesPerLine) * reply.height;
    if (!isSealed(fd, size))
        return refuse();
    // Every pixel is read: mapped at once rather than one fault at a time.
    void* address = ::mmap(nullptr, size_t(size), PROT_READ, MAP_SHARED | MAP_POPULATE, fd, 0);
    ::close(fd);
    if (address == MAP_FAILED)
        return std::nullopt;
    auto* mapping = new Mapping{address, size_t(size)};
    QImage image(static_cast<const uchar*>(address), reply.width, reply.height, reply.bytesPerLine, format, unmap,
                 mapping);
    if (image.isNull()) {
        unmap(mapping);
        return std::nullopt;
    }
    return image;
}

}  // namespace PictureDecoderMessages

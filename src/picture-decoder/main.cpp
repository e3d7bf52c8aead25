// tarv-picture-decoder: decodes the pictures Tarv is handed from outside, one at a time, under
// limits, so that a reader's fault or a picture built to exhaust it costs this process and
// never Tarv. Tarv starts it with a SOCK_SEQPACKET socket as its standard input and kills it
// when a picture takes too long; what is said over the socket is PictureDecoderMessages.h.

#include "picture-decoder/DecoderLimits.h"
#include "picture-decoder/PictureDecode.h"
#include "platform/PictureDecoderMessages.h"

#include <QByteArray>
#include <QtGlobal>

#include <cstdio>
#include <cstring>

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

using namespace PictureDecoderMessages;

constexpr int socketFd = STDIN_FILENO;

// The picture's bytes: inline after the request's head, or in the sealed memfd sent with it.
// `mapping` keeps the memfd's bytes mapped while they are decoded.
bool pictureBytes(const Received& received, const Request& request, QByteArray& bytes, void** mapping)
{
    const qsizetype head = sizeof(Request);
    if (received.fd < 0) {
        if (request.byteCount != received.bytes.size() - head)
            return false;
        bytes = received.bytes.sliced(head);
        return true;
    }
    if (received.bytes.size() != head || request.byteCount <= 0 || !isSealed(received.fd, request.byteCount))
        return false;
    void* address = ::mmap(nullptr, size_t(request.byteCount), PROT_READ, MAP_PRIVATE, received.fd, 0);
    if (address == MAP_FAILED)
        return false;
    *mapping = address;
    bytes = QByteArray::fromRawData(static_cast<const char*>(address), qsizetype(request.byteCount));
    return true;
}

bool reply(const PictureDecode::Outcome& outcome)
{
    Reply answer;
    answer.status = outcome.status;
    if (outcome.status != Status::decoded)
        return send(socketFd, &answer, sizeof(answer));
    const QImage& image = outcome.image;
    void* pixels = nullptr;
    const qint64 size = image.sizeInBytes();
    const int fd = writableMemfd(size, &pixels);
    if (fd < 0) {
        answer.status = Status::tooLarge;
        return send(socketFd, &answer, sizeof(answer));
    }
    std::memcpy(pixels, image.constBits(), size_t(size));
    ::munmap(pixels, size_t(size));
    if (!seal(fd)) {
        ::close(fd);
        answer.status = Status::failed;
        return send(socketFd, &answer, sizeof(answer));
    }
    answer.width = image.width();
    answer.height = image.height();
    answer.bytesPerLine = int(image.bytesPerLine());
    answer.format = std::uint32_t(image.format());
    const bool sent = send(socketFd, &answer, sizeof(answer), {}, fd);
    ::close(fd);
    return sent;
}

}  // namespace

int main()
{
    // One arena: every thread's own would reserve address space the limit counts.
    ::mallopt(M_ARENA_MAX, 1);
    // A damaged picture is expected here: the readers' words about it go nowhere, but say
    // whether memory ran out.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& message) {
        PictureDecode::noteMessage(message);
    });
    PictureDecode::loadReaders();
    const std::int64_t own = DecoderLimits::addressSpaceInUse();
    if (own < 0 || !DecoderLimits::lockDown(own + maxMemoryBytes)) {
        std::fputs("tarv-picture-decoder: cannot limit itself; it decodes nothing\n", stderr);
        return 1;
    }
    for (;;) {
        const std::optional<Received> received = receive(socketFd, sizeof(Request) + maxInlineBytes);
        if (!received)
            return 0;
        Request request;
        if (received->bytes.size() < qsizetype(sizeof(Request))) {
            if (received->fd >= 0)
                ::close(received->fd);
            return 1;
        }
        std::memcpy(&request, received->bytes.constData(), sizeof(Request));
        QByteArray bytes;
        void* mapping = nullptr;
        const bool readable = request.version == version && pictureBytes(*received, request, bytes, &mapping);
        if (received->fd >= 0)
            ::close(received->fd);
        PictureDecode::Outcome outcome;
        if (readable && request.memoryBytes > 0 &&
            DecoderLimits::limitAddressSpace(own + std::min(request.memoryBytes, maxMemoryBytes)))
            outcome = PictureDecode::decode(request, bytes);
        bytes = QByteArray();
        if (mapping)
            ::munmap(mapping, size_t(request.byteCount));
        // The pixels' memfd counts against the picture's address space too.
        if (!reply(outcome))
            return 1;
        outcome = {};
        DecoderLimits::limitAddressSpace(own + maxMemoryBytes);
    }
}

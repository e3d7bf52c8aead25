#pragma once
// What Tarv and its picture decoder process (tarv-picture-decoder) say to each other, one
// message each way per picture, over a SOCK_SEQPACKET socket that is the decoder's standard
// input. The picture's bytes go in the request itself when they are few, else in a sealed
// memfd passed with it; the pixels come back in a sealed memfd, never through the socket.
// Both sides check every message they receive: neither trusts the other's sizes.

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>

#include <cstdint>
#include <optional>

namespace PictureDecoderMessages {

// Raised whenever a message's layout changes: a decoder of another build refuses the request.
inline constexpr std::uint32_t version = 1;
// Bytes of a picture that travel inside the request rather than in a memfd.
inline constexpr qsizetype maxInlineBytes = 32 * 1024;
// The most address space a decoder takes for one picture, on top of its own.
inline constexpr std::int64_t maxMemoryBytes = std::int64_t(4) << 30;

struct Request {
    std::uint32_t version = PictureDecoderMessages::version;
    // OutsideImages::Format
    std::uint32_t format = 0;
    // The picture comes back with its longer side at most this.
    std::int32_t maxSide = 0;
    // 1: turned as it is marked.
    std::uint32_t upright = 0;
    // A header that claims more is refused before anything is decoded.
    std::int64_t maxStoredPixels = 0;
    // The address space the decoder may take for this picture on top of its own.
    std::int64_t memoryBytes = 0;
    // The picture's bytes, inline after this head or in the memfd passed with it.
    std::int64_t byteCount = 0;
};

enum class Status : std::uint32_t {
    decoded = 1,
    // Past the pixels or the memory it was given.
    tooLarge = 2,
    // Damaged, not the format it was said to be, or refused by its reader.
    failed = 3,
};

struct Reply {
    Status status = Status::failed;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t bytesPerLine = 0;
    // QImage::Format, never one with a colour table.
    std::uint32_t format = 0;
};

// Sends `head` followed by `inlineBytes` as one message, with `fd` attached unless it is -1.
// False, with errno, when it could not be sent whole.
bool send(int socket, const void* head, std::size_t headSize, QByteArrayView inlineBytes = {}, int fd = -1);

struct Received {
    QByteArray bytes;
    // The descriptor that came with it (close-on-exec), or -1. Owned by the receiver.
    int fd = -1;
};
// The next message, of at most maxSize bytes; none at the socket's end, on an error, or for a
// longer message. More than one descriptor is closed and counts as none.
std::optional<Received> receive(int socket, qsizetype maxSize);

// A memfd holding `bytes`, sealed against any change; -1 when it could not be made.
int sealedCopy(QByteArrayView bytes);
// A new memfd of `size` bytes mapped writable at `*pixels`; -1 when it could not be made.
int writableMemfd(qint64 size, void** pixels);
// Seals a memfd made by writableMemfd() once its mapping is gone: it can no longer change.
bool seal(int fd);
// Whether `fd` is a memfd of at least `size` bytes that nobody can change any more.
bool isSealed(int fd, qint64 size);

// The picture the decoder put in the sealed memfd `fd`, mapped read-only and unmapped when the
// image and its copies are gone; none when the reply does not describe what the memfd holds.
// Takes `fd` over.
std::optional<QImage> mappedImage(const Reply& reply, int fd);

}  // namespace PictureDecoderMessages

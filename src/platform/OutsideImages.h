#pragma once
// Pictures from outside Tarv (a player's artwork, photos the user imports, the sprite sheets
// of a screen file, icons that desktop entries name) are decoded here and nowhere else. Only
// the raster formats named below are read, told apart by their first bytes and never by a file
// name. Tarv itself only tells the format and says how large the picture may be and come
// back; the decoding runs in a decoder process under limits (PictureDecoders.h), so that a
// reader's fault, or a picture built to exhaust one, costs that process and never Tarv.
// Vector pictures are refused: what drawing one costs follows from what it says, which its
// size does not bound, and it may name files of its own.

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>

#include <atomic>
#include <chrono>
#include <optional>

namespace OutsideImages {

enum class Format { png, jpeg, webp, gif, bmp, heif };

struct Limits {
    // The decoded picture's longer side at most: a larger one is scaled down, while it is
    // decoded where its format allows. A shape whose shorter side would then fall below a
    // pixel is refused.
    int maxSide = 2048;
    // The pixels its header may claim, checked before anything is decoded; the memory the
    // decoder may take for the picture follows from them.
    qint64 maxStoredPixels = qint64(8192) * 8192;
    // HEIF and HEIC, which come from phones' cameras.
    bool heif = false;
    // The orientation the picture is marked with applied, so that it comes out upright.
    bool upright = false;
    // Past this, its decoder is killed and the picture is missing.
    std::chrono::milliseconds deadline{3000};
};

// The format whose signature the bytes start with, among those read here.
std::optional<Format> formatOf(QByteArrayView bytes);

// The size that brings `size` within `maxSide` on its longer side, its shape kept; none
// when its shorter side would then fall below a pixel.
std::optional<QSize> fittedSize(const QSize& size, int maxSide);
// Whether a picture of `size` has pixels, and at most `maxPixels` of them.
bool withinPixels(const QSize& size, qint64 maxPixels);

// The address space a decoder may take for a picture of `fileBytes` under `limits`.
qint64 decoderMemory(const Limits& limits, qint64 fileBytes);

// None for anything that is not a picture in an accepted format, or is past the limits, or
// cannot be decoded within them; each such picture but those refused by their first bytes is
// logged once, with the reason. Once `stop` is set (from any thread), none is returned, and a
// decode under way is ended at once.
std::optional<QImage> decode(const QByteArray& bytes, const Limits& limits, const std::atomic<bool>* stop = nullptr);

}  // namespace OutsideImages

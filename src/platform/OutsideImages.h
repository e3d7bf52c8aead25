#pragma once
// Pictures from outside Tarv (a player's artwork, photos the user imports, the sprite sheets
// of a screen file) are decoded here and nowhere else. Only the raster formats named below are
// read, told apart by their first bytes and never by a file name. What a picture claims is
// checked before anything is decoded, and it is decoded no larger than its caller shows it.
// Vector pictures are refused: what drawing one costs follows from what it says, which its
// size does not bound, and it may name files of its own.

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>

#include <atomic>
#include <optional>

namespace OutsideImages {

enum class Format { png, jpeg, webp, gif, bmp, heif };

struct Limits {
    // The decoded picture's longer side at most: a larger one is scaled down, while it is
    // decoded where its format allows. A shape whose shorter side would then fall below a
    // pixel is refused.
    int maxSide = 2048;
    // The pixels its header may claim, checked before anything is decoded: the time a
    // decode takes, and what the decoder holds besides the picture, follow them.
    qint64 maxStoredPixels = qint64(8192) * 8192;
    // HEIF and HEIC, which come from phones' cameras.
    bool heif = false;
    // The orientation the picture is marked with applied, so that it comes out upright.
    bool upright = false;
};

// The format whose signature the bytes start with, among those read here.
std::optional<Format> formatOf(QByteArrayView bytes);

// The size that brings `size` within `maxSide` on its longer side, its shape kept; none
// when its shorter side would then fall below a pixel.
std::optional<QSize> fittedSize(const QSize& size, int maxSide);

// None for anything that is not a picture in an accepted format, or is past the limits,
// or cannot be decoded. Only the parts of the file that make its pixels reach the reader
// (PictureParts.h). QImageReader's allocation limit, one for the whole process, holds
// for the decoded picture, and for the coefficients libjpeg keeps of a JPEG it cannot
// decode row by row. Once `stop` is set (from any thread), none is returned, and a reader
// not yet started is not started; one under way reads to its end, which the limits bound.
std::optional<QImage> decode(const QByteArray& bytes, const Limits& limits, const std::atomic<bool>* stop = nullptr);

}  // namespace OutsideImages

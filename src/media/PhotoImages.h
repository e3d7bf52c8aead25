#pragma once
// The image work behind the screensaver photos: turning and mirroring, the 480 x 320 RGB565
// device frame, JPEG encoding, decoding with the stored orientation and a size limit, and
// the preview of a stored frame. All are pure functions, safe on any thread.

#include "media/PhotoAdjustment.h"

#include <QByteArray>
#include <QImage>
#include <QStringList>

#include <chrono>
#include <optional>

namespace PhotoImages {

inline constexpr int frameWidth = 480;
inline constexpr int frameHeight = 320;
inline constexpr qsizetype frameBytes = qsizetype(frameWidth) * frameHeight * 2;
// More than any camera or phone takes; a picture that claims more is not decoded at all.
inline constexpr qint64 maxStoredPixels = qint64(256) * 1000 * 1000;
// A photo takes its decoder longer than any other picture: the largest camera photos decode
// in a few seconds. Past this, it is left out.
inline constexpr std::chrono::milliseconds photoDecodeDeadline{10000};

// Turned clockwise by quarterTurns (two lowest bits), then mirrored left-right. No turn and
// no mirror returns the picture itself.
std::optional<QImage> orientedImage(const QImage& image, int quarterTurns, bool mirrored);
// The 307,200-byte frame: oriented, cropped to 3:2, stretched to 480 x 320 and packed to
// little-endian RGB565 by truncation. Transparent parts come out black.
std::optional<QByteArray> renderPhotoFrame(const QImage& image, const PhotoAdjustment& adjustment);
// The picture as JPEG at a quality of 0...1.
std::optional<QByteArray> encodeJPEG(const QImage& image, double quality);
// The encoded picture (PNG, JPEG, WebP, GIF, BMP, HEIC or HEIF) decoded upright, its
// orientation marker applied, with its longer side at most maxPixelSize.
std::optional<QImage> downsampledImage(const QByteArray& data, int maxPixelSize);
// The file name patterns of every picture downsampledImage reads, for a file chooser.
QStringList readablePatterns();
// A stored frame widened back to 8 bits per channel by shifting; none unless the size fits.
std::optional<QImage> rgb565PreviewImage(const QByteArray& frame, int width, int height);
// A stored 480 x 320 frame smoothly scaled down to `size`, kept in RGB565 as small as it is
// drawn; none unless the frame has the frame's size.
std::optional<QImage> frameThumbnail(const QByteArray& frame, const QSize& size);

// One RGB565 value, the channels truncated.
inline quint16 packRGB565(int r, int g, int b)
{
    return quint16(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}

}  // namespace PhotoImages

#include "media/PhotoImages.h"

#include "platform/OutsideImages.h"

#include <QBuffer>
#include <QImageWriter>
#include <QTransform>

#include <algorithm>
#include <cmath>

namespace PhotoImages {

std::optional<QImage> orientedImage(const QImage& image, int quarterTurns, bool mirrored)
{
    const int turns = quarterTurns & 3;
    if (turns == 0 && !mirrored)
        return image;
    if (image.isNull())
        return std::nullopt;
    QImage result = image;
    // Qt's y axis points down, so a positive angle turns clockwise as seen on screen.
    if (turns != 0)
        result = result.transformed(QTransform().rotate(90.0 * turns));
    if (mirrored)
        result = result.transformed(QTransform().scale(-1, 1));
    if (result.isNull())
        return std::nullopt;
    return result;
}

std::optional<QByteArray> renderPhotoFrame(const QImage& image, const PhotoAdjustment& adjustment)
{
    const std::optional<QImage> oriented = orientedImage(image, adjustment.quarterTurns, adjustment.mirrored);
    if (!oriented || oriented->isNull())
        return std::nullopt;
    const int width = oriented->width();
    const int height = oriented->height();
    const PhotoAdjustment::Rect crop = adjustment.cropRect(width, height, double(frameWidth) / frameHeight);
    // Widened outward to whole pixels, so no part of the chosen crop is lost to rounding.
    const int left = std::max(0, int(std::floor(crop.x)));
    const int top = std::max(0, int(std::floor(crop.y)));
    const int right = std::min(width, int(std::ceil(crop.x + crop.w)));
    const int bottom = std::min(height, int(std::ceil(crop.y + crop.h)));
    if (right <= left || bottom <= top)
        return std::nullopt;
    // An opaque picture of 32-bit pixels (every JPEG) is scaled from where the crop lies in
    // it, without a copy. Others are cut out and premultiplied, which makes transparent parts
    // black without a separate composite.
    QImage cut;
    if (oriented->format() == QImage::Format_RGB32)
        cut = QImage(oriented->constScanLine(top) + qsizetype(left) * 4, right - left, bottom - top,
                     oriented->bytesPerLine(), QImage::Format_RGB32);
    else
        cut = oriented->copy(left, top, right - left, bottom - top)
                  .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (cut.isNull())
        return std::nullopt;
    const QImage scaled = cut.scaled(frameWidth, frameHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (scaled.width() != frameWidth || scaled.height() != frameHeight)
        return std::nullopt;
    QByteArray frame(frameBytes, Qt::Uninitialized);
    auto* out = reinterpret_cast<uchar*>(frame.data());
    for (int y = 0; y < frameHeight; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(scaled.constScanLine(y));
        for (int x = 0; x < frameWidth; ++x) {
            const quint16 value = packRGB565(qRed(row[x]), qGreen(row[x]), qBlue(row[x]));
            *out++ = uchar(value & 0xFF);
            *out++ = uchar(value >> 8);
        }
    }
    return frame;
}

std::optional<QByteArray> encodeJPEG(const QImage& image, double quality)
{
    if (image.isNull())
        return std::nullopt;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly))
        return std::nullopt;
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(int(std::lround(std::clamp(quality, 0.0, 1.0) * 100)));
    // JPEG has no alpha: transparent parts are laid on black as the frame renders them.
    const QImage opaque = image.hasAlphaChannel()
                              ? image.convertToFormat(QImage::Format_ARGB32_Premultiplied).convertToFormat(QImage::Format_RGB32)
                              : image;
    if (!writer.write(opaque))
        return std::nullopt;
    return bytes;
}

std::optional<QImage> downsampledImage(const QByteArray& data, int maxPixelSize)
{
    OutsideImages::Limits limits;
    limits.maxSide = maxPixelSize;
    limits.maxStoredPixels = maxStoredPixels;
    limits.heif = true;
    limits.upright = true;
    limits.deadline = photoDecodeDeadline;
    return OutsideImages::decode(data, limits);
}

QStringList readablePatterns()
{
    return {QStringLiteral("*.png"),  QStringLiteral("*.jpg"),  QStringLiteral("*.jpeg"), QStringLiteral("*.jpe"),
            QStringLiteral("*.webp"), QStringLiteral("*.gif"),  QStringLiteral("*.bmp"),  QStringLiteral("*.dib"),
            QStringLiteral("*.heic"), QStringLiteral("*.heif"), QStringLiteral("*.hif")};
}

std::optional<QImage> rgb565PreviewImage(const QByteArray& frame, int width, int height)
{
    if (width < 1 || height < 1 || frame.size() != qsizetype(width) * height * 2)
        return std::nullopt;
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull())
        return std::nullopt;
    const auto* in = reinterpret_cast<const uchar*>(frame.constData());
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const quint16 p = quint16(in[0] | (in[1] << 8));
            in += 2;
            row[x] = qRgb(((p >> 11) & 31) << 3, ((p >> 5) & 63) << 2, (p & 31) << 3);
        }
    }
    return image;
}

std::optional<QImage> frameThumbnail(const QByteArray& frame, const QSize& size)
{
    if (frame.size() != frameBytes || size.isEmpty() || size.width() > frameWidth || size.height() > frameHeight)
        return std::nullopt;
    QImage full;
    if constexpr (Q_BYTE_ORDER == Q_LITTLE_ENDIAN) {
        // The frame's little-endian pixels are this machine's RGB16 as they are: no copy.
        full = QImage(reinterpret_cast<const uchar*>(frame.constData()), frameWidth, frameHeight, frameWidth * 2,
                      QImage::Format_RGB16);
    } else if (std::optional<QImage> preview = rgb565PreviewImage(frame, frameWidth, frameHeight)) {
        full = *preview;
    }
    if (full.isNull())
        return std::nullopt;
    QImage small = full.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).convertToFormat(QImage::Format_RGB16);
    if (small.isNull())
        return std::nullopt;
    return small;
}

}  // namespace PhotoImages

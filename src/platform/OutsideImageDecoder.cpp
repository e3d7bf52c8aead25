#include "platform/OutsideImageDecoder.h"

#include "platform/HeifImages.h"

#include <QBuffer>
#include <QImageReader>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const char* readerFormat(OutsideImageDecoder::Format format)
{
    switch (format) {
    case OutsideImageDecoder::Format::png:
        return "png";
    case OutsideImageDecoder::Format::jpeg:
        return "jpeg";
    case OutsideImageDecoder::Format::webp:
        return "webp";
    case OutsideImageDecoder::Format::gif:
        return "gif";
    case OutsideImageDecoder::Format::bmp:
        return "bmp";
    case OutsideImageDecoder::Format::heif:
        break;
    }
    return nullptr;
}

bool withinPixels(const QSize& size, qint64 maxPixels)
{
    return size.width() > 0 && size.height() > 0 && qint64(size.width()) * size.height() <= maxPixels;
}

}  // namespace

std::optional<QSize> OutsideImageDecoder::fittedSize(const QSize& size, int maxSide)
{
    if (size.width() <= 0 || size.height() <= 0 || maxSide < 1)
        return std::nullopt;
    const int longer = std::max(size.width(), size.height());
    if (longer <= maxSide)
        return size;
    const double scale = double(maxSide) / longer;
    const int w = std::min(maxSide, int(std::lround(size.width() * scale)));
    const int h = std::min(maxSide, int(std::lround(size.height() * scale)));
    if (w < 1 || h < 1)
        return std::nullopt;
    return QSize(w, h);
}

std::optional<OutsideImageDecoder::Format> OutsideImageDecoder::formatOf(QByteArrayView bytes)
{
    if (bytes.startsWith(QByteArrayView("\x89PNG\r\n\x1a\n")))
        return Format::png;
    if (bytes.startsWith(QByteArrayView("\xFF\xD8\xFF")))
        return Format::jpeg;
    if (bytes.startsWith(QByteArrayView("GIF87a")) || bytes.startsWith(QByteArrayView("GIF89a")))
        return Format::gif;
    if (bytes.size() >= 12 && bytes.startsWith(QByteArrayView("RIFF")) && bytes.sliced(8, 4) == QByteArrayView("WEBP"))
        return Format::webp;
    if (bytes.startsWith(QByteArrayView("BM")))
        return Format::bmp;
    if (HeifImages::isHeif(bytes))
        return Format::heif;
    return std::nullopt;
}

std::optional<QImage> OutsideImageDecoder::decode(const QByteArray& bytes, const Limits& limits)
{
    const std::optional<Format> format = formatOf(bytes);
    if (!format || (*format == Format::heif && !limits.heif))
        return std::nullopt;

    if (*format == Format::heif) {
        // libheif decodes the whole picture, turned as it is marked: it is scaled afterwards.
        const int megabytes = QImageReader::allocationLimit();
        const qint64 maxBytes = std::min(megabytes > 0 ? qint64(megabytes) * 1024 * 1024 : std::numeric_limits<qint64>::max(),
                                         limits.maxStoredPixels * 4);
        std::optional<QImage> image = HeifImages::decodedImage(bytes, maxBytes);
        if (!image)
            return std::nullopt;
        const std::optional<QSize> fitted = fittedSize(image->size(), limits.maxSide);
        if (!fitted)
            return std::nullopt;
        if (*fitted == image->size())
            return image;
        QImage scaled = image->scaled(*fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (scaled.isNull())
            return std::nullopt;
        return scaled;
    }

    QBuffer buffer;
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        return std::nullopt;
    // Only the handler of the format the bytes announce ever sees them.
    QImageReader reader(&buffer, readerFormat(*format));
    reader.setAutoDetectImageFormat(false);
    reader.setAutoTransform(limits.upright);
    // The stored size is the one before any turn; a turn keeps the longer side, so the limit
    // holds for the turned picture as well.
    const QSize stored = reader.size();
    if (!withinPixels(stored, limits.maxStoredPixels))
        return std::nullopt;
    const std::optional<QSize> fitted = fittedSize(stored, limits.maxSide);
    if (!fitted)
        return std::nullopt;
    // A format that cannot decode at a smaller size is scaled by the reader once it is read.
    if (*fitted != stored)
        reader.setScaledSize(*fitted);
    // The reader decodes into the pixels of the last picture when they have this picture's
    // size and format and nothing else holds them. Otherwise they are let go first, so that
    // two pictures are never held at once.
    if (*fitted != stored || m_pixels.size() != stored || m_pixels.format() != reader.imageFormat() ||
        !m_pixels.isDetached())
        m_pixels = QImage();
    if (!reader.read(&m_pixels))
        return std::nullopt;
    return m_pixels;
}

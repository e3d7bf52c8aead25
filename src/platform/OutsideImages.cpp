#include "platform/OutsideImages.h"

#include "platform/HeifImages.h"
#include "platform/PictureParts.h"

#include <QBuffer>
#include <QImageReader>

#include <algorithm>
#include <cmath>
#include <limits>

namespace OutsideImages {

namespace {

const char* readerFormat(Format format)
{
    switch (format) {
    case Format::png:
        return "png";
    case Format::jpeg:
        return "jpeg";
    case Format::webp:
        return "webp";
    case Format::gif:
        return "gif";
    case Format::bmp:
        return "bmp";
    case Format::heif:
        break;
    }
    return nullptr;
}

bool withinPixels(const QSize& size, qint64 maxPixels)
{
    return size.width() > 0 && size.height() > 0 && qint64(size.width()) * size.height() <= maxPixels;
}

// What the reader may allocate for one picture, which the decoders' own buffers keep within too.
qint64 allocationLimitBytes()
{
    const int megabytes = QImageReader::allocationLimit();
    return megabytes > 0 ? qint64(megabytes) * 1024 * 1024 : std::numeric_limits<qint64>::max();
}

}  // namespace

std::optional<QSize> fittedSize(const QSize& size, int maxSide)
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

std::optional<Format> formatOf(QByteArrayView bytes)
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

std::optional<QImage> decode(const QByteArray& bytes, const Limits& limits, const std::atomic<bool>* stop)
{
    const std::optional<Format> format = formatOf(bytes);
    if (!format || (*format == Format::heif && !limits.heif))
        return std::nullopt;

    if (*format == Format::heif) {
        // libheif decodes the whole picture, turned as it is marked: it is scaled afterwards.
        std::optional<QImage> image =
            HeifImages::decodedImage(bytes, std::min(allocationLimitBytes(), limits.maxStoredPixels * 4));
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

    // Only what makes the pixels reaches the reader, and what its decoder holds besides the
    // picture stays within the allocation limit as well.
    const std::optional<Parts> parts = pictureParts(bytes, *format, limits.maxStoredPixels);
    if (!parts || parts->heldBytes > allocationLimitBytes())
        return std::nullopt;

    // Walking the parts takes a while for a large picture: a decode no longer wanted ends here.
    if (stop && stop->load())
        return std::nullopt;
    QBuffer buffer;
    buffer.setData(parts->bytes);
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
    QImage image;
    if (!reader.read(&image) || (stop && stop->load()))
        return std::nullopt;
    // A reader may hand back more than the header it was asked about: a GIF reports its first
    // frame and draws it on the larger screen it names.
    if (std::max(image.width(), image.height()) > limits.maxSide || !withinPixels(image.size(), limits.maxStoredPixels))
        return std::nullopt;
    return image;
}

}  // namespace OutsideImages

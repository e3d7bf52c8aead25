#include "platform/OutsideImages.h"

#include "platform/HeifImages.h"
#include "platform/PictureParts.h"

#include <QBuffer>
#include <QImageReader>
#include <QList>

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

int byteAt(QByteArrayView bytes, qsizetype at)
{
    return uchar(bytes[at]);
}

// The memory libjpeg holds besides the picture: none for a JPEG it decodes row by row, and
// every coefficient of the whole picture, two bytes each, for one whose first scan does not
// complete its rows (a progressive JPEG, or one whose components come in scans of their own).
// Read from the markers ahead of the first scan; none when they cannot be read.
std::optional<qint64> jpegCoefficientBytes(QByteArrayView bytes)
{
    struct Sampling {
        int horizontal = 0;
        int vertical = 0;
    };
    QList<Sampling> components;
    qint64 width = 0;
    qint64 height = 0;
    bool progressive = false;
    qsizetype at = 2;
    while (at + 4 <= bytes.size()) {
        if (byteAt(bytes, at) != 0xFF)
            return std::nullopt;
        const int marker = byteAt(bytes, at + 1);
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        // A restart or TEM marker has no length, and libjpeg passes over it. Anything it would
        // read otherwise than as a segment (a second start, an end, a zero that it skips as
        // stray bytes) is refused: the walk must step where libjpeg steps.
        if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
            at += 2;
            continue;
        }
        if (marker == 0x00 || marker == 0xD8 || marker == 0xD9)
            return std::nullopt;
        const qsizetype length = byteAt(bytes, at + 2) << 8 | byteAt(bytes, at + 3);
        if (length < 2 || at + 2 + length > bytes.size())
            return std::nullopt;
        const QByteArrayView segment = bytes.sliced(at + 4, length - 2);
        // The frame header: every start-of-frame marker but the table ones (C4, C8, CC).
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            if (segment.size() < 6 || !components.isEmpty())
                return std::nullopt;
            height = byteAt(segment, 1) << 8 | byteAt(segment, 2);
            width = byteAt(segment, 3) << 8 | byteAt(segment, 4);
            const int count = byteAt(segment, 5);
            if (count < 1 || segment.size() < 6 + 3 * count)
                return std::nullopt;
            for (int c = 0; c < count; ++c) {
                const int factors = byteAt(segment, 6 + 3 * c + 1);
                components.append({std::max(1, factors >> 4), std::max(1, factors & 0x0F)});
            }
            progressive = marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
        } else if (marker == 0xDA) {
            if (components.isEmpty() || segment.isEmpty())
                return std::nullopt;
            if (!progressive && byteAt(segment, 0) >= components.size())
                return 0;
            int mostAcross = 1;
            int mostDown = 1;
            for (const Sampling& c : components) {
                mostAcross = std::max(mostAcross, c.horizontal);
                mostDown = std::max(mostDown, c.vertical);
            }
            qint64 total = 0;
            for (const Sampling& c : components) {
                const qint64 across = (width * c.horizontal + mostAcross - 1) / mostAcross;
                const qint64 down = (height * c.vertical + mostDown - 1) / mostDown;
                total += (across + 7) / 8 * ((down + 7) / 8) * 64 * 2;
            }
            return total;
        }
        at += 2 + length;
    }
    return std::nullopt;
}

// The canvas of a WebP animation, from its extended header: its flags, three bytes, then the
// canvas's width and height less one, 24 bits each. None for a still picture.
std::optional<QSize> webpAnimationCanvas(QByteArrayView bytes)
{
    if (bytes.size() < 30 || bytes.sliced(12, 4) != QByteArrayView("VP8X") || (byteAt(bytes, 20) & 0x02) == 0)
        return std::nullopt;
    const auto side = [&](qsizetype at) {
        return 1 + (byteAt(bytes, at) | byteAt(bytes, at + 1) << 8 | byteAt(bytes, at + 2) << 16);
    };
    return QSize(side(24), side(27));
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

    // Only what makes the pixels reaches the reader.
    const std::optional<QByteArray> parts = pictureParts(bytes, *format, limits.maxStoredPixels);
    if (!parts)
        return std::nullopt;

    if (*format == Format::jpeg) {
        const std::optional<qint64> coefficients = jpegCoefficientBytes(*parts);
        if (!coefficients || *coefficients > allocationLimitBytes())
            return std::nullopt;
    }

    // An animation's frames are drawn on a canvas of its whole size, which its reader makes as
    // soon as it is asked for the size, and copies: four canvases of four bytes a pixel must
    // fit within the allocation limit.
    if (*format == Format::webp) {
        const std::optional<QSize> canvas = webpAnimationCanvas(*parts);
        if (canvas && qint64(canvas->width()) * canvas->height() * 4 * 4 > allocationLimitBytes())
            return std::nullopt;
    }

    // Walking the parts takes a while for a large picture: a decode no longer wanted ends here.
    if (stop && stop->load())
        return std::nullopt;
    QBuffer buffer;
    buffer.setData(*parts);
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

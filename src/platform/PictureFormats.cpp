// What Tarv itself tells of an outside picture before any decoder sees it (OutsideImages.h):
// shared with the decoder process.

#include "platform/OutsideImages.h"

#include <QtEndian>

#include <algorithm>
#include <cmath>

namespace OutsideImages {

namespace {

// HEIF files that hold HEVC pictures (HEIC) name one of these brands in their first box; an
// AVIF names its own, and is not taken.
bool isHeic(QByteArrayView bytes)
{
    if (bytes.size() < 16 || bytes.sliced(4, 4) != QByteArrayView("ftyp"))
        return false;
    const qint64 boxSize = qFromBigEndian<quint32>(bytes.data());
    if (boxSize < 16 || boxSize > bytes.size() || boxSize % 4 != 0)
        return false;
    const auto isBrand = [](QByteArrayView brand, std::initializer_list<const char*> brands) {
        return std::any_of(brands.begin(), brands.end(), [&](const char* b) { return brand == QByteArrayView(b); });
    };
    bool heic = false;
    // The major brand, the minor version, then the compatible brands.
    for (qint64 at = 8; at + 4 <= boxSize; at += at == 8 ? 8 : 4) {
        const QByteArrayView brand = bytes.sliced(at, 4);
        if (isBrand(brand, {"avif", "avis"}))
            return false;
        heic = heic || isBrand(brand, {"heic", "heix", "heim", "heis", "hevc", "hevx"});
    }
    return heic;
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

bool withinPixels(const QSize& size, qint64 maxPixels)
{
    return size.width() > 0 && size.height() > 0 && qint64(size.width()) * size.height() <= maxPixels;
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
    if (isHeic(bytes))
        return Format::heif;
    return std::nullopt;
}

}  // namespace OutsideImages

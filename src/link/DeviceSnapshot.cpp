#include "link/DeviceSnapshot.h"

#include <QBuffer>
#include <QDir>
#include <QStandardPaths>

#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/unistr.h>

#include <memory>

namespace TarvUSB {

QImage DeviceSnapshot::makeImage() const
{
    if (width <= 0 || height <= 0 || pixels.size() != std::size_t(width) * std::size_t(height))
        return {};
    QImage image(width, height, QImage::Format_RGBX8888);
    if (image.isNull())
        return {};
    const std::uint16_t* src = pixels.data();
    for (int y = 0; y < height; ++y) {
        auto* line = image.scanLine(y);
        for (int x = 0; x < width; ++x) {
            const std::uint16_t p = *src++;
            const int r5 = p >> 11;
            const int g6 = (p >> 5) & 0x3F;
            const int b5 = p & 0x1F;
            line[4 * x + 0] = std::uint8_t(r5 * 8 + r5 / 4);
            line[4 * x + 1] = std::uint8_t(g6 * 4 + g6 / 16);
            line[4 * x + 2] = std::uint8_t(b5 * 8 + b5 / 4);
            line[4 * x + 3] = 255;
        }
    }
    return image;
}

std::optional<QByteArray> DeviceSnapshot::pngData() const
{
    const QImage image = makeImage();
    if (image.isNull())
        return std::nullopt;
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        return std::nullopt;
    return png;
}

QString snapshotFileName(const QDateTime& at)
{
    UErrorCode status = U_ZERO_ERROR;
    icu::SimpleDateFormat format(icu::UnicodeString(u"yyyyMMdd-HHmmss"), icu::Locale("en_US_POSIX"), status);
    if (U_FAILURE(status))
        return QStringLiteral("tarv-") + at.toLocalTime().toString(QStringLiteral("yyyyMMdd-HHmmss")) +
               QStringLiteral(".png");
    icu::UnicodeString text;
    format.format(UDate(at.toMSecsSinceEpoch()), text);
    return QStringLiteral("tarv-") +
           QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length()) + QStringLiteral(".png");
}

QString snapshotsFolderPath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("Tarv/Snapshots"));
}

}  // namespace TarvUSB

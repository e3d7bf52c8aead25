#include "screens/runtime/SpriteSheet.h"

#include "device/DevicePixels.h"
#include "platform/BoundedFile.h"
#include "platform/OutsideImages.h"

#include <QPainter>
#include <QRect>
#include <QRectF>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace SpriteSheet {

std::optional<QList<QByteArray>> frames(const QString& path, qint64 count, const std::atomic<bool>* stop)
{
    if (count < 1 || count > maxCells)
        return std::nullopt;
    // Read as bytes first: a sheet name may point at a FIFO or a device, which would block,
    // or at a file far larger than any sheet. Its pixels are bounded too, so a small file
    // that claims huge dimensions cannot exhaust memory. The cells are cut from the sheet as
    // it is stored, so it is never scaled as a whole.
    const std::optional<QByteArray> bytes = readRegularFile(path, maxFileBytes);
    if (!bytes)
        return std::nullopt;
    OutsideImages::Limits limits;
    limits.maxStoredPixels = maxSheetPixels;
    limits.maxSide = std::numeric_limits<int>::max();
    const std::optional<QImage> decoded = OutsideImages::decode(*bytes, limits, stop);
    if (!decoded)
        return std::nullopt;
    const QImage& sheet = *decoded;
    const double cellWidth = double(sheet.width()) / double(count);
    if (cellWidth < 1.0)
        return std::nullopt;

    QList<QByteArray> cells;
    cells.reserve(count);
    for (qint64 i = 0; i < count; ++i) {
        if (stop && stop->load())
            return std::nullopt;
        // Outward to whole pixels, so cells of a width that does not divide evenly share
        // their border column; never beyond the sheet.
        const int left = int(std::floor(cellWidth * double(i)));
        const int right = int(std::ceil(cellWidth * double(i + 1)));
        const QRect rect = QRect(left, 0, right - left, sheet.height()).intersected(sheet.rect());
        if (rect.isEmpty())
            return std::nullopt;
        const QImage piece = sheet.copy(rect);
        if (piece.isNull())
            return std::nullopt;
        std::optional<QByteArray> frame = renderFrame(piece);
        if (!frame)
            return std::nullopt;
        cells.append(std::move(*frame));
    }
    return cells;
}

std::optional<QByteArray> renderFrame(const QImage& cell)
{
    if (cell.isNull() || cell.width() < 1 || cell.height() < 1)
        return std::nullopt;
    QImage canvas(frameWidth, frameHeight, QImage::Format_RGBA8888_Premultiplied);
    if (canvas.isNull())
        return std::nullopt;
    canvas.fill(Qt::transparent);
    {
        QPainter painter(&canvas);
        if (!painter.isActive())
            return std::nullopt;
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const double scale = std::min(double(frameWidth) / cell.width(), double(frameHeight) / cell.height());
        const double w = cell.width() * scale;
        const double h = cell.height() * scale;
        // Spare rows stay at the top: the figure stands on the bottom edge.
        painter.drawImage(QRectF((frameWidth - w) / 2, frameHeight - h, w, h), cell);
    }
    QByteArray rgb565;
    rgb565.reserve(frameBytes);
    QByteArray a8;
    a8.reserve(alphaPlaneBytes);
    for (int y = 0; y < frameHeight; ++y)
        packPixels(QByteArrayView(canvas.constScanLine(y), qsizetype(frameWidth) * 4), rgb565, a8);
    rgb565.append(a8);
    return rgb565;
}

void packPixels(QByteArrayView rgba, QByteArray& rgb565, QByteArray& a8)
{
    const qsizetype count = rgba.size() / 4;
    const qsizetype colorStart = rgb565.size();
    const qsizetype alphaStart = a8.size();
    rgb565.resize(colorStart + 2 * count);
    a8.resize(alphaStart + count);
    packPremultipliedPixels(reinterpret_cast<const std::uint8_t*>(rgba.data()), std::size_t(count),
                            reinterpret_cast<std::uint8_t*>(rgb565.data()) + colorStart,
                            reinterpret_cast<std::uint8_t*>(a8.data()) + alphaStart);
}

}  // namespace SpriteSheet

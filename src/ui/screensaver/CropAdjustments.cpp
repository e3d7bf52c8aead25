#include "ui/screensaver/CropAdjustments.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace CropAdjustments {

QSizeF orientedSize(const QSize& source, const PhotoAdjustment& adjustment)
{
    if (adjustment.turns() % 2 == 1)
        return {double(source.height()), double(source.width())};
    return {double(source.width()), double(source.height())};
}

PhotoAdjustment clamped(const QSize& source, const PhotoAdjustment& candidate)
{
    const QSizeF size = orientedSize(source, candidate);
    PhotoAdjustment result = candidate;
    result.zoom = candidate.zoom <= minimumZoom ? minimumZoom : std::min(candidate.zoom, maximumZoom);
    // An empty picture has no crop to centre; the centre stays as asked.
    if (size.width() <= 0 || size.height() <= 0)
        return result;
    const PhotoAdjustment::Rect crop = result.cropRect(size.width(), size.height(), aspect);
    result.centerX = (crop.x + crop.w / 2) / size.width();
    result.centerY = (crop.y + crop.h / 2) / size.height();
    return result;
}

PhotoAdjustment zoomed(const QSize& source, const PhotoAdjustment& current, double zoom)
{
    PhotoAdjustment candidate = current;
    candidate.zoom = zoom;
    return clamped(source, candidate);
}

PhotoAdjustment zoomedAbout(const QSize& source, const PhotoAdjustment& current, double zoom, double x, double y)
{
    const QSizeF size = orientedSize(source, current);
    if (size.width() <= 0 || size.height() <= 0)
        return zoomed(source, current, zoom);
    const PhotoAdjustment::Rect before = current.cropRect(size.width(), size.height(), aspect);
    const double fx = x / previewWidth;
    const double fy = y / previewHeight;
    // The picture's pixel under the point, and the crop of the new zoom placed so it stays there.
    const double pixelX = before.x + fx * before.w;
    const double pixelY = before.y + fy * before.h;
    PhotoAdjustment candidate = zoomed(source, current, zoom);
    const PhotoAdjustment::Rect after = candidate.cropRect(size.width(), size.height(), aspect);
    candidate.centerX = (pixelX - fx * after.w + after.w / 2) / size.width();
    candidate.centerY = (pixelY - fy * after.h + after.h / 2) / size.height();
    return clamped(source, candidate);
}

PhotoAdjustment panned(const QSize& source, const PhotoAdjustment& start, const PhotoAdjustment& current, double dx,
                       double dy)
{
    const QSizeF size = orientedSize(source, start);
    if (size.width() <= 0 || size.height() <= 0)
        return current;
    // Source pixels under one preview point, fixed for the whole drag.
    const double scale = start.cropRect(size.width(), size.height(), aspect).w / previewWidth;
    PhotoAdjustment candidate = current;
    candidate.centerX = start.centerX - scale * dx / size.width();
    candidate.centerY = start.centerY - scale * dy / size.height();
    return clamped(source, candidate);
}

PhotoAdjustment rotatedLeft(const QSize& source, const PhotoAdjustment& current)
{
    PhotoAdjustment candidate = current;
    // Mirrored, the stored clockwise turn shows anticlockwise.
    candidate.quarterTurns = (current.quarterTurns + (current.mirrored ? 1 : 3)) % 4;
    candidate.centerX = current.centerY;
    candidate.centerY = 1 - current.centerX;
    return clamped(source, candidate);
}

PhotoAdjustment rotatedRight(const QSize& source, const PhotoAdjustment& current)
{
    PhotoAdjustment candidate = current;
    candidate.quarterTurns = (current.quarterTurns + (current.mirrored ? 3 : 1)) % 4;
    candidate.centerX = 1 - current.centerY;
    candidate.centerY = current.centerX;
    return clamped(source, candidate);
}

PhotoAdjustment mirrored(const QSize& source, const PhotoAdjustment& current)
{
    PhotoAdjustment candidate = current;
    candidate.mirrored = !current.mirrored;
    candidate.centerX = 1 - current.centerX;
    return clamped(source, candidate);
}

bool isDefault(const PhotoAdjustment& adjustment)
{
    return adjustment.zoom == 1 && adjustment.centerX == 0.5 && adjustment.centerY == 0.5 &&
           adjustment.quarterTurns == 0 && !adjustment.mirrored;
}

QImage previewImage(const QImage& oriented, const PhotoAdjustment& adjustment)
{
    QImage out(previewWidth * 2, previewHeight * 2, QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::black);
    if (oriented.isNull())
        return out;
    const int width = oriented.width();
    const int height = oriented.height();
    const PhotoAdjustment::Rect crop = adjustment.cropRect(width, height, aspect);
    // Widened outward to whole pixels, as the device frame is cut.
    const int left = std::max(0, int(std::floor(crop.x)));
    const int top = std::max(0, int(std::floor(crop.y)));
    const int right = std::min(width, int(std::ceil(crop.x + crop.w)));
    const int bottom = std::min(height, int(std::ceil(crop.y + crop.h)));
    if (right <= left || bottom <= top)
        return out;
    QPainter painter(&out);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRect(0, 0, out.width(), out.height()), oriented, QRect(left, top, right - left, bottom - top));
    return out;
}

}  // namespace CropAdjustments

#pragma once
// The edits of the crop editor as pure functions over a PhotoAdjustment and the size of the
// picture being cropped: every result but the reset is pulled back so the crop lies inside
// the turned picture.

#include "media/PhotoAdjustment.h"
#include "media/PhotoImages.h"

#include <QImage>
#include <QSize>
#include <QSizeF>

namespace CropAdjustments {

inline constexpr double aspect = double(PhotoImages::frameWidth) / PhotoImages::frameHeight;
inline constexpr double minimumZoom = 1.0;
inline constexpr double maximumZoom = 4.0;
// The preview is the device's frame in points, drawn from twice as many pixels.
inline constexpr int previewWidth = PhotoImages::frameWidth;
inline constexpr int previewHeight = PhotoImages::frameHeight;

// The picture's size after the adjustment's quarter turns.
QSizeF orientedSize(const QSize& source, const PhotoAdjustment& adjustment);
// Zoom limited to 1...4 and the centre moved to the middle of the crop it gives.
PhotoAdjustment clamped(const QSize& source, const PhotoAdjustment& candidate);
PhotoAdjustment zoomed(const QSize& source, const PhotoAdjustment& current, double zoom);
// The same zoom about a point of the preview, (x, y) in preview points: the part of the
// picture under that point stays under it, as far as the picture's edges allow.
PhotoAdjustment zoomedAbout(const QSize& source, const PhotoAdjustment& current, double zoom, double x, double y);
// `start` is the adjustment when the drag began; (dx, dy) the drag in preview points since
// then, right and down positive. The picture follows the pointer.
PhotoAdjustment panned(const QSize& source, const PhotoAdjustment& start, const PhotoAdjustment& current, double dx,
                       double dy);
// A quarter turn as seen on screen, whatever the mirroring.
PhotoAdjustment rotatedLeft(const QSize& source, const PhotoAdjustment& current);
PhotoAdjustment rotatedRight(const QSize& source, const PhotoAdjustment& current);
PhotoAdjustment mirrored(const QSize& source, const PhotoAdjustment& current);
bool isDefault(const PhotoAdjustment& adjustment);

// What the device will show, at twice the preview's size, from a picture already turned
// and mirrored for the adjustment; black when no crop can be cut from it.
QImage previewImage(const QImage& oriented, const PhotoAdjustment& adjustment);

}  // namespace CropAdjustments

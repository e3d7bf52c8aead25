#pragma once
// The screensaver's own pages: the clock strip over the photo, its per-minute update, and
// the idle page with a large clock when there is no photo to show.

#include "link/Frame.h"

#include <QDateTime>

#include <cstdint>

namespace DynamicUIDemo {

// The photo (asset slot 2) behind a strip with the time, the date and the wake hint.
TarvUSB::Frame clockOps(std::uint16_t seq, const QDateTime& date);
// New time and date texts for the clock strip and the idle page (nodes 701 and 702).
TarvUSB::Frame clockUpdateFrame(std::uint16_t seq, const QDateTime& date);
// The page without photo; `minutes` is the idle timeout in whole minutes, shown as at least 1.
TarvUSB::Frame idlePageFrame(std::uint16_t seq, const QDateTime& date, int minutes);

}  // namespace DynamicUIDemo

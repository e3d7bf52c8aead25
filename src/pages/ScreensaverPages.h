#pragma once
// The screensaver's own pages: the clock strip over the photo, its per-minute update, and
// the idle page with a large clock when there is no photo to show.

#include "link/Frame.h"

#include <QDateTime>

#include <cstdint>

namespace DynamicUIDemo {

// Nodes and the asset slot that every screensaver page shares: the minute updates address
// the time and date labels whichever page drew them.
namespace ScreensaverNodes {
constexpr std::uint32_t time = 701;
constexpr std::uint32_t date = 702;
constexpr std::uint32_t photo = 706;
// The strip of the plain photo page, or the pill behind the labels of a styled one.
constexpr std::uint32_t strip = 707;
constexpr std::int32_t photoAsset = 2;
}  // namespace ScreensaverNodes

// The photo (asset slot 2) behind a strip with the time, the date and the wake hint.
TarvUSB::Frame clockOps(std::uint16_t seq, const QDateTime& date);
// New time and date texts for the clock strip and the idle page (nodes 701 and 702).
TarvUSB::Frame clockUpdateFrame(std::uint16_t seq, const QDateTime& date);
// The page without photo; `minutes` is the idle timeout in whole minutes, shown as at least 1.
TarvUSB::Frame idlePageFrame(std::uint16_t seq, const QDateTime& date, int minutes);

}  // namespace DynamicUIDemo

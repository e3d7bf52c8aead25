#pragma once
// The small step chart of a stock card: the recent prices as runs of 2-pixel lines joined by
// short verticals, an optional previous-close baseline, and a node budget it must fit.

#include "link/PatchOp.h"
#include "media/StockQuote.h"

#include <QList>

#include <cstdint>

namespace DynamicUIDemo {

// One rectangle of a chart, relative to its card; shade 0 … 1 darkens the older part.
struct Rect {
    int x = 0;
    int y = 0;
    int w = 0;
    int h = 0;
    double shade = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

// The chart nodes of the card `cardID` in slot `slot` (ids from 900 + 64 × slot, children of
// the card from index 4), at most `budget` of them when the resampling can get there.
QList<TarvUSB::PatchOp> sparklineOps(const StockQuote& quote, int slot, std::uint32_t cardID, bool rising, int budget);

// The colour t of the way from a to b (t clamped to 0 … 1), channel by channel.
std::uint32_t blendColor(std::uint32_t a, std::uint32_t b, double t);

}  // namespace DynamicUIDemo

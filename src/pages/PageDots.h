#pragma once
// The page dots as device widgets, under the page container.

#include "link/PatchOp.h"
#include "pages/PageIndicator.h"

#include <QList>

#include <cstdint>

namespace DynamicUIDemo {

// One rounded box per dot, ids and child indexes counting up from the given ones; nothing
// when the indicator has no active page.
QList<TarvUSB::PatchOp> pageIndicatorOps(const PageIndicator& indicator, std::uint32_t firstID, int firstIndex);

}  // namespace DynamicUIDemo

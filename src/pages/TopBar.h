#pragma once
// The top bar of the built-in pages: the time at the left and the USB icon at the right.

#include "link/PatchOp.h"
#include "pages/PageIndicator.h"

#include <QList>
#include <QString>

#include <cstdint>

namespace DynamicUIDemo {

// The time label `timeNode` at child index `index` of the page, then the USB icon as node
// timeNode + 1 at index + 1, right-aligned at x 468.
void appendTopBar(QList<TarvUSB::PatchOp>& ops, std::uint32_t timeNode, int index, const QString& timeText);

// The home page's start: the page prefix, its top bar (101, 102) and its dots (from 110).
QList<TarvUSB::PatchOp> topBarOps(const QString& timeText, const PageIndicator& indicator);

// The width of the USB glyph at size 14, measured once.
int usbIconWidth();

}  // namespace DynamicUIDemo

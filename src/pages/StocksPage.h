#pragma once
// The stocks page: a "Markets" heading with a real-time badge over four quote cards in a
// 2 × 2 grid, each with its step chart.

#include "link/PatchOp.h"
#include "media/StockQuote.h"
#include "pages/PageIndicator.h"

#include <QList>
#include <QString>

namespace DynamicUIDemo {

// The whole page as one list; the quotes are shown in slot order, missing ones as
// placeholders ("--", "Unavailable").
QList<QList<TarvUSB::PatchOp>> stocksPageOps(const QList<StockQuote>& quotes, const QString& timeText,
                                             const PageIndicator& indicator);

// The badge frame (604) at the page's child index `index` with its text (605).
QList<TarvUSB::PatchOp> quoteBadgeOps(const QString& text, int index);

// The card of one slot (610 + 10 × slot) with its labels and chart.
QList<TarvUSB::PatchOp> quoteCardOps(const StockQuote& quote, int slot, int chartBudget);

}  // namespace DynamicUIDemo

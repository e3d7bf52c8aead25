#pragma once
// The calculator page above its key pad: the display panel with the expression and the
// number, the top bar and the page dots.

#include "link/PatchOp.h"
#include "pages/CalculatorState.h"
#include "pages/PageIndicator.h"

#include <QList>
#include <QString>

namespace DynamicUIDemo {

// The page without its keys (calculatorKeyOps follows it).
QList<TarvUSB::PatchOp> calculatorPageOps(const CalculatorState& state, const QString& timeText,
                                          const PageIndicator& indicator);

}  // namespace DynamicUIDemo

#pragma once
// The calculator's 4 × 5 key pad on the device, with the fixed label widths it is laid out by.

#include "link/PatchOp.h"

#include <QList>
#include <QString>
#include <QStringView>

namespace DynamicUIDemo {

// The key pad's geometry in device pixels: key k is column k mod 5, row k div 5.
struct CalculatorGrid {
    static constexpr int columns = 5;
    static constexpr int rows = 4;
    static constexpr int originX = 9;
    static constexpr int originY = 112;
    static constexpr int columnPitch = 94;
    static constexpr int rowPitch = 46;
    static constexpr int keyWidth = 86;
    static constexpr int keyHeight = 38;
};

// The key labels row by row; a tap on key k sends calculatorKeyLabels()[k] to the calculator.
const QList<QString>& calculatorKeyLabels();

// The width of a key label from the fixed tables (size 18, or the size-24 table for every
// other size), rounded up; a character missing from the table counts size × 0.6.
int calculatorLabelWidth(QStringView text, int size);

// The 20 buttons (500 + k) and their labels (600 + k): 100 operations, always the same.
QList<TarvUSB::PatchOp> calculatorKeyOps();

}  // namespace DynamicUIDemo

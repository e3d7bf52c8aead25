#pragma once
// Where a popover of a given width opens: centred under its anchor, kept inside the screen's
// available area horizontally.

#include <QPoint>

class QWidget;

QPoint popoverPosition(const QWidget& anchor, int popoverWidth);

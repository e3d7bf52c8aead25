#include "ui/widgets/PopoverPlacement.h"

#include <QRect>
#include <QScreen>
#include <QWidget>

#include <algorithm>

QPoint popoverPosition(const QWidget& anchor, int popoverWidth)
{
    QPoint at = anchor.mapToGlobal(QPoint(anchor.width() / 2 - popoverWidth / 2, anchor.height()));
    if (const QScreen* screen = anchor.screen()) {
        const QRect area = screen->availableGeometry();
        at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() - popoverWidth)));
    }
    return at;
}

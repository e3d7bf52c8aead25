#include "pages/PageDots.h"

#include "pages/PageNodes.h"

namespace DynamicUIDemo {

QList<TarvUSB::PatchOp> pageIndicatorOps(const PageIndicator& indicator, std::uint32_t firstID, int firstIndex)
{
    QList<TarvUSB::PatchOp> ops;
    const QList<PageIndicator::Dot> dots = indicator.dots();
    for (int i = 0; i < dots.size(); ++i) {
        const PageIndicator::Dot& d = dots[i];
        appendNode(ops, firstID + i, "cont", pageNode, firstIndex + i,
                   boxProps(d.x, d.y, d.width, d.height, d.isActive ? Palette::accent : Palette::line, std::nullopt, 0, 4));
    }
    return ops;
}

}  // namespace DynamicUIDemo

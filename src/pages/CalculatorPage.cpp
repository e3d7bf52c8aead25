#include "pages/CalculatorPage.h"

#include "device/FoldForDevice.h"
#include "pages/PageDots.h"
#include "pages/PageNodes.h"
#include "pages/TopBar.h"
#include "platform/Graphemes.h"

namespace DynamicUIDemo {

QList<TarvUSB::PatchOp> calculatorPageOps(const CalculatorState& state, const QString& timeText,
                                          const PageIndicator& indicator)
{
    constexpr std::uint32_t panel = 400;
    QList<TarvUSB::PatchOp> ops = pagePrefixOps();
    appendNode(ops, panel, "cont", pageNode, 0, boxProps(8, 36, 464, 68, Palette::face, Palette::line, 1, 8));
    appendLabel(ops, 401, panel, 0, 16, 6, 432, 18, Palette::dimText, 14,
                firstGraphemes(foldForDevice(state.expression), 12));
    appendLabel(ops, 402, panel, 1, 16, 26, 432, 40, Palette::primaryText, 34,
                firstGraphemes(foldForDevice(state.display), 12));
    appendTopBar(ops, 405, 1, timeText);
    ops.append(pageIndicatorOps(indicator, 480, 3));
    return ops;
}

}  // namespace DynamicUIDemo

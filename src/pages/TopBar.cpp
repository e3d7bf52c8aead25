#include "pages/TopBar.h"

#include "device/DeviceIcon.h"
#include "device/MontserratMetrics.h"
#include "pages/PageDots.h"
#include "pages/PageNodes.h"

namespace DynamicUIDemo {

int usbIconWidth()
{
    static const int width = MontserratMetrics::textWidth(DeviceIcon(DeviceIcon::usb).glyph(), 14);
    return width;
}

void appendTopBar(QList<TarvUSB::PatchOp>& ops, std::uint32_t timeNode, int index, const QString& timeText)
{
    appendLabel(ops, timeNode, pageNode, index, 12, 5, 100, 18, Palette::primaryText, 14, timeText);
    const int u = usbIconWidth();
    appendLabel(ops, timeNode + 1, pageNode, index + 1, 468 - u, 5, u, 18, Palette::accent, 14,
                DeviceIcon(DeviceIcon::usb).glyph());
}

QList<TarvUSB::PatchOp> topBarOps(const QString& timeText, const PageIndicator& indicator)
{
    QList<TarvUSB::PatchOp> ops = pagePrefixOps();
    appendTopBar(ops, 101, 0, timeText);
    ops.append(pageIndicatorOps(indicator, 110, 2));
    return ops;
}

}  // namespace DynamicUIDemo

#include "pages/PageNodes.h"

#include <cmath>
#include <limits>

namespace DynamicUIDemo {

QList<TarvUSB::PropEntry> frameProps(int x, int y, int w, int h)
{
    return {intProp("x", x), intProp("y", y), intProp("w", w), intProp("h", h)};
}

QList<TarvUSB::PropEntry> boxProps(int x, int y, int w, int h, std::uint32_t bg, std::optional<std::uint32_t> borderColor,
                                   int borderWidth, int radius)
{
    QList<TarvUSB::PropEntry> props = frameProps(x, y, w, h);
    props.append(colorProp("bg", bg));
    if (borderColor)
        props.append(colorProp("borderColor", *borderColor));
    props.append(intProp("borderWidth", borderWidth));
    props.append(intProp("radius", radius));
    return props;
}

void appendNode(QList<TarvUSB::PatchOp>& ops, std::uint32_t id, const char* kind, std::uint32_t parent, int index,
                QList<TarvUSB::PropEntry> props)
{
    ops.append(TarvUSB::PatchOp::create(id, QString::fromLatin1(kind), parent, std::uint16_t(index)));
    ops.append(TarvUSB::PatchOp::setProps(id, std::move(props)));
}

void appendLabel(QList<TarvUSB::PatchOp>& ops, std::uint32_t id, std::uint32_t parent, int index, int x, int y, int w,
                 int h, std::uint32_t textColor, int fontSize, QString text)
{
    QList<TarvUSB::PropEntry> props = frameProps(x, y, w, h);
    props.append(colorProp("textColor", textColor));
    props.append(intProp("fontSize", fontSize));
    appendNode(ops, id, "label", parent, index, std::move(props));
    ops.append(TarvUSB::PatchOp::setText(id, std::move(text)));
}

QList<TarvUSB::PatchOp> pagePrefixOps()
{
    QList<TarvUSB::PatchOp> ops;
    ops.append(TarvUSB::PatchOp::setProps(screenNode, {colorProp("bg", Palette::background)}));
    appendNode(ops, pageNode, "cont", screenNode, 0, boxProps(0, 0, 480, 320, Palette::background, std::nullopt, 0, 0));
    return ops;
}

TarvUSB::Frame patchFrame(std::uint16_t seq, QList<TarvUSB::PatchOp> ops)
{
    return TarvUSB::Frame{seq, TarvUSB::PatchPayload{std::move(ops)}};
}

std::int32_t clampedPixels(double value)
{
    if (std::isnan(value))
        return 0;
    constexpr double lo = std::numeric_limits<std::int32_t>::min();
    constexpr double hi = std::numeric_limits<std::int32_t>::max();
    if (value <= lo)
        return std::numeric_limits<std::int32_t>::min();
    if (value >= hi)
        return std::numeric_limits<std::int32_t>::max();
    return std::int32_t(value);
}

std::int32_t roundedPixels(double value)
{
    return clampedPixels(std::round(value));
}

}  // namespace DynamicUIDemo

#pragma once
// What every built-in page builder shares: the palette, short forms of the widget
// properties, PATCH frames, and the one safe way from a computed number to a pixel value.

#include "link/Frame.h"
#include "link/PatchOp.h"

#include <QList>

#include <cstdint>
#include <optional>

namespace DynamicUIDemo {

namespace Palette {
inline constexpr std::uint32_t background = 0x0A0B0C;
inline constexpr std::uint32_t face = 0x15171A;
inline constexpr std::uint32_t functionFace = 0x1E2126;
inline constexpr std::uint32_t line = 0x2A2E34;
inline constexpr std::uint32_t primaryText = 0xF2F4F6;
inline constexpr std::uint32_t secondaryText = 0x9AA3AD;
inline constexpr std::uint32_t dimText = 0x6B747E;
inline constexpr std::uint32_t accent = 0xFFB020;
inline constexpr std::uint32_t amberFace = 0x2A2008;
}  // namespace Palette

// Node ids shared by every page.
inline constexpr std::uint32_t screenNode = 0;
inline constexpr std::uint32_t pageNode = 100;

inline TarvUSB::PropEntry intProp(const char* key, std::int32_t value)
{
    return {QString::fromLatin1(key), TarvUSB::PropValue::int32(value)};
}
inline TarvUSB::PropEntry colorProp(const char* key, std::uint32_t rgb)
{
    return {QString::fromLatin1(key), TarvUSB::PropValue::color(rgb)};
}
inline TarvUSB::PropEntry boolProp(const char* key, bool value)
{
    return {QString::fromLatin1(key), TarvUSB::PropValue::boolean(value)};
}

// "x", "y", "w", "h" in that order.
QList<TarvUSB::PropEntry> frameProps(int x, int y, int w, int h);

// "x", "y", "w", "h", "bg", then "borderColor" when given, "borderWidth", "radius": the
// properties of a plain box.
QList<TarvUSB::PropEntry> boxProps(int x, int y, int w, int h, std::uint32_t bg, std::optional<std::uint32_t> borderColor,
                                   int borderWidth, int radius);

// create(id, kind, parent, index) followed by its setProps.
void appendNode(QList<TarvUSB::PatchOp>& ops, std::uint32_t id, const char* kind, std::uint32_t parent, int index,
                QList<TarvUSB::PropEntry> props);
// A text node: create, setProps("x", "y", "w", "h", "textColor", "fontSize"), setText.
void appendLabel(QList<TarvUSB::PatchOp>& ops, std::uint32_t id, std::uint32_t parent, int index, int x, int y, int w,
                 int h, std::uint32_t textColor, int fontSize, QString text);

// The start of every page: the screen's background, then the page container (node 100)
// covering the panel.
QList<TarvUSB::PatchOp> pagePrefixOps();

// One PATCH frame holding the operations.
TarvUSB::Frame patchFrame(std::uint16_t seq, QList<TarvUSB::PatchOp> ops);

// A computed coordinate as a whole pixel: rounded half away from zero, a value that is not
// a number gives 0 and anything beyond the int32 range is clamped, so no computation can
// reach an undefined integer conversion.
std::int32_t roundedPixels(double value);
// The same clamping for a value that is already whole (floor, truncation, integer division).
std::int32_t clampedPixels(double value);

}  // namespace DynamicUIDemo

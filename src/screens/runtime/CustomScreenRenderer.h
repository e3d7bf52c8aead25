#pragma once
// Turns a parsed screen and its current display values into the device's widget tree, and
// keeps a record of the nodes whose look follows the values (the Layout) so that later
// value changes go out as property and text edits only, and taps find their button.
// Pure functions: the caller owns every Layout.

#include "link/PatchOp.h"
#include "macros/MacroAction.h"
#include "pages/PageIndicator.h"
#include "screens/format/CustomScreen.h"
#include "screens/format/DisplayValues.h"

#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

namespace CustomScreenRenderer {

// Node ids of a custom page.
inline constexpr std::uint32_t titleNode = 901;
inline constexpr std::uint32_t firstDotNode = 910;
inline constexpr std::uint32_t firstWidgetNode = 1000;
inline constexpr std::uint32_t nodesPerWidget = 3;
inline constexpr std::uint32_t firstSegmentNode = 20000;
inline constexpr std::uint32_t segmentsPerSparkline = 64;
inline constexpr std::uint32_t firstSpriteAsset = 32;

// The first node of widget i; its bar fill or button icon is + 1, its button text + 2.
constexpr std::uint32_t widgetNode(qsizetype index)
{
    return firstWidgetNode + nodesPerWidget * std::uint32_t(index);
}
constexpr std::uint32_t segmentNode(qsizetype widgetIndex, qsizetype segment)
{
    return firstSegmentNode + segmentsPerSparkline * std::uint32_t(widgetIndex) + std::uint32_t(segment);
}

// A text node whose text, colour or span follows the values.
struct Label {
    std::uint32_t id = 0;
    QString text;
    qint64 x = 0;      // left edge in the parent's coordinates
    qint64 width = 0;
    std::uint32_t color = 0;  // 0 for button texts, whose colour never changes
    friend bool operator==(const Label&, const Label&) = default;
};

// A rectangle whose geometry or colour follows the values or the time.
struct Box {
    std::uint32_t id = 0;
    CustomScreen::Rect rect;  // in the parent's coordinates
    std::uint32_t background = 0;
    friend bool operator==(const Box&, const Box&) = default;
};

// An animated image node and the asset it shows.
struct Sprite {
    std::uint32_t id = 0;
    std::uint32_t assetID = 0;
    friend bool operator==(const Sprite&, const Sprite&) = default;
};

// A widget with a condition: its first node and whether it is hidden.
struct Presence {
    std::uint32_t id = 0;
    bool isHidden = false;
    friend bool operator==(const Presence&, const Presence&) = default;
};

struct Button {
    CustomScreen::Rect rect;  // panel coordinates
    MacroAction action;       // open-URL placeholders already filled
    QString title;            // the name a fired action is reported under
    QString refusal;          // why a tap opens nothing, when its values would move the address
    QString note;             // what a tap leaves out of the address its values make
    friend bool operator==(const Button&, const Button&) = default;
};

// Within each list a node id occurs at most once.
struct Layout {
    QList<Label> labels;
    QList<Box> boxes;
    QList<Sprite> sprites;
    QList<Presence> presences;
    QList<Button> buttons;  // visible buttons, in drawing order
    friend bool operator==(const Layout&, const Layout&) = default;
};

// The whole page, from the screen's background down: the top bar with the time text, the
// page dots, then every widget.
QList<TarvUSB::PatchOp> renderPage(const CustomScreen& screen, const DisplayValues& values,
                                   const PageIndicator& indicator, const QString& timeText);

// The widgets' nodes only, widget 0 at child index `firstIndex` of the page container;
// `time` is the seconds since the page appeared and picks the animation frames. What can
// change later is appended to `layout`.
QList<TarvUSB::PatchOp> buildNodes(const CustomScreen& screen, const DisplayValues& values,
                                   std::uint16_t firstIndex, Layout& layout, double time);

// Widget i's part of buildNodes; `spriteSlotsBefore` counts the sprite frames of the widgets
// before it.
void buildWidget(const CustomScreen& screen, qsizetype i, const DisplayValues& values, std::uint16_t firstIndex,
                 qint64 spriteSlotsBefore, double time, QList<TarvUSB::PatchOp>& ops, Layout& layout);

// The inner fill of a bar in the bar's own coordinates; at least 1 px wide.
CustomScreen::Rect barFillRect(const CustomScreen::BarWidget& bar, const DisplayValues& values);

// The property and text edits that turn the page `last` described into the one `next`
// describes; never creates or removes a node, nothing at all when nothing changed.
QList<TarvUSB::PatchOp> updateOps(const Layout& last, const Layout& next);

// The visible button under the point, the last drawn winning; right and bottom edges are
// outside.
std::optional<Button> hitTestButton(std::uint16_t x, std::uint16_t y, const Layout& layout);

}  // namespace CustomScreenRenderer

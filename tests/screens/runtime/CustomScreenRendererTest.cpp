#include "screens/runtime/CustomScreenRenderer.h"

#include "device/DeviceIcon.h"
#include "device/MontserratMetrics.h"
#include "pages/PageNodes.h"
#include "pages/PageOps.h"
#include "pages/TopBar.h"
#include "screens/runtime/CustomLayoutCache.h"
#include "support/FakeWidgetTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

namespace {

using namespace CustomScreenRenderer;
using namespace PageOps;
using Rect = CustomScreen::Rect;
using TarvUSB::PatchOpCreate;

CustomScreen screenOf(QList<CustomScreen::Widget> widgets)
{
    CustomScreen screen;
    screen.id = QStringLiteral("test");
    screen.title = QStringLiteral("Test");
    screen.background = 0x101820;
    screen.widgets = std::move(widgets);
    return screen;
}

CustomScreen::TextWidget text(QString value, qint64 x = 10, std::optional<qint64> width = 100,
                              CustomScreen::Alignment alignment = CustomScreen::Alignment::left)
{
    CustomScreen::TextWidget w;
    w.x = x;
    w.y = 40;
    w.width = width;
    w.height = 20;
    w.text = std::move(value);
    w.fontSize = 18;
    w.color = 0xEEEEEE;
    w.alignment = alignment;
    return w;
}

CustomScreen::BarWidget bar(QString value)
{
    CustomScreen::BarWidget w;
    w.rect = {20, 100, 104, 14};
    w.value = std::move(value);
    w.max = 100;
    w.inset = 2;
    w.radius = 6;
    w.track = 0x222222;
    w.border = 0x333333;
    w.borderWidth = 1;
    w.stops = {{0, 0x00FF00}, {80, 0xFF0000}};
    return w;
}

CustomScreen::ButtonWidget button(QString label, std::optional<DeviceIcon> icon, Rect rect = {40, 200, 120, 60})
{
    CustomScreen::ButtonWidget w;
    w.rect = rect;
    w.label = std::move(label);
    w.icon = icon;
    w.action = MacroAction::typeText(QStringLiteral("x"));
    w.fontSize = 18;
    w.color = 0xFFFFFF;
    w.background = 0x202020;
    w.border = 0x404040;
    w.borderWidth = 2;
    return w;
}

CustomScreen::SpriteWidget sprite(qint64 count, QList<CustomScreen::SpriteFrame> frames = {})
{
    CustomScreen::SpriteWidget w;
    w.x = 10;
    w.y = 60;
    w.sheet = QStringLiteral("cat.png");
    w.count = count;
    w.frames = std::move(frames);
    return w;
}

CustomScreen::SparklineWidget sparkline()
{
    CustomScreen::SparklineWidget w;
    w.rect = {10, 150, 120, 40};
    w.value = QStringLiteral("{{load}}");
    w.points = 4;
    w.color = 0x00AAFF;
    w.background = 0x111111;
    return w;
}

Layout layoutOf(const CustomScreen& screen, const DisplayValues& values, double time = 0)
{
    Layout layout;
    buildNodes(screen, values, 0, layout, time);
    return layout;
}

int widthOf(const QString& text, int size)
{
    return MontserratMetrics::textWidth(text, size);
}

// --- Full page ---------------------------------------------------------------------------

TEST(CustomScreenRenderer, PageStartsWithBackgroundTopBarAndDots)
{
    CustomScreen screen = screenOf({text(QStringLiteral("a"))});
    const QList<PatchOp> ops = renderPage(screen, {}, PageIndicator{5, 1}, QStringLiteral("9:41 AM"));

    ASSERT_GE(ops.size(), 4);
    EXPECT_EQ(ops[0], PatchOp::setProps(0, {DynamicUIDemo::colorProp("bg", 0x101820)}));
    EXPECT_EQ(ops[1], PatchOp::create(100, QStringLiteral("cont"), 0, 0));
    EXPECT_EQ(keysOf(ops, 100), (QStringList{"x", "y", "w", "h", "bg", "borderWidth", "radius"}));
    EXPECT_EQ(colorOf(ops, 100, "bg"), 0x101820u);

    EXPECT_EQ(createOf(ops, 901), (PatchOpCreate{901, "label", 100, 0}));
    EXPECT_EQ(textOf(ops, 901), QStringLiteral("9:41 AM")) << "the title label shows the caller's time";
    EXPECT_EQ(intOf(ops, 901, "x"), 12);
    EXPECT_EQ(intOf(ops, 901, "w"), 100);
    EXPECT_EQ(colorOf(ops, 901, "textColor"), 0xF2F4F6u);

    const int usb = widthOf(DeviceIcon(DeviceIcon::usb).glyph(), 14);
    EXPECT_EQ(createOf(ops, 902), (PatchOpCreate{902, "label", 100, 1}));
    EXPECT_EQ(intOf(ops, 902, "x"), 468 - usb);
    EXPECT_EQ(intOf(ops, 902, "w"), usb);
    EXPECT_EQ(colorOf(ops, 902, "textColor"), 0xFFB020u);
    EXPECT_EQ(textOf(ops, 902), DeviceIcon(DeviceIcon::usb).glyph());

    for (std::uint32_t dot = 0; dot < 5; ++dot)
        EXPECT_EQ(createOf(ops, 910 + dot), (PatchOpCreate{910 + dot, "cont", 100, std::uint16_t(2 + dot)}));
    EXPECT_EQ(createOf(ops, 1000), (PatchOpCreate{1000, "label", 100, 7}));
    expectSendable(ops);
}

TEST(CustomScreenRenderer, WidgetIdsFollowTheirIndexAndTheDotsShiftTheirChildIndex)
{
    QList<CustomScreen::Widget> widgets(6, text(QStringLiteral("x")));
    const CustomScreen screen = screenOf(widgets);
    const QList<PatchOp> two = renderPage(screen, {}, PageIndicator{2, 0}, {});
    EXPECT_EQ(createOf(two, 1000), (PatchOpCreate{1000, "label", 100, 4}));
    EXPECT_EQ(createOf(two, 1015), (PatchOpCreate{1015, "label", 100, 9}));

    // A page outside the swipe list has no dots.
    const QList<PatchOp> none = renderPage(screen, {}, PageIndicator{4, std::nullopt}, {});
    EXPECT_FALSE(createOf(none, 910));
    EXPECT_EQ(createOf(none, 1000)->index, 2);
}

// --- Texts --------------------------------------------------------------------------------

TEST(CustomScreenRenderer, TextAlignmentMakesTheLabelAsWideAsItsText)
{
    const int w42 = widthOf(QStringLiteral("42"), 18);
    ASSERT_GT(w42, 1);
    const auto build = [](CustomScreen::TextWidget w) {
        Layout layout;
        const QList<PatchOp> ops = buildNodes(screenOf({w}), {{"n", "42"}}, 0, layout, 0);
        return std::pair{ops, layout};
    };

    const auto [right, rightLayout] = build(text(QStringLiteral("{{n}}"), 300, 100, CustomScreen::Alignment::right));
    EXPECT_EQ(intOf(right, 1000, "x"), 400 - w42);
    EXPECT_EQ(intOf(right, 1000, "w"), w42);
    EXPECT_EQ(rightLayout.labels, (QList<Label>{{1000, "42", 400 - w42, w42, 0xEEEEEE}}));

    const auto [centre, centreLayout] = build(text(QStringLiteral("{{n}}"), 300, 100, CustomScreen::Alignment::center));
    EXPECT_EQ(intOf(centre, 1000, "x"), 300 + (100 - w42) / 2);
    EXPECT_EQ(intOf(centre, 1000, "w"), w42);

    const auto [left, leftLayout] = build(text(QStringLiteral("{{n}}"), 300, 100));
    EXPECT_EQ(intOf(left, 1000, "x"), 300);
    EXPECT_EQ(intOf(left, 1000, "w"), 100);
    EXPECT_EQ(intOf(left, 1000, "fontSize"), 18);
    EXPECT_EQ(keysOf(left, 1000), (QStringList{"x", "y", "w", "h", "textColor", "fontSize"}));
    EXPECT_EQ(textOf(left, 1000), QStringLiteral("42"));

    // A text wider than its span keeps the span.
    const auto [wide, wideLayout] = build(text(QStringLiteral("a long text here"), 300, 20, CustomScreen::Alignment::right));
    EXPECT_EQ(intOf(wide, 1000, "x"), 300);
    EXPECT_EQ(intOf(wide, 1000, "w"), 20);
}

TEST(CustomScreenRenderer, TextWithoutWidthRunsToThePanelEdgeAndAnEmptyFillShowsDashes)
{
    Layout layout;
    const QList<PatchOp> ops =
        buildNodes(screenOf({text(QStringLiteral("a"), 470, std::nullopt), text(QStringLiteral("b"), 480, std::nullopt),
                             text(QStringLiteral("{{empty}}"))}),
                   {{"empty", ""}}, 0, layout, 0);
    EXPECT_EQ(intOf(ops, 1000, "w"), 10);
    EXPECT_EQ(intOf(ops, 1003, "w"), 1);
    EXPECT_EQ(textOf(ops, 1006), QStringLiteral("--"));
}

TEST(CustomScreenRenderer, ColourRulePicksTheTextColour)
{
    CustomScreen::TextWidget w = text(QStringLiteral("{{t}}°"));
    w.rule = CustomScreen::ColorRule{std::nullopt, {{0, 0x0000FF}, {30, 0xFF0000}}, {}};
    const CustomScreen screen = screenOf({w});
    EXPECT_EQ(layoutOf(screen, {{"t", "35"}}).labels[0].color, 0xFF0000u);
    EXPECT_EQ(layoutOf(screen, {{"t", "12"}}).labels[0].color, 0x0000FFu);
    // No number: the widget keeps its own colour.
    EXPECT_EQ(layoutOf(screen, {}).labels[0].color, 0xEEEEEEu);
}

// --- Bars, boxes, sparklines ----------------------------------------------------------------

TEST(CustomScreenRenderer, BarFillFollowsTheNumberWithinItsInset)
{
    const auto fill = [](const char* value) { return barFillRect(bar(QString::fromUtf8(value)), {}); };
    EXPECT_EQ(fill("load 25%"), (Rect{2, 2, 25, 10}));
    EXPECT_EQ(fill("150"), (Rect{2, 2, 100, 10}));
    EXPECT_EQ(fill("none"), (Rect{2, 2, 1, 10})) << "an empty bar still shows 1 px";
    EXPECT_EQ(fill("-20"), (Rect{2, 2, 1, 10}));
    EXPECT_EQ(fill("12.5"), (Rect{2, 2, 13, 10})) << "halves round away from zero";

    CustomScreen::BarWidget noMax = bar(QStringLiteral("50"));
    noMax.max = 0;
    EXPECT_EQ(barFillRect(noMax, {}).w, 1);
    CustomScreen::BarWidget thin = bar(QStringLiteral("50"));
    thin.rect.w = 3;
    thin.rect.h = 3;
    EXPECT_EQ(barFillRect(thin, {}), (Rect{2, 2, 1, 1}));
}

TEST(CustomScreenRenderer, BarIsATrackWithAFillChild)
{
    Layout layout;
    const QList<PatchOp> ops = buildNodes(screenOf({text("a"), bar(QStringLiteral("{{cpu}}"))}), {{"cpu", "90"}}, 0,
                                          layout, 0);
    EXPECT_EQ(createOf(ops, 1003), (PatchOpCreate{1003, "cont", 100, 1}));
    EXPECT_EQ(keysOf(ops, 1003), (QStringList{"x", "y", "w", "h", "bg", "borderColor", "borderWidth", "radius"}));
    EXPECT_EQ(colorOf(ops, 1003, "bg"), 0x222222u);
    EXPECT_EQ(createOf(ops, 1004), (PatchOpCreate{1004, "cont", 1003, 0}));
    EXPECT_EQ(intOf(ops, 1004, "w"), 90);
    EXPECT_EQ(colorOf(ops, 1004, "bg"), 0xFF0000u);
    EXPECT_EQ(colorOf(ops, 1004, "borderColor"), 0xFF0000u);
    EXPECT_EQ(intOf(ops, 1004, "borderWidth"), 0);
    EXPECT_EQ(intOf(ops, 1004, "radius"), 4);
    EXPECT_EQ(layout.boxes, (QList<Box>{{1004, {2, 2, 90, 10}, 0xFF0000}}));
}

TEST(CustomScreenRenderer, OnlyAnimatedBoxesAndSpritesEnterTheLayout)
{
    CustomScreen::BoxWidget still;
    still.rect = {0, 30, 50, 50};
    still.background = 0x123456;
    still.frames = {{1, {0, 30, 10, 10}, 0xAAAAAA}};
    CustomScreen::BoxWidget moving = still;
    moving.frames.append({1, {5, 40, 20, 20}, 0xBBBBBB});
    const CustomScreen screen =
        screenOf({still, moving, sprite(2, {{1, 1}}), sprite(2, {{1, 0}, {1, 1}})});

    Layout layout;
    const QList<PatchOp> ops = buildNodes(screen, {}, 0, layout, 1.5);
    EXPECT_EQ(intOf(ops, 1000, "w"), 50) << "one frame does not animate";
    EXPECT_EQ(layout.boxes, (QList<Box>{{1003, {5, 40, 20, 20}, 0xBBBBBB}}));
    EXPECT_EQ(intOf(ops, 1003, "x"), 5);
    EXPECT_EQ(colorOf(ops, 1003, "bg"), 0xBBBBBBu);
    EXPECT_EQ(layout.sprites, (QList<Sprite>{{1009, 32 + 2 + 1}}));
    EXPECT_EQ(intOf(ops, 1006, "assetId"), 33) << "a still sprite shows its first frame's cell";
}

TEST(CustomScreenRenderer, SpritesShareEightSlotsInPageOrder)
{
    const CustomScreen screen = screenOf({sprite(3), text("a"), sprite(2, {{1, 1}})});
    const QList<PatchOp> ops = renderPage(screen, {}, PageIndicator{}, {});
    EXPECT_EQ(createOf(ops, 1000), (PatchOpCreate{1000, "image", 100, 2}));
    EXPECT_EQ(keysOf(ops, 1000), (QStringList{"x", "y", "w", "h", "assetId"}));
    EXPECT_EQ(intOf(ops, 1000, "w"), 120);
    EXPECT_EQ(intOf(ops, 1000, "h"), 112);
    EXPECT_EQ(intOf(ops, 1000, "assetId"), 32);
    EXPECT_EQ(intOf(ops, 1006, "assetId"), 36) << "cell 1 of the second sheet";

    // The first sheet animates through its own slots only.
    CustomScreen animated = screen;
    std::get<CustomScreen::SpriteWidget>(animated.widgets[0]).frames = {{1, 0}, {1, 2}};
    EXPECT_EQ(layoutOf(animated, {}, 0.5).sprites, (QList<Sprite>{{1000, 32}}));
    EXPECT_EQ(layoutOf(animated, {}, 1.5).sprites, (QList<Sprite>{{1000, 34}}));
}

TEST(CustomScreenRenderer, SparklineSegmentsTakeTheirOwnIdBlock)
{
    const CustomScreen screen = screenOf({text("a"), sparkline()});
    const DisplayValues values{{"load", "1 3 2 4"}};
    Layout layout;
    const QList<PatchOp> ops = buildNodes(screen, values, 0, layout, 0);
    const QList<Rect> segments = std::get<CustomScreen::SparklineWidget>(screen.widgets[1]).segmentRects(values);
    ASSERT_EQ(segments.size(), 7);
    EXPECT_EQ(keysOf(ops, 1003), (QStringList{"x", "y", "w", "h", "bg", "borderWidth", "radius"}));
    for (std::uint32_t j = 0; j < 7; ++j) {
        const std::uint32_t id = 20064 + j;
        EXPECT_EQ(createOf(ops, id), (PatchOpCreate{id, "cont", 1003, std::uint16_t(j)}));
        EXPECT_EQ(colorOf(ops, id, "bg"), 0x00AAFFu);
        EXPECT_EQ(layout.boxes[j], (Box{id, segments[j], 0x00AAFF}));
    }
    EXPECT_FALSE(createOf(ops, 20071));

    CustomScreen::SparklineWidget noPoints = sparkline();
    noPoints.points = 0;
    EXPECT_TRUE(layoutOf(screenOf({noPoints}), {}).boxes.isEmpty());
}

TEST(CustomScreenRenderer, ALongerPlotThanItsIdBlockIsCut)
{
    // Only a screen that skipped validation can hold this many points.
    CustomScreen::SparklineWidget many = sparkline();
    many.points = 40;
    const Layout layout = layoutOf(screenOf({many, sparkline()}), {{"load", "1 2"}});
    QSet<std::uint32_t> ids;
    for (const Box& box : layout.boxes)
        ids.insert(box.id);
    EXPECT_EQ(ids.size(), layout.boxes.size()) << "every id once";
    EXPECT_TRUE(ids.contains(20063));
}

TEST(CustomScreenRenderer, NumbersBeyondTheWireRangeAreClampedNotWrapped)
{
    // Only a screen that skipped validation holds such numbers.
    CustomScreen::BoxWidget box;
    box.rect = {5'000'000'000, -5'000'000'000, 10, 10};
    Layout layout;
    const QList<PatchOp> ops =
        buildNodes(screenOf({box, text("a"), sprite(2, {{1, 4'294'967'296}})}), {}, 65535, layout, 0);
    EXPECT_EQ(intOf(ops, 1000, "x"), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(intOf(ops, 1000, "y"), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(createOf(ops, 1003)->index, 65535) << "a child index past 16 bits stays last, not first";
    EXPECT_EQ(intOf(ops, 1006, "assetId"), std::numeric_limits<std::int32_t>::max());
}

// --- Buttons ------------------------------------------------------------------------------

TEST(CustomScreenRenderer, ButtonStacksIconAndLabelInsideItsBorder)
{
    const CustomScreen screen = screenOf({button(QStringLiteral("Go"), DeviceIcon::ok)});
    Layout layout;
    const QList<PatchOp> ops = buildNodes(screen, {}, 3, layout, 0);
    EXPECT_EQ(createOf(ops, 1000), (PatchOpCreate{1000, "btn", 100, 3}));

    const int innerW = 120 - 4;
    const int innerH = 60 - 4;
    const int iconH = MontserratMetrics::fontForSize(24).lineHeight();
    const int labelH = MontserratMetrics::fontForSize(18).lineHeight();
    const int top = (innerH - iconH - 4 - labelH) / 2;
    const int iw = widthOf(DeviceIcon(DeviceIcon::ok).glyph(), 24);
    const int lw = widthOf(QStringLiteral("Go"), 18);

    EXPECT_EQ(createOf(ops, 1001), (PatchOpCreate{1001, "label", 1000, 0}));
    EXPECT_EQ(intOf(ops, 1001, "x"), (innerW - iw) / 2);
    EXPECT_EQ(intOf(ops, 1001, "y"), top);
    EXPECT_EQ(intOf(ops, 1001, "h"), iconH);
    EXPECT_EQ(intOf(ops, 1001, "fontSize"), 24);
    EXPECT_EQ(textOf(ops, 1001), DeviceIcon(DeviceIcon::ok).glyph());

    EXPECT_EQ(createOf(ops, 1002), (PatchOpCreate{1002, "label", 1000, 1}));
    EXPECT_EQ(intOf(ops, 1002, "y"), top + iconH + 4);
    EXPECT_EQ(intOf(ops, 1002, "x"), (innerW - lw) / 2);
    EXPECT_EQ(intOf(ops, 1002, "w"), lw);
    EXPECT_EQ(colorOf(ops, 1002, "textColor"), 0xFFFFFFu);

    EXPECT_EQ(layout.labels, (QList<Label>{{1002, "Go", (innerW - lw) / 2, lw, 0}}));
    ASSERT_EQ(layout.buttons.size(), 1);
    EXPECT_EQ(layout.buttons[0].rect, (Rect{40, 200, 120, 60}));
    EXPECT_EQ(layout.buttons[0].title, QStringLiteral("Go"));
}

TEST(CustomScreenRenderer, ButtonTitlesAndLoneParts)
{
    CustomScreen::ButtonWidget iconOnly = button({}, DeviceIcon::ok);
    CustomScreen::ButtonWidget bare = button({}, std::nullopt);
    CustomScreen::ButtonWidget labelOnly = button(QStringLiteral("{{gone}}"), std::nullopt);
    labelOnly.rect = {0, 30, 30, 10};
    Layout layout;
    const QList<PatchOp> ops = buildNodes(screenOf({iconOnly, bare, labelOnly}), {{"gone", ""}}, 0, layout, 0);

    const int iconH = MontserratMetrics::fontForSize(24).lineHeight();
    EXPECT_EQ(intOf(ops, 1001, "y"), (56 - iconH) / 2);
    EXPECT_FALSE(createOf(ops, 1002)) << "no text node without a label";
    EXPECT_FALSE(createOf(ops, 1004));
    EXPECT_FALSE(createOf(ops, 1005));

    // A label that fills to nothing shows dashes; a text taller than the button starts at 0.
    EXPECT_EQ(createOf(ops, 1008), (PatchOpCreate{1008, "label", 1006, 0}));
    EXPECT_EQ(textOf(ops, 1008), QStringLiteral("--"));
    EXPECT_EQ(intOf(ops, 1008, "y"), 0);
    EXPECT_LE(*intOf(ops, 1008, "w"), 26);

    QStringList titles;
    for (const Button& b : layout.buttons)
        titles.append(b.title);
    EXPECT_EQ(titles, (QStringList{DeviceIcon(DeviceIcon::ok).label(), "Button", "--"}));
}

TEST(CustomScreenRenderer, ButtonActionCarriesTheUrlOfItsValues)
{
    CustomScreen::ButtonWidget open = button(QStringLiteral("Open"), std::nullopt);
    open.action = MacroAction::openURL(QStringLiteral("https://example.com/{{id}}"));
    const CustomScreen screen = screenOf({open});
    EXPECT_EQ(layoutOf(screen, {{"id", " 42 "}}).buttons[0].action,
              MacroAction::openURL(QStringLiteral("https://example.com/42")));
    EXPECT_EQ(layoutOf(screen, {}).buttons[0].action, MacroAction::openURL(QString()));
}

// --- Conditions ---------------------------------------------------------------------------

TEST(CustomScreenRenderer, ConditionsHideWidgetsAndAlwaysRecordTheirPresence)
{
    CustomScreen screen = screenOf({text("a"), button(QStringLiteral("B"), std::nullopt), text("c")});
    screen.conditions[0] = {QStringLiteral("{{state}}"), false};
    screen.conditions[1] = {QStringLiteral("{{state}}"), false};
    const DisplayValues off{{"state", "  Off "}};

    Layout layout;
    const QList<PatchOp> hidden = buildNodes(screen, off, 0, layout, 0);
    EXPECT_EQ(layout.presences, (QList<Presence>{{1000, true}, {1003, true}}));
    EXPECT_TRUE(layout.buttons.isEmpty()) << "a hidden button cannot be pressed";
    // The hiding edit follows the widget's own nodes.
    const qsizetype afterText = hidden.indexOf(PatchOp::setText(1000, "a"));
    ASSERT_GE(afterText, 0);
    EXPECT_EQ(hidden[afterText + 1], PatchOp::setProps(1000, {DynamicUIDemo::boolProp("hidden", true)}));
    EXPECT_EQ(hidden.back(), PatchOp::setText(1006, "c"));

    screen.conditions[0].hidesWhenTrue = true;
    screen.conditions[1].hidesWhenTrue = true;
    Layout shownLayout;
    const QList<PatchOp> shown = buildNodes(screen, off, 0, shownLayout, 0);
    EXPECT_EQ(shownLayout.presences, (QList<Presence>{{1000, false}, {1003, false}}));
    EXPECT_EQ(shownLayout.buttons.size(), 1);
    for (const PatchOp& op : shown) {
        if (const auto* set = std::get_if<TarvUSB::PatchOpSetProps>(&op.op)) {
            for (const PropEntry& entry : set->props)
                EXPECT_NE(entry.key, QStringLiteral("hidden")) << "a shown widget gets no hidden property";
        }
    }
}

// --- Value-only updates -------------------------------------------------------------------

TEST(CustomScreenUpdates, NothingChangedGivesNothing)
{
    CustomScreen screen = screenOf({text("{{a}}"), bar("{{a}}"), button("{{a}}", DeviceIcon::ok), sprite(2, {{1, 0}, {1, 1}}),
                                    sparkline()});
    screen.conditions[2] = {QStringLiteral("{{a}}"), false};
    const DisplayValues values{{"a", "7"}, {"load", "1 2 3"}};
    EXPECT_TRUE(updateOps(layoutOf(screen, values), layoutOf(screen, values)).isEmpty());
    EXPECT_TRUE(updateOps({}, {}).isEmpty());
}

TEST(CustomScreenUpdates, CentredTextThatGrowsMovesBeforeItsTextChanges)
{
    const CustomScreen centred = screenOf({text("{{n}}", 100, 200, CustomScreen::Alignment::center)});
    const Layout nine = layoutOf(centred, {{"n", "9"}});
    const Layout ten = layoutOf(centred, {{"n", "10"}});
    ASSERT_NE(nine.labels[0].width, ten.labels[0].width);
    EXPECT_EQ(updateOps(nine, ten),
              (QList<PatchOp>{PatchOp::setProps(1000, {DynamicUIDemo::intProp("x", std::int32_t(ten.labels[0].x)),
                                                       DynamicUIDemo::intProp("w", std::int32_t(ten.labels[0].width))}),
                              PatchOp::setText(1000, "10")}));

    const CustomScreen left = screenOf({text("{{n}}", 100, 200)});
    EXPECT_EQ(updateOps(layoutOf(left, {{"n", "9"}}), layoutOf(left, {{"n", "10"}})),
              (QList<PatchOp>{PatchOp::setText(1000, "10")}));
}

TEST(CustomScreenUpdates, ColourSwitchAloneSendsOnlyTheColour)
{
    CustomScreen::TextWidget status = text("Build");
    status.rule = CustomScreen::ColorRule{QStringLiteral("{{state}}"), {}, {{"ok", 0x00FF00}, {"failed", 0xFF0000}}};
    const CustomScreen screen = screenOf({status});
    EXPECT_EQ(updateOps(layoutOf(screen, {{"state", "ok"}}), layoutOf(screen, {{"state", "failed"}})),
              (QList<PatchOp>{PatchOp::setProps(1000, {DynamicUIDemo::colorProp("textColor", 0xFF0000)})}));
}

TEST(CustomScreenUpdates, RisingBarChangesOnlyItsFill)
{
    const CustomScreen screen = screenOf({text("a"), bar("{{cpu}}")});
    EXPECT_EQ(updateOps(layoutOf(screen, {{"cpu", "20"}}), layoutOf(screen, {{"cpu", "30"}})),
              (QList<PatchOp>{PatchOp::setProps(1004, {DynamicUIDemo::intProp("w", 30)})}));
    EXPECT_EQ(updateOps(layoutOf(screen, {{"cpu", "20"}}), layoutOf(screen, {{"cpu", "85"}})),
              (QList<PatchOp>{PatchOp::setProps(1004, {DynamicUIDemo::intProp("w", 85),
                                                       DynamicUIDemo::colorProp("bg", 0xFF0000)})}));
}

TEST(CustomScreenUpdates, SegmentsTheDeviceLacksOrLostAreLeftAlone)
{
    const CustomScreen screen = screenOf({sparkline()});
    Layout sent = layoutOf(screen, {{"load", "5"}});
    const Layout next = layoutOf(screen, {{"load", "1 9 1 9"}});
    // As if the page had been drawn with a shorter plot.
    sent.boxes.resize(4);
    QSet<std::uint32_t> known;
    for (const Box& box : sent.boxes)
        known.insert(box.id);

    const QList<PatchOp> ops = updateOps(sent, next);
    ASSERT_FALSE(ops.isEmpty());
    for (const PatchOp& op : ops) {
        EXPECT_TRUE(known.contains(op.id())) << "no edit for a segment the device lacks";
        const auto* set = std::get_if<TarvUSB::PatchOpSetProps>(&op.op);
        ASSERT_TRUE(set) << "never a create or a remove";
        for (const PropEntry& entry : set->props)
            EXPECT_TRUE(QStringList({"x", "y", "w", "h"}).contains(entry.key)) << entry.key.toStdString();
    }
    // The other way, segments missing from the new Layout keep their last geometry.
    for (const PatchOp& op : updateOps(next, sent))
        EXPECT_TRUE(known.contains(op.id()));
}

TEST(CustomScreenUpdates, ConditionTurningTrueShowsTheWidgetAgain)
{
    CustomScreen screen = screenOf({text("a"), text("b")});
    screen.conditions[1] = {QStringLiteral("{{alert}}"), false};
    EXPECT_EQ(updateOps(layoutOf(screen, {{"alert", "no"}}), layoutOf(screen, {{"alert", "yes"}})),
              (QList<PatchOp>{PatchOp::setProps(1003, {DynamicUIDemo::boolProp("hidden", false)})}));
    EXPECT_EQ(updateOps(layoutOf(screen, {{"alert", "yes"}}), layoutOf(screen, {{"alert", "0"}})),
              (QList<PatchOp>{PatchOp::setProps(1003, {DynamicUIDemo::boolProp("hidden", true)})}));
}

TEST(CustomScreenUpdates, EditsComeInBoxSpritePresenceLabelOrder)
{
    CustomScreen screen = screenOf({text("{{v}}"), bar("{{v}}"), sprite(2, {{1, 0}, {1, 1}})});
    screen.conditions[0] = {QStringLiteral("{{v}}"), true};
    const QList<PatchOp> ops = updateOps(layoutOf(screen, {{"v", "0"}}, 0), layoutOf(screen, {{"v", "50"}}, 1.5));
    QList<std::uint32_t> ids;
    for (const PatchOp& op : ops)
        ids.append(op.id());
    EXPECT_EQ(ids, (QList<std::uint32_t>{1004, 1006, 1000, 1000}));
    EXPECT_EQ(ops[1], PatchOp::setProps(1006, {DynamicUIDemo::intProp("assetId", 33)}));
    EXPECT_EQ(ops.back(), PatchOp::setText(1000, "50"));
}

// Applying the update to the page last sent gives the page the new values describe.
TEST(CustomScreenUpdates, UpdatedTreeMatchesAFreshRender)
{
    CustomScreen::TextWidget status = text("{{state}}", 200, 150, CustomScreen::Alignment::right);
    status.rule = CustomScreen::ColorRule{std::nullopt, {}, {{"ok", 0x00FF00}, {"down", 0xFF0000}}};
    CustomScreen::BoxWidget blink;
    blink.rect = {300, 30, 20, 20};
    blink.frames = {{0.5, {300, 30, 20, 20}, 0xFFFFFF}, {0.5, {302, 32, 16, 16}, 0x000000}};
    CustomScreen screen = screenOf({text("CPU {{cpu}}%", 10, 200, CustomScreen::Alignment::center), status,
                                    bar("{{cpu}}"), button("Restart {{cpu}}", DeviceIcon::ok), blink,
                                    sprite(2, {{0.5, 0}, {0.5, 1}}), sparkline()});
    screen.conditions[3] = {QStringLiteral("{{flag}}"), false};
    screen.conditions[1] = {QStringLiteral("{{flag}}"), true};

    const DisplayValues before{{"cpu", "7"}, {"state", "ok"}, {"load", "1 2 3 4"}, {"flag", "0"}};
    const DisplayValues after{{"cpu", "93.5"}, {"state", "down"}, {"load", "4 3 2 1"}, {"flag", "yes"}};
    const PageIndicator indicator{3, 2};

    TarvFake::FakeWidgetTree device;
    for (const PatchOp& op : renderPage(screen, before, indicator, "9:41"))
        device.apply(op);
    for (const PatchOp& op : updateOps(layoutOf(screen, before, 0), layoutOf(screen, after, 0.7)))
        device.apply(op);
    EXPECT_TRUE(device.errors().isEmpty()) << device.errors().join('\n').toStdString();

    // The fresh render at the same moment of the animations.
    Layout unused;
    QList<PatchOp> fresh = renderPage(screen, after, indicator, "9:41");
    fresh.erase(std::remove_if(fresh.begin(), fresh.end(), [](const PatchOp& op) { return op.id() >= 1000; }),
                fresh.end());
    fresh.append(buildNodes(screen, after, 5, unused, 0.7));
    TarvFake::FakeWidgetTree expected;
    for (const PatchOp& op : fresh)
        expected.apply(op);

    ASSERT_EQ(device.size(), expected.size());
    for (const PatchOp& op : fresh) {
        if (op.kind() != TarvUSB::PatchOpKind::create)
            continue;
        const TarvFake::FakeWidget* got = device.find(op.id());
        const TarvFake::FakeWidget* want = expected.find(op.id());
        ASSERT_TRUE(got && want) << op.id();
        EXPECT_EQ(got->text, want->text) << op.id();
        EXPECT_EQ(got->isHidden(), want->isHidden()) << op.id();
        EXPECT_EQ(got->children, want->children) << op.id();
        // What cannot be seen may differ: "hidden" false against no "hidden", and the
        // colour of a border 0 px wide (a bar fill's border takes its first colour).
        auto visible = [](QMap<QString, TarvUSB::PropValue> props) {
            props.remove(QStringLiteral("hidden"));
            if (props.value(QStringLiteral("borderWidth")) == TarvUSB::PropValue::int32(0))
                props.remove(QStringLiteral("borderColor"));
            return props;
        };
        const auto gotProps = visible(got->props);
        const auto wantProps = visible(want->props);
        EXPECT_EQ(gotProps, wantProps) << op.id();
    }
}

// The page driver re-evaluates only the widgets whose values changed: one value at a time,
// a value gone, a condition, a colour rule's own key, an address and a sparkline's history.
TEST(CustomScreenUpdates, TheFilesCacheGivesWhatAFullBuildGives)
{
    CustomScreen::TextWidget status = text("{{state}}", 200, 150, CustomScreen::Alignment::right);
    status.rule = CustomScreen::ColorRule{QStringLiteral("{{level}}"), {{0, 0x00FF00}, {50, 0xFF0000}}, {}};
    CustomScreen::ButtonWidget open = button("Open {{cpu}}", std::nullopt);
    open.action = MacroAction::openURL(QStringLiteral("https://example.com/{{page}}"));
    CustomScreen::BoxWidget blink;
    blink.rect = {300, 30, 20, 20};
    blink.frames = {{0.5, {300, 30, 20, 20}, 0xFFFFFF}, {0.5, {302, 32, 16, 16}, 0x000000}};
    CustomScreen screen = screenOf({text("CPU {{cpu}}%", 10, 200, CustomScreen::Alignment::center), status,
                                    bar("{{cpu}}"), open, blink, sprite(2, {{0.5, 0}, {0.5, 1}}), sparkline()});
    screen.conditions[3] = {QStringLiteral("{{flag}}"), false};
    screen.conditions[6] = {QStringLiteral("{{flag}}"), true};

    DisplayValues values{{"cpu", "7"}, {"state", "ok"}, {"level", "10"}, {"page", "a"}, {"flag", "0"}, {"load", "5"},
                         {historyKey("load"), "1 2 3 4"}};
    LayoutCache cache(screen.widgets, screen.conditions);
    EXPECT_TRUE(cache.isFor(screen));
    EXPECT_EQ(cache.layout(values, 0), layoutOf(screen, values, 0));
    const QList<std::pair<QString, std::optional<QString>>> changes{
        {"cpu", "93.5"},      {"level", "70"}, {"page", "b?q=1"},       {"flag", "yes"}, {"state", std::nullopt},
        {historyKey("load"), "4 3 2 9"}, {"cpu", std::nullopt}, {"flag", "0"}, {"unread", "1"}};
    double time = 0;
    for (const auto& [key, value] : changes) {
        if (value)
            values.insert(key, *value);
        else
            values.remove(key);
        time += 0.3;
        EXPECT_EQ(cache.layout(values, time), layoutOf(screen, values, time)) << key.toStdString();
    }
}

TEST(CustomScreenUpdates, RepeatedIdsDoNotBreakTheUpdate)
{
    Layout last;
    last.labels = {{1000, "a", 0, 10, 0}, {1000, "b", 0, 10, 0}};
    Layout next;
    next.labels = {{1000, "c", 0, 10, 0}};
    EXPECT_EQ(updateOps(last, next), (QList<PatchOp>{PatchOp::setText(1000, "c")}));
}

// --- Hit tests ----------------------------------------------------------------------------

TEST(CustomScreenHitTest, EdgesOverlapsAndHiddenButtons)
{
    CustomScreen::ButtonWidget under = button("Under", std::nullopt, {10, 40, 100, 50});
    CustomScreen::ButtonWidget over = button("Over", std::nullopt, {60, 60, 100, 50});
    CustomScreen::ButtonWidget hidden = button("Hidden", std::nullopt, {200, 40, 50, 50});
    CustomScreen screen = screenOf({under, over, hidden});
    screen.conditions[2] = {QStringLiteral("{{show}}"), false};
    const Layout layout = layoutOf(screen, {});

    const auto titleAt = [&](std::uint16_t x, std::uint16_t y) {
        const auto hit = hitTestButton(x, y, layout);
        return hit ? hit->title : QStringLiteral("none");
    };
    EXPECT_EQ(titleAt(10, 40), "Under") << "left and top edges are inside";
    EXPECT_EQ(titleAt(109, 89), "Over");
    EXPECT_EQ(titleAt(59, 89), "Under");
    EXPECT_EQ(titleAt(60, 60), "Over") << "the later button lies on top";
    EXPECT_EQ(titleAt(160, 70), "none") << "the right edge is outside";
    EXPECT_EQ(titleAt(100, 110), "none") << "the bottom edge is outside";
    EXPECT_EQ(titleAt(9, 50), "none");
    EXPECT_EQ(titleAt(220, 60), "none") << "a hidden button is not there";
    EXPECT_FALSE(hitTestButton(0, 0, Layout{}));

    const Layout shown = layoutOf(screen, {{"show", "1"}});
    EXPECT_EQ(hitTestButton(220, 60, shown)->title, "Hidden");
}

}  // namespace

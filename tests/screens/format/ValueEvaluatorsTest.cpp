// The value evaluators: filling, numbers, conditions, colours, bars, sparklines and frames.

#include "screens/format/CustomScreen.h"
#include "screens/format/ValueEvaluators.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

DisplayValues values(std::initializer_list<std::pair<const char*, const char*>> pairs)
{
    DisplayValues out;
    for (const auto& [k, v] : pairs)
        out.insert(QString::fromUtf8(k), QString::fromUtf8(v));
    return out;
}

} // namespace

TEST(FillPlaceholdersTest, FillsCutsAndJoinsLines)
{
    EXPECT_EQ(fillPlaceholders(QStringLiteral("Temp {{t}}"), {}), QStringLiteral("Temp --"));
    EXPECT_EQ(fillPlaceholders(QStringLiteral("{{ cpu }} / {{cpu}}"), values({{"cpu", "42"}})),
              QStringLiteral("42 / 42"));
    EXPECT_EQ(fillPlaceholders(QStringLiteral("{{v}}"), values({{"v", "a\nb"}})), QStringLiteral("a b"));
    EXPECT_EQ(fillPlaceholders(QStringLiteral("{{v}}"), values({{"v", "a\r\n\r\nb\n"}})), QStringLiteral("a b"));
    EXPECT_EQ(fillPlaceholders(QStringLiteral(" {{v}}\t"), values({{"v", " x "}})), QStringLiteral("x"));
    EXPECT_EQ(fillPlaceholders(QStringLiteral("{{v}}"), values({{"v", QByteArray(100, 'z').constData()}})),
              QString(64, u'z'));
    // Plain braces stay text.
    EXPECT_EQ(fillPlaceholders(QStringLiteral("{cpu} {{1x}} {{a b}}"), values({{"cpu", "1"}})),
              QStringLiteral("{cpu} {{1x}} {{a b}}"));
}

TEST(FillPlaceholdersTest, FoldsForTheDeviceFont)
{
    EXPECT_EQ(fillPlaceholders(QStringLiteral("{{v}}"), values({{"v", "Brand™ x​y"}})),
              QStringLiteral("Brand(TM) xy"));
    // Cut by characters: a flag is one character of four UTF-16 units.
    QString flags;
    for (int i = 0; i < 70; ++i)
        flags += QStringLiteral("\U0001F1F8\U0001F1EA");
    EXPECT_EQ(fillPlaceholders(QStringLiteral("{{v}}"), {{QStringLiteral("v"), flags}}), flags.left(64 * 4));
}

TEST(UndrawableScalarsTest, ListsWhatTheFontCannotDraw)
{
    EXPECT_EQ(CustomScreen::undrawableScalars(QStringLiteral("CPU 42%"), 14), QString());
    EXPECT_EQ(CustomScreen::undrawableScalars(QStringLiteral("a\U0001F600b\U0001F680"), 24),
              QStringLiteral("\U0001F600\U0001F680"));
    EXPECT_EQ(CustomScreen::undrawableScalars(QString(), 18), QString());
}

TEST(FirstNumberTest, Examples)
{
    EXPECT_EQ(firstNumber(QStringLiteral("CPU 42.5%")), 42.5);
    EXPECT_EQ(firstNumber(QStringLiteral("-3 °C")), -3);
    EXPECT_EQ(firstNumber(QStringLiteral("1,234")), 1);
    EXPECT_EQ(firstNumber(QStringLiteral("1.2.3")), 1.2);
    EXPECT_EQ(firstNumber(QStringLiteral("abc2-3")), 2);
    EXPECT_EQ(firstNumber(QStringLiteral(".5")), 0.5);
    EXPECT_FALSE(firstNumber(QStringLiteral("abc")));
    EXPECT_FALSE(firstNumber(QStringLiteral("- x")));
    EXPECT_FALSE(firstNumber(QString()));
}

TEST(FirstNumberTest, HugeNumbersAreNoNumber)
{
    EXPECT_FALSE(firstNumber(QString(400, u'9')));
    EXPECT_EQ(numbersIn(QStringLiteral("1 1e999 -1e999 2.5e1")), (QList<double>{1, 25}));
}

TEST(ConditionTruthTest, FalsyTexts)
{
    for (const char* falsy : {"0", "Off", " none ", "--", "", "FALSE", "null", "no"})
        EXPECT_FALSE(isTruthy(QStringLiteral("{{v}}"), values({{"v", falsy}}))) << falsy;
    EXPECT_FALSE(isTruthy(QStringLiteral("{{v}}"), {}));
    for (const char* truthy : {"1", "yes", "offline", "0.0"})
        EXPECT_TRUE(isTruthy(QStringLiteral("{{v}}"), values({{"v", truthy}}))) << truthy;
}

TEST(ColorRuleTest, StopsAndMatches)
{
    CustomScreen::ColorRule rule;
    rule.stops = {{0, 0x000001}, {50, 0x000050}, {80, 0x000080}};
    rule.matches = {{QStringLiteral("down"), 0xDD0000}};
    EXPECT_EQ(rule.pickColor(QStringLiteral("72%"), {}), 0x000050u);
    EXPECT_EQ(rule.pickColor(QStringLiteral("80"), {}), 0x000080u);
    EXPECT_FALSE(rule.pickColor(QStringLiteral("-5"), {}));
    EXPECT_FALSE(rule.pickColor(QStringLiteral("n/a"), {}));
    EXPECT_EQ(rule.pickColor(QStringLiteral(" Down\t"), {}), 0xDD0000u);

    rule.by = QStringLiteral("{{state}}");
    EXPECT_EQ(rule.pickColor(QStringLiteral("72%"), values({{"state", "Down"}})), 0xDD0000u);
    EXPECT_EQ(rule.pickColor(QStringLiteral("72%"), values({{"state", "10"}})), 0x000001u);

    CustomScreen::ColorRule matchesOnly;
    matchesOnly.matches = rule.matches;
    EXPECT_FALSE(matchesOnly.pickColor(QStringLiteral("90"), {}));
}

TEST(BarFillTest, PercentOfMax)
{
    CustomScreen::BarWidget bar;
    bar.value = QStringLiteral("{{v}}");
    bar.max = 200;
    EXPECT_EQ(bar.fillColor(values({{"v", "150"}})), 0xFFB020u);
    bar.stops = {{20, 0x000020}, {60, 0x000060}};
    EXPECT_EQ(bar.fillColor(values({{"v", "150"}})), 0x000060u);
    EXPECT_EQ(bar.fillColor(values({{"v", "-10"}})), 0x000020u);
    EXPECT_EQ(bar.fillColor(values({{"v", "1000"}})), 0x000060u);
    EXPECT_EQ(bar.fillColor({}), 0x000020u);
    bar.max = 0;
    EXPECT_EQ(bar.fillColor(values({{"v", "150"}})), 0x000020u);
}

TEST(SparklineTest, SeriesFromValueOrHistory)
{
    CustomScreen::SparklineWidget line;
    line.value = QStringLiteral("{{load}}");
    line.points = 10;
    EXPECT_EQ(line.series(values({{"load", "3 5 8"}})), (QList<double>{3, 5, 8}));
    DisplayValues withHistory = values({{"load", "42"}});
    withHistory.insert(historyKey(QStringLiteral("load")), QStringLiteral("1 2 3 42"));
    EXPECT_EQ(line.series(withHistory), (QList<double>{1, 2, 3, 42}));
    EXPECT_EQ(line.series(values({{"load", "42"}})), (QList<double>{42}));
    EXPECT_TRUE(line.series({}).isEmpty());
}

TEST(SparklineTest, SegmentGeometry)
{
    CustomScreen::SparklineWidget line;
    line.value = QStringLiteral("{{v}}");
    line.rect = {0, 0, 100, 22};
    line.points = 4;
    const auto rects = line.segmentRects(values({{"v", "0 10 5 10"}}));
    ASSERT_EQ(rects.size(), 7);
    using R = CustomScreen::Rect;
    EXPECT_EQ(rects[0], (R{0, 20, 25, 2}));
    EXPECT_EQ(rects[1], (R{23, 0, 2, 22}));
    EXPECT_EQ(rects[2], (R{25, 0, 25, 2}));
    EXPECT_EQ(rects[3], (R{48, 0, 2, 12}));
    EXPECT_EQ(rects[4], (R{50, 10, 25, 2}));

    line.points = 1;
    const auto single = line.segmentRects(values({{"v", "3 5"}}));
    ASSERT_EQ(single.size(), 1);
    EXPECT_EQ(single[0], (R{0, 10, 100, 2}));

    line.points = 3;
    line.rect.h = 2;
    for (const R& r : line.segmentRects(values({{"v", "1 9 4"}})))
        EXPECT_TRUE(r.y == 0) << r.x;

    line.points = 0;
    EXPECT_TRUE(line.segmentRects(values({{"v", "1 2"}})).isEmpty());
}

TEST(SparklineTest, ExtremeNumbersNeverBreakThePlot)
{
    CustomScreen::SparklineWidget line;
    line.value = QStringLiteral("{{v}}");
    line.rect = {0, 0, 60, 42};
    line.points = 3;
    const auto rects = line.segmentRects(values({{"v", "-1.7e308 1.7e308 0 1e999"}}));
    ASSERT_EQ(rects.size(), 5);
    EXPECT_EQ(rects[0].y, 40);
    EXPECT_EQ(rects[2].y, 0);
    EXPECT_EQ(rects[4].y, 20);

    line.min = -std::numeric_limits<double>::max();
    line.max = std::numeric_limits<double>::max();
    for (const auto& r : line.segmentRects(values({{"v", "5 6 7"}}))) {
        EXPECT_GE(r.y, 0);
        EXPECT_LE(r.y + r.h, 42);
    }
}

TEST(AnimationTest, FramesAndNextChange)
{
    CustomScreen::BoxWidget box;
    box.frames = {{1, {}, 0x1}, {2, {}, 0x2}};
    auto frame = box.currentFrame(4.5);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->first.background, 0x2u);
    EXPECT_DOUBLE_EQ(frame->second, 1.5);
    EXPECT_EQ(box.currentFrame(-3)->first.background, 0x1u);

    CustomScreen::BoxWidget still;
    still.frames = {{1, {}, 0x1}};
    EXPECT_FALSE(still.currentFrame(0));
    still.frames = {{0, {}, 0x1}, {0, {}, 0x2}};
    EXPECT_FALSE(still.currentFrame(0));
    still.frames = {{std::numeric_limits<double>::max(), {}, 0x1}, {std::numeric_limits<double>::max(), {}, 0x2}};
    EXPECT_FALSE(still.currentFrame(0));

    CustomScreen screen;
    screen.widgets.append(CustomScreen::TextWidget{});
    EXPECT_FALSE(screen.nextFrameChange(0.2));
    CustomScreen::SpriteWidget sprite;
    sprite.frames = {{0.5, 0}, {0.5, 1}};
    CustomScreen::BoxWidget blink;
    blink.frames = {{1, {}, 0}, {1, {}, 0}};
    screen.widgets.append(sprite);
    screen.widgets.append(blink);
    ASSERT_TRUE(screen.nextFrameChange(0.2));
    EXPECT_DOUBLE_EQ(*screen.nextFrameChange(0.2), 0.3);
    EXPECT_EQ(sprite.currentFrame(0.7)->first, 1);
}

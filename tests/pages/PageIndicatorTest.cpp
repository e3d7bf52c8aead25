#include "PageOps.h"
#include "pages/DeviceScreen.h"
#include "pages/PageDots.h"
#include "pages/PageIndicator.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

using Dot = PageIndicator::Dot;

QList<int> xs(const QList<Dot>& dots)
{
    QList<int> out;
    for (const Dot& d : dots)
        out.append(d.x);
    return out;
}

TEST(PageIndicator, FivePagesCentreTheRowOnTheActiveDot)
{
    const QList<Dot> dots = PageIndicator{5, 2}.dots();
    EXPECT_EQ(xs(dots), (QList<int>{188, 212, 230, 260, 284}));
    for (const Dot& d : dots)
        EXPECT_EQ(d.y, 304);
    EXPECT_EQ(dots[2], (Dot{230, 304, 20, 8, true}));
    EXPECT_EQ(dots[0], (Dot{188, 304, 8, 8, false}));
}

TEST(PageIndicator, OneAndTwoPages)
{
    EXPECT_EQ(PageIndicator({1, 0}).dots(), (QList<Dot>{{230, 304, 20, 8, true}}));
    EXPECT_EQ(PageIndicator({2, 1}).dots(), (QList<Dot>{{224, 304, 8, 8, false}, {242, 304, 20, 8, true}}));
}

TEST(PageIndicator, TwentyPagesShowAWindowWithSmallEndDots)
{
    const QList<Dot> dots = PageIndicator{20, 10}.dots();
    ASSERT_EQ(dots.size(), 12);
    EXPECT_EQ(dots.first(), (Dot{106, 306, 4, 4, false}));
    EXPECT_EQ(xs(dots.mid(1, 5)), (QList<int>{128, 152, 176, 200, 224}));
    EXPECT_EQ(dots[6], (Dot{242, 304, 20, 8, true}));
    EXPECT_EQ(xs(dots.mid(7, 4)), (QList<int>{272, 296, 320, 344}));
    EXPECT_EQ(dots.last(), (Dot{370, 306, 4, 4, false}));
}

TEST(PageIndicator, ThirteenPagesClipOnlyTheEnd)
{
    const QList<Dot> dots = PageIndicator{13, 6}.dots();
    ASSERT_EQ(dots.size(), 12);
    EXPECT_EQ(dots[0].width, 8);  // page 0 is in the window: nothing lies before it
    EXPECT_EQ(dots[6], (Dot{242, 304, 20, 8, true}));
    EXPECT_EQ(dots.last(), (Dot{370, 306, 4, 4, false}));
}

TEST(PageIndicator, NoDotsWithoutAValidActivePage)
{
    EXPECT_TRUE(PageIndicator({5, std::nullopt}).dots().isEmpty());
    EXPECT_TRUE(PageIndicator({5, 5}).dots().isEmpty());
    EXPECT_TRUE(PageIndicator({5, -1}).dots().isEmpty());
    EXPECT_TRUE(PageIndicator({0, 0}).dots().isEmpty());
    EXPECT_TRUE(DynamicUIDemo::pageIndicatorOps({4, std::nullopt}, 110, 2).isEmpty());
}

TEST(PageIndicator, DotWidgetsAreAdjacentCreateAndStylePairs)
{
    const QList<TarvUSB::PatchOp> ops = DynamicUIDemo::pageIndicatorOps({3, 0}, 480, 3);
    ASSERT_EQ(ops.size(), 6);
    EXPECT_EQ(ops[0], TarvUSB::PatchOp::create(480, "cont", 100, 3));
    QList<TarvUSB::PropEntry> active = PageOps::ints({{"x", 206}, {"y", 304}, {"w", 20}, {"h", 8}});
    active.append({"bg", TarvUSB::PropValue::color(0xFFB020)});
    active.append(PageOps::ints({{"borderWidth", 0}, {"radius", 4}}));
    EXPECT_EQ(ops[1], TarvUSB::PatchOp::setProps(480, active));
    EXPECT_EQ(ops[4], TarvUSB::PatchOp::create(482, "cont", 100, 5));
    EXPECT_EQ(PageOps::colorOf(ops, 482, "bg"), 0x2A2E34u);
}

const QList<DeviceScreen> swipeList{DeviceScreen::home(), DeviceScreen::stocks(), DeviceScreen::calculator(),
                                    DeviceScreen::nowPlaying(), DeviceScreen::custom("weather")};

TEST(DeviceScreen, SwipesNeedSixtyHorizontalPixels)
{
    EXPECT_EQ(DeviceScreen::swipeTarget(-60, 0, swipeList, DeviceScreen::home()), DeviceScreen::stocks());
    EXPECT_EQ(DeviceScreen::swipeTarget(-59, 0, swipeList, DeviceScreen::home()), std::nullopt);
    EXPECT_EQ(DeviceScreen::swipeTarget(-80, 80, swipeList, DeviceScreen::stocks()), std::nullopt);
    EXPECT_EQ(DeviceScreen::swipeTarget(80, 79, swipeList, DeviceScreen::stocks()), DeviceScreen::home());
    EXPECT_EQ(DeviceScreen::swipeTarget(INT_MIN, 0, swipeList, DeviceScreen::home()), DeviceScreen::stocks());
}

TEST(DeviceScreen, SwipesStopAtBothEndsAndOffTheList)
{
    EXPECT_EQ(DeviceScreen::swipeTarget(100, 0, swipeList, DeviceScreen::home()), std::nullopt);
    EXPECT_EQ(DeviceScreen::swipeTarget(-100, 0, swipeList, DeviceScreen::custom("weather")), std::nullopt);
    EXPECT_EQ(DeviceScreen::swipeTarget(100, 0, swipeList, DeviceScreen::custom("weather")), DeviceScreen::nowPlaying());
    EXPECT_EQ(DeviceScreen::swipeTarget(-100, 0, swipeList, DeviceScreen::screensaver()), std::nullopt);
    EXPECT_EQ(DeviceScreen::swipeTarget(-100, 0, {}, DeviceScreen::home()), std::nullopt);
}

TEST(DeviceScreen, CustomPagesCompareByExactID)
{
    EXPECT_EQ(DeviceScreen::custom("a"), DeviceScreen::custom("a"));
    EXPECT_NE(DeviceScreen::custom("a"), DeviceScreen::custom("A"));
    EXPECT_NE(DeviceScreen::custom("home"), DeviceScreen::home());
    EXPECT_EQ(DeviceScreen::custom("home").id(), "home");
    EXPECT_EQ(DeviceScreen::nowPlaying().id(), "nowPlaying");
    EXPECT_EQ(DeviceScreen::nowPlaying().title(), "Now Playing");
    EXPECT_EQ(qHash(DeviceScreen::custom("a")), qHash(DeviceScreen::custom("a")));
}

}  // namespace

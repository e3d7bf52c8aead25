#include "PageOps.h"
#include "pages/StockChart.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using namespace DynamicUIDemo;
using namespace PageOps;
using TarvUSB::PatchOp;

StockQuote quoteWithChart(QList<double> chart)
{
    StockQuote q;
    q.symbol = "TEST";
    q.chart = std::move(chart);
    return q;
}

struct Box {
    int x, y, w, h;
    friend bool operator==(const Box&, const Box&) = default;
};

QList<Box> boxes(const QList<PatchOp>& ops)
{
    QList<Box> out;
    for (const PatchOp& op : ops) {
        if (const auto* s = std::get_if<TarvUSB::PatchOpSetProps>(&op.op))
            out.append({*intOf(ops, s->id, "x"), *intOf(ops, s->id, "y"), *intOf(ops, s->id, "w"), *intOf(ops, s->id, "h")});
    }
    return out;
}

TEST(StockChart, TooFewPointsOrTooSmallABudgetDrawNothing)
{
    EXPECT_TRUE(sparklineOps(quoteWithChart({}), 0, 610, true, 24).isEmpty());
    EXPECT_TRUE(sparklineOps(quoteWithChart({5}), 0, 610, true, 24).isEmpty());
    EXPECT_TRUE(sparklineOps(quoteWithChart({5, 6}), 0, 610, true, 3).isEmpty());
}

TEST(StockChart, FlatChartWithoutBaselineIsOneLineAcrossTheCard)
{
    const QList<PatchOp> ops = sparklineOps(quoteWithChart({5, 5, 5, 5, 5}), 1, 620, true, 24);
    ASSERT_EQ(ops.size(), 2);
    EXPECT_EQ(ops[0], PatchOp::create(964, "cont", 620, 4));
    EXPECT_EQ(boxes(ops), (QList<Box>{{12, 77, 196, 2}}));
    EXPECT_EQ(keysOf(ops, 964), (QStringList{"x", "y", "w", "h", "bg", "borderWidth", "radius"}));
}

TEST(StockChart, OnlyTheFirstTwentyFourPointsCount)
{
    QList<double> chart(24, 5.0);
    chart.append(QList<double>(6, 1000.0));
    EXPECT_EQ(boxes(sparklineOps(quoteWithChart(chart), 0, 610, true, 24)), (QList<Box>{{12, 77, 196, 2}}));
}

TEST(StockChart, StepsWithJointsAndPreviousCloseBaseline)
{
    StockQuote q = quoteWithChart({100, 102});
    q.price = 102;
    q.percentageChange = 1;  // previous close 100.99, inside the chart's range
    const QList<PatchOp> ops = sparklineOps(q, 0, 610, true, 24);
    ASSERT_EQ(ops.size(), 8);
    EXPECT_EQ(ops[0], PatchOp::create(900, "cont", 610, 4));
    EXPECT_EQ(boxes(ops), (QList<Box>{{12, 78, 196, 1}, {12, 89, 98, 2}, {108, 65, 2, 26}, {110, 65, 98, 2}}));
    EXPECT_EQ(colorOf(ops, 900, "bg"), 0x2A2E34u);
    EXPECT_EQ(ops[2], PatchOp::create(901, "cont", 610, 5));
    // The oldest run is the darkest, the newest has the full line colour.
    EXPECT_EQ(colorOf(ops, 901, "bg"), 0x286340u);
    EXPECT_EQ(colorOf(ops, 903, "bg"), 0x3FBF6Fu);
}

TEST(StockChart, PreviousCloseFarOutsideTheRangeDrawsNoBaseline)
{
    StockQuote q = quoteWithChart({100, 101});
    q.price = 100;
    q.percentageChange = -50;  // previous close 200
    const QList<PatchOp> ops = sparklineOps(q, 0, 610, false, 24);
    EXPECT_EQ(boxes(ops), (QList<Box>{{12, 89, 98, 2}, {108, 65, 2, 26}, {110, 65, 98, 2}}));
    EXPECT_EQ(colorOf(ops, 902, "bg"), 0xE5484Du);
}

TEST(StockChart, AJaggedChartIsResampledUntilItFitsTheBudget)
{
    QList<double> chart;
    for (int i = 0; i < 24; ++i)
        chart.append(i % 2 == 0 ? 100 : 110);
    // 24 runs: 47 rectangles at full resolution.
    EXPECT_EQ(sparklineOps(quoteWithChart(chart), 0, 610, true, 64).size(), 2 * 47);

    for (int budget : {24, 16, 8, 4}) {
        const QList<PatchOp> ops = sparklineOps(quoteWithChart(chart), 0, 610, true, budget);
        EXPECT_LE(ops.size() / 2, budget) << budget;
        EXPECT_GE(ops.size() / 2, 1) << budget;
    }

    StockQuote withBaseline = quoteWithChart(chart);
    withBaseline.price = 110;
    withBaseline.percentageChange = 5;
    EXPECT_LE(sparklineOps(withBaseline, 0, 610, true, 24).size() / 2, 24);
}

TEST(StockChart, NumbersThatAreNoNumbersNeverReachAPixel)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(sparklineOps(quoteWithChart({nan, inf, 5}), 0, 610, true, 24).isEmpty());

    StockQuote extreme = quoteWithChart({1e308, -1e308, 0, nan, 5});
    extreme.price = 1e308;
    extreme.percentageChange = -99.999;
    for (const Box& b : boxes(sparklineOps(extreme, 0, 610, true, 24))) {
        EXPECT_GE(b.y, 65);
        EXPECT_LE(b.y + b.h, 92);
    }

    StockQuote nanPrice = quoteWithChart({1, 2});
    nanPrice.price = nan;
    nanPrice.percentageChange = nan;
    EXPECT_EQ(sparklineOps(nanPrice, 0, 610, true, 24).size(), 2 * 3);
}

TEST(StockChart, BlendColorPerChannelWithClampedFraction)
{
    EXPECT_EQ(blendColor(0x000000, 0xFFFFFF, 0.5), 0x808080u);
    EXPECT_EQ(blendColor(0x102030, 0xFFFFFF, 0), 0x102030u);
    EXPECT_EQ(blendColor(0x102030, 0xA0B0C0, 2), 0xA0B0C0u);
    EXPECT_EQ(blendColor(0x102030, 0xA0B0C0, -1), 0x102030u);
    EXPECT_EQ(blendColor(0x102030, 0xA0B0C0, std::nan("")), 0x102030u);
}

}  // namespace

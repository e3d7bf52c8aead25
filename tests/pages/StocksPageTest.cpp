#include "PageOps.h"
#include "device/MontserratMetrics.h"
#include "pages/StocksPage.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

using namespace DynamicUIDemo;
using namespace PageOps;
using TarvUSB::PatchOp;

const PageIndicator fourPages{4, 1};

StockQuote quote(QString symbol, double price, double change, bool realTime = true)
{
    StockQuote q;
    q.symbol = symbol;
    q.companyName = symbol + " Inc.";
    q.price = price;
    q.percentageChange = change;
    q.isRealTime = realTime;
    return q;
}

QList<double> jagged()
{
    QList<double> chart;
    for (int i = 0; i < 24; ++i)
        chart.append(i % 2 == 0 ? 100 : 104);
    return chart;
}

int createdNodes(const QList<PatchOp>& ops)
{
    return int(std::count_if(ops.cbegin(), ops.cend(), [](const PatchOp& op) { return op.kind() == TarvUSB::PatchOpKind::create; }));
}

TEST(StocksPage, NoQuotesShowFourPlaceholders)
{
    const auto lists = stocksPageOps({}, "9:41 AM", fourPages);
    ASSERT_EQ(lists.size(), 1);
    const QList<PatchOp>& ops = lists[0];
    // Prefix 3, top bar 6, heading 3, badge 5, four cards of 14 (no charts), four dots 8.
    EXPECT_EQ(ops.size(), 3 + 6 + 3 + 5 + 4 * 14 + 8);
    EXPECT_EQ(textOf(ops, 603), "Markets");
    EXPECT_EQ(textOf(ops, 605), "DELAYED 15M");
    for (std::uint32_t card : {610u, 620u, 630u, 640u}) {
        EXPECT_EQ(textOf(ops, card + 1), "--");
        EXPECT_EQ(textOf(ops, card + 2), "Unavailable");
        EXPECT_EQ(textOf(ops, card + 3), "--");
        EXPECT_EQ(textOf(ops, card + 4), "UNAVAILABLE");
        EXPECT_EQ(colorOf(ops, card + 4, "textColor"), 0x6B747Eu);
        EXPECT_EQ(intOf(ops, card + 4, "fontSize"), 14);
    }
    EXPECT_EQ(createOf(ops, 601)->index, 0);
    EXPECT_EQ(createOf(ops, 602)->index, 1);
    EXPECT_EQ(createOf(ops, 640)->index, 7);
    EXPECT_EQ(createOf(ops, 680)->index, 8);
    expectSendable(ops);
}

TEST(StocksPage, CardsBadgeAndChangeColours)
{
    const QList<StockQuote> quotes{quote("AAPL", 187.5, 1.234), quote("NVDA", 901, -0.4), quote("TSLA", 170, 0),
                                   quote("SPY", 500, 2), quote("MSFT", 400, 1)};
    const QList<PatchOp> ops = stocksPageOps(quotes, "", fourPages)[0];
    EXPECT_EQ(textOf(ops, 605), "REAL TIME");
    const int tw = MontserratMetrics::textWidth(u"REAL TIME", 14);
    EXPECT_EQ(intOf(ops, 604, "x"), 464 - (tw + 24));
    EXPECT_EQ(textOf(ops, 613), "187.50");
    EXPECT_EQ(textOf(ops, 614), "+1.23%");
    EXPECT_EQ(colorOf(ops, 614, "textColor"), 0x3FBF6Fu);
    EXPECT_EQ(intOf(ops, 614, "fontSize"), 18);
    EXPECT_EQ(colorOf(ops, 624, "textColor"), 0xE5484Du);
    EXPECT_EQ(colorOf(ops, 634, "textColor"), 0x3FBF6Fu);  // a change of 0 counts as rising
    EXPECT_EQ(intOf(ops, 620, "x"), 244);
    EXPECT_EQ(intOf(ops, 630, "y"), 172);
    const int pw = MontserratMetrics::textWidth(u"187.50", 24);
    EXPECT_EQ(intOf(ops, 613, "x"), 208 - pw);
    // The fifth quote is not shown.
    for (const PatchOp& op : ops) {
        if (const auto* t = std::get_if<TarvUSB::PatchOpSetText>(&op.op)) {
            EXPECT_NE(t->text, "MSFT");
        }
    }

    QList<StockQuote> delayed = quotes.mid(0, 4);
    delayed[3].isRealTime = false;
    EXPECT_EQ(textOf(stocksPageOps(delayed, "", fourPages)[0], 605), "DELAYED 15M");
}

TEST(StocksPage, LongTextsAreCutToTheCard)
{
    StockQuote q = quote("VERYLONGSYMBOL", 1234567.25, -12.5);
    q.companyName = "International Business Machines Corporation of Armonk";
    const QList<PatchOp> ops = quoteCardOps(q, 0, 24);
    EXPECT_EQ(textOf(ops, 611), "VERYLONG");
    const QString company = *textOf(ops, 612);
    EXPECT_TRUE(company.endsWith("..."));
    const int pw = MontserratMetrics::textWidth(u"1234567.25", 24);
    EXPECT_LE(MontserratMetrics::textWidth(company, 14), 188 - pw);
}

TEST(StocksPage, FourFullChartsKeepTheNodeBudget)
{
    QList<StockQuote> quotes;
    for (const char* s : {"AAPL", "NVDA", "TSLA", "SPY"}) {
        StockQuote q = quote(s, 104, 4);  // previous close 100: a baseline on every chart
        q.chart = jagged();
        quotes.append(q);
    }
    for (const PageIndicator& indicator : {PageIndicator{4, 1}, PageIndicator{20, 1}, PageIndicator{4, std::nullopt}}) {
        const QList<PatchOp> ops = stocksPageOps(quotes, "12:00 PM", indicator)[0];
        EXPECT_LE(createdNodes(ops), 127);  // plus the screen's own root
        EXPECT_TRUE(createOf(ops, 900));
        expectSendable(ops);
    }
}

TEST(StocksPage, NonFinitePricesShowAsMissing)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    StockQuote q = quote("X", nan, std::numeric_limits<double>::infinity());
    q.chart = {1, nan, 2};
    const QList<PatchOp> ops = quoteCardOps(q, 2, 24);
    EXPECT_EQ(textOf(ops, 633), "--");
    EXPECT_EQ(textOf(ops, 634), "UNAVAILABLE");
    EXPECT_EQ(colorOf(ops, 634, "textColor"), 0x6B747Eu);
    EXPECT_TRUE(createOf(ops, 900 + 128));
}

}  // namespace

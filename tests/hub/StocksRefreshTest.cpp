// The stock refresh of the hub against a fake quote server on 127.0.0.1: what the device is
// sent, and that refreshes never overlap.

#include "hub/HubFixture.h"
#include "support/FakeQuoteServer.h"

namespace {

class StocksRefreshTest : public HubTest {
protected:
    FakeQuoteServer server;

    void SetUp() override
    {
        ASSERT_TRUE(server.start());
        settings->setText(StockService::serviceBaseKey, server.base());
    }

    void found(const QString& symbol, const QString& price)
    {
        server.info(symbol, QStringLiteral("stocks"),
                    {200, FakeQuoteServer::infoBody(symbol, symbol + QStringLiteral(" Inc."), price, "+1.00%", true)});
        server.chart(symbol, QStringLiteral("stocks"), {200, FakeQuoteServer::chartBody(30)});
    }

    bool pageDelivered() const { return hub->queuedFrames().isEmpty() && hub->outstandingAcks().isEmpty(); }

    QString textOf(std::uint32_t id) const
    {
        const TarvFake::FakeWidget* widget = device.widgets().find(id);
        return widget ? widget->text : QStringLiteral("<none>");
    }
};

TEST_F(StocksRefreshTest, ShowingThePageFetchesTheQuotesAndDrawsThemInSlotOrder)
{
    stocks.setSymbol(0, QStringLiteral("TSLA"));
    stocks.setSymbol(1, QStringLiteral("AAPL"));
    stocks.setSymbol(2, QString());
    stocks.setSymbol(3, QStringLiteral("SPY"));
    found(QStringLiteral("TSLA"), QStringLiteral("$250.00"));
    found(QStringLiteral("AAPL"), QStringLiteral("$190.00"));
    server.info(QStringLiteral("SPY"), QStringLiteral("stocks"), {403, {}});

    connectAndGreet();
    const QStringList problemsBefore = device.problems();
    hub->showScreen(DeviceScreen::stocks());
    ASSERT_TRUE(waitUntil([&] { return textOf(613) == u"250.00" && pageDelivered(); }));

    EXPECT_EQ(textOf(611), "TSLA");
    EXPECT_EQ(textOf(621), "AAPL");
    EXPECT_EQ(textOf(623), "190.00");
    EXPECT_EQ(textOf(631), "");
    EXPECT_EQ(textOf(641), "SPY");
    EXPECT_EQ(textOf(643), "--");
    EXPECT_FALSE(stocks.isRefreshing());
    // The reason is the first failed symbol's.
    EXPECT_EQ(stocks.errorMessage(), StockStore::refreshFailedMessage +
                                         QStringLiteral(" (SPY: the quote service did not answer as expected)"));
    EXPECT_EQ(stocks.lastUpdated(), wallNow);
    EXPECT_EQ(device.problems(), problemsBefore);
    EXPECT_EQ(logCount(StockStore::refreshFailedMessage), 0) << "the message stays out of the connection log";
}

TEST_F(StocksRefreshTest, ARefreshWhileOneAwaitsItsQuotesDoesNothingAndAFailedOneKeepsTheLastQuotes)
{
    stocks.setSymbol(0, QStringLiteral("AAPL"));
    for (int slot = 1; slot < StockStore::slotCount; ++slot)
        stocks.setSymbol(slot, QString());
    found(QStringLiteral("AAPL"), QStringLiteral("$190.00"));
    connectAndGreet();

    // The page's own refresh comes on the next turn of the loop, while this one awaits.
    hub->showScreen(DeviceScreen::stocks());
    hub->refreshStockQuotes();
    hub->refreshStockQuotes();
    ASSERT_TRUE(waitUntil([&] { return textOf(613) == u"190.00" && pageDelivered(); }));
    roundTrip();
    EXPECT_EQ(server.requests.size(), 2) << server.targets().join(u' ').toStdString();
    EXPECT_EQ(stocks.errorMessage(), std::nullopt);
    const QDateTime firstUpdate = wallNow;

    // Every symbol failing: the page is sent again with the last quotes. A quarter of an hour
    // without a touch would start the screensaver at the next tick of the hub's own timer,
    // which may come while the test waits: it is off here.
    server.info(QStringLiteral("AAPL"), QStringLiteral("stocks"), {500, {}});
    hub->setScreensaverEnabled(false);
    advance(std::chrono::minutes(15));
    const qsizetype patchesBefore = count<TarvUSB::PatchPayload>();
    hub->refreshStockQuotes();
    ASSERT_TRUE(waitUntil([&] { return count<TarvUSB::PatchPayload>() > patchesBefore && pageDelivered(); }));
    EXPECT_EQ(textOf(613), "190.00");
    EXPECT_TRUE(stocks.errorMessage()->startsWith(StockStore::refreshFailedMessage + QStringLiteral(" (AAPL: ")));
    EXPECT_EQ(stocks.lastUpdated(), firstUpdate);

    // Away from the page, a refresh sends nothing.
    hub->showScreen(DeviceScreen::calculator());
    ASSERT_TRUE(waitUntil([&] { return pageDelivered(); }));
    const qsizetype patchesAway = count<TarvUSB::PatchPayload>();
    hub->refreshStockQuotes();
    ASSERT_TRUE(waitUntil([&] { return !stocks.isRefreshing(); }));
    roundTrip();
    EXPECT_EQ(count<TarvUSB::PatchPayload>(), patchesAway);
}

}  // namespace

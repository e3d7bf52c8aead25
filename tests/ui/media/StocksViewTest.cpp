// The Stocks page in the main window: symbols normalised as they are typed with the caret kept,
// company names, and a refresh on demand against a fake quote server.

#include "app/ShellFixture.h"
#include "support/FakeQuoteServer.h"
#include "ui/media/StocksView.h"
#include "ui/widgets/SymbolLabel.h"

#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

namespace {

class StocksViewTest : public ShellTest {
protected:
    QWidget& page()
    {
        if (!window) {
            makeWindow();
            window->select(SidebarItem::stocks);
            window->show();
        }
        return *window->findChild<QWidget*>(QStringLiteral("stocksPage"));
    }
    template <class T> T* find(const QString& name)
    {
        T* found = page().findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name.toStdString();
        return found;
    }
    QLineEdit* field(int slot) { return find<QLineEdit>(QStringLiteral("symbolField%1").arg(slot + 1)); }
    QString company(int slot) { return find<QLabel>(QStringLiteral("companyName%1").arg(slot + 1))->text(); }
    bool errorShown() { return find<QWidget>(QStringLiteral("refreshError"))->isVisible(); }

    static StockQuote quote(const QString& symbol, const QString& company)
    {
        StockQuote q;
        q.symbol = symbol;
        q.companyName = company;
        return q;
    }
};

TEST_F(StocksViewTest, TypedSymbolsAreNormalisedInTheFieldAndTheStoreWithTheCaretKept)
{
    QLineEdit* first = field(0);
    EXPECT_EQ(first->text(), QStringLiteral("AAPL"));
    EXPECT_EQ(field(3)->text(), QStringLiteral("SPY"));

    first->selectAll();
    QTest::keyClicks(first, QStringLiteral("brk.b"));
    EXPECT_EQ(first->text(), QStringLiteral("BRK.B"));
    EXPECT_EQ(stocks.symbols()[0], QStringLiteral("BRK.B"));
    EXPECT_EQ(first->cursorPosition(), 5);

    // A dropped character leaves the field as it was, the caret where it was typed.
    first->setCursorPosition(3);
    QTest::keyClicks(first, QStringLiteral("$ "));
    EXPECT_EQ(first->text(), QStringLiteral("BRK.B"));
    EXPECT_EQ(first->cursorPosition(), 3);
    QTest::keyClicks(first, QStringLiteral("x"));
    EXPECT_EQ(first->text(), QStringLiteral("BRKX.B"));
    EXPECT_EQ(first->cursorPosition(), 4);

    // Beyond eight kept characters the end is cut, wherever the typing happened.
    first->setCursorPosition(1);
    QTest::keyClicks(first, QStringLiteral("qq-z"));
    EXPECT_EQ(first->text(), QStringLiteral("BQQ-ZRKX"));
    EXPECT_EQ(stocks.symbols()[0], QStringLiteral("BQQ-ZRKX"));
    EXPECT_EQ(first->cursorPosition(), 5);

    // Cleared, the slot stores nothing; the other slots are untouched.
    first->selectAll();
    QTest::keyClick(first, Qt::Key_Backspace);
    EXPECT_EQ(stocks.symbols(),
              (QStringList{QString(), QStringLiteral("NVDA"), QStringLiteral("TSLA"), QStringLiteral("SPY")}));
}

TEST_F(StocksViewTest, CompanyNamesComeFromTheFirstQuoteOfTheSymbolUnlessTheyRepeatIt)
{
    stocks.setSymbol(1, QStringLiteral("AAPL"));
    stocks.setSymbol(3, QStringLiteral("SPY"));
    stocks.beginRefresh();
    stocks.applyRefresh({quote(QStringLiteral("AAPL"), QStringLiteral("Apple Inc.")),
                         quote(QStringLiteral("SPY"), QStringLiteral("SPY"))},
                        std::nullopt, QDateTime(QDate(2025, 3, 14), QTime(15, 4)));
    EXPECT_EQ(company(0), QStringLiteral("Apple Inc."));
    EXPECT_EQ(company(1), QStringLiteral("Apple Inc."));
    EXPECT_EQ(company(2), QString());
    EXPECT_EQ(company(3), QString());
    EXPECT_EQ(find<QLabel>(QStringLiteral("lastUpdatedValue"))->text(), QStringLiteral("3:04 PM"));

    field(0)->selectAll();
    QTest::keyClick(field(0), Qt::Key_Backspace);
    EXPECT_EQ(company(0), QString());
}

TEST_F(StocksViewTest, RefreshNowShowsItsProgressThenTheMessageOfAPartialFailure)
{
    FakeQuoteServer server;
    ASSERT_TRUE(server.start());
    settings->setText(StockService::serviceBaseKey, server.base());
    for (int slot = 2; slot < StockStore::slotCount; ++slot)
        stocks.setSymbol(slot, QString());
    server.info(QStringLiteral("AAPL"), QStringLiteral("stocks"),
                {200, FakeQuoteServer::infoBody(QStringLiteral("AAPL"), QStringLiteral("Apple Inc. Common Stock"),
                                                QStringLiteral("$190.00"), QStringLiteral("+1.00%"), true)});
    server.chart(QStringLiteral("AAPL"), QStringLiteral("stocks"), {200, FakeQuoteServer::chartBody(30)});
    // NVDA: the service knows nothing of it.
    server.info(QStringLiteral("NVDA"), QStringLiteral("stocks"), {200, FakeQuoteServer::noDataBody()});

    EXPECT_EQ(find<QLabel>(QStringLiteral("lastUpdatedValue"))->text(), QStringLiteral("Never"));
    auto* refresh = find<QPushButton>(QStringLiteral("refreshNowButton"));
    EXPECT_FALSE(find<QProgressBar>(QStringLiteral("refreshProgress"))->isVisible());
    // What the page shows while the refresh runs, seen the moment it starts (the local
    // server may answer before the test looks again).
    std::optional<std::pair<bool, bool>> whileRefreshing;
    QObject::connect(&stocks, &StockStore::isRefreshingChanged, &page(), [&] {
        if (stocks.isRefreshing())
            whileRefreshing = {refresh->isEnabled(), find<QProgressBar>(QStringLiteral("refreshProgress"))->isVisible()};
    });
    QTest::mouseClick(refresh, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return whileRefreshing && !stocks.isRefreshing(); }));
    EXPECT_EQ(*whileRefreshing, std::make_pair(false, true));
    EXPECT_TRUE(refresh->isEnabled());
    EXPECT_FALSE(find<QProgressBar>(QStringLiteral("refreshProgress"))->isVisible());
    EXPECT_TRUE(errorShown());
    // With the reason of the symbol that failed.
    EXPECT_TRUE(find<SymbolLabel>(QStringLiteral("refreshError"))
                    ->text()
                    .startsWith(StockStore::refreshFailedMessage + QStringLiteral(" (NVDA: ")));
    EXPECT_EQ(company(0), stocks.quotes().value(0).companyName);
    EXPECT_FALSE(company(0).isEmpty());
    EXPECT_EQ(find<QLabel>(QStringLiteral("lastUpdatedValue"))->text(),
              QLocale().toString(stocks.lastUpdated()->toLocalTime().time(), QLocale::ShortFormat));

    // The next refresh that gets every quote takes the message away.
    stocks.setSymbol(1, QString());
    QTest::mouseClick(refresh, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return !errorShown() && !stocks.isRefreshing(); }));
}

}  // namespace

// The stock store on temporary settings: its symbols, the merge of a refresh and what it keeps.

#include "media/StockStore.h"
#include "platform/Settings.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <limits>
#include <memory>

namespace {

StockQuote quote(const QString& symbol, std::optional<double> price, QList<double> chart = {})
{
    StockQuote q;
    q.symbol = symbol;
    q.companyName = symbol + QStringLiteral(" Co");
    q.price = price;
    q.percentageChange = price ? std::optional<double>(0.5) : std::nullopt;
    q.isRealTime = true;
    q.chart = std::move(chart);
    return q;
}

class StockStoreTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    Settings settings{dir.filePath(QStringLiteral("Tarv.conf"))};
    const QDateTime at = QDateTime(QDate(2025, 3, 14), QTime(9, 41));

    void storeSymbols(const QByteArray& json) { settings.setBytes(StockStore::symbolsKey, json); }
};

TEST_F(StockStoreTest, AnythingButFourStoredSymbolsStartsWithTheDefaultsWithoutWritingThem)
{
    storeSymbols(R"(["MSFT","AMZN","META"])");
    StockStore store(settings);
    EXPECT_EQ(store.symbols(), QStringList({"AAPL", "NVDA", "TSLA", "SPY"}));
    EXPECT_EQ(settings.bytes(StockStore::symbolsKey), R"(["MSFT","AMZN","META"])");
    EXPECT_TRUE(store.quotes().isEmpty());
    EXPECT_FALSE(store.lastUpdated().has_value());

    storeSymbols(R"(["MSFT","","AMZN",7])");
    EXPECT_EQ(StockStore(settings).symbols(), StockStore::defaultSymbols());
    storeSymbols(R"(["MSFT","","AMZN","META"])");
    EXPECT_EQ(StockStore(settings).symbols(), QStringList({"MSFT", "", "AMZN", "META"}));
}

TEST_F(StockStoreTest, TypedSymbolsAreCleanedShortenedAndStoredAtOnce)
{
    StockStore store(settings);
    QSignalSpy changed(&store, &StockStore::symbolsChanged);
    store.setSymbol(0, QStringLiteral("  brk.b\t"));
    store.setSymbol(1, QStringLiteral("abcdefghijkl"));
    store.setSymbol(2, QString());
    store.setSymbol(3, QStringLiteral("s\u00e9r-1$"));
    store.setSymbol(4, QStringLiteral("IBM"));
    store.setSymbol(-1, QStringLiteral("IBM"));
    const QStringList expected{"BRK.B", "ABCDEFGH", "", QStringLiteral("S\u00c9R-1")};
    EXPECT_EQ(store.symbols(), expected);
    EXPECT_EQ(changed.count(), 4);
    // A letter with a combining mark counts as one character and stays whole.
    store.setSymbol(1, QStringLiteral("e\u0301bcdefghij"));
    EXPECT_EQ(store.symbols()[1], QStringLiteral("E\u0301BCDEFGH"));
    store.setSymbol(1, QStringLiteral("abcdefgh"));

    EXPECT_EQ(StockStore(settings).symbols(), expected);
    EXPECT_TRUE(store.quotes().isEmpty()) << "editing a slot leaves the quotes alone";
}

TEST_F(StockStoreTest, SlotQuotesFollowTheSlotsWithPlaceholdersAndDuplicates)
{
    storeSymbols(R"(["TSLA","AAPL","","TSLA"])");
    StockStore store(settings);
    store.applyRefresh({quote("AAPL", 190), quote("TSLA", 250)}, std::nullopt, at);

    const QList<StockQuote> shown = store.slotQuotes();
    ASSERT_EQ(shown.size(), 4);
    EXPECT_EQ(shown[0], quote("TSLA", 250));
    EXPECT_EQ(shown[1], quote("AAPL", 190));
    EXPECT_EQ(shown[2], StockStore::placeholder(QString()));
    EXPECT_EQ(shown[3], quote("TSLA", 250));
    const StockQuote placeholder = StockStore::placeholder(QStringLiteral("IBM"));
    EXPECT_EQ(placeholder.companyName, "IBM");
    EXPECT_FALSE(placeholder.price || placeholder.percentageChange || placeholder.isRealTime);
    EXPECT_TRUE(placeholder.chart.isEmpty());
}

TEST_F(StockStoreTest, ARefreshKeepsTheLastQuoteOfAFailedSymbolAndDropsUnslottedOnes)
{
    storeSymbols(R"(["AAPL","NVDA","TSLA","SPY"])");
    StockStore store(settings);
    ASSERT_TRUE(store.beginRefresh());
    store.applyRefresh({quote("AAPL", 1), quote("NVDA", 2), quote("TSLA", 3), quote("SPY", 4)}, std::nullopt, at);
    EXPECT_EQ(store.lastUpdated(), at);

    store.setSymbol(3, QStringLiteral("QQQ"));
    EXPECT_EQ(store.slotQuotes()[3], StockStore::placeholder(QStringLiteral("QQQ")));
    ASSERT_TRUE(store.beginRefresh());
    EXPECT_FALSE(store.beginRefresh()) << "one refresh at a time";
    EXPECT_TRUE(store.isRefreshing());
    const QDateTime later = at.addSecs(900);
    store.applyRefresh({quote("NVDA", 20)}, StockStore::refreshFailedMessage, later);
    EXPECT_FALSE(store.isRefreshing());
    EXPECT_EQ(store.errorMessage(), StockStore::refreshFailedMessage);
    EXPECT_EQ(store.lastUpdated(), later);
    EXPECT_EQ(store.quotes(), QList<StockQuote>({quote("AAPL", 1), quote("NVDA", 20), quote("TSLA", 3),
                                                 StockStore::placeholder(QStringLiteral("QQQ"))}));

    // Nothing fetched: the time of the last quotes stays, the message is set.
    ASSERT_TRUE(store.beginRefresh());
    EXPECT_EQ(store.errorMessage(), std::nullopt) << "a new refresh clears the old message";
    store.applyRefresh({}, StockStore::refreshFailedMessage, later.addSecs(900));
    EXPECT_EQ(store.lastUpdated(), later);
    EXPECT_EQ(store.quotes()[1], quote("NVDA", 20));

    // What was merged is what a new start reads.
    StockStore reopened(settings);
    EXPECT_EQ(reopened.quotes(), store.quotes());
    EXPECT_FALSE(reopened.lastUpdated().has_value());
}

TEST_F(StockStoreTest, StoredQuotesLeaveOutMissingNumbersAndAreReadAllOrNothing)
{
    const QList<StockQuote> quotes{quote("AAPL", 190.25, {1, 2.5, 3}), quote("GONE", std::nullopt)};
    const std::optional<QByteArray> data = StockStore::encodeQuotes(quotes);
    ASSERT_TRUE(data.has_value());
    EXPECT_FALSE(data->contains("null"));
    EXPECT_EQ(StockStore::decodeQuotes(*data), quotes);

    EXPECT_EQ(StockStore::decodeQuotes("not json"), std::nullopt);
    EXPECT_EQ(StockStore::decodeQuotes(R"([{"symbol":"A","companyName":"A","isRealTime":true,"chart":[]},)"
                                       R"({"symbol":"B","companyName":"B","isRealTime":true}])"),
              std::nullopt);
    EXPECT_EQ(
        StockStore::decodeQuotes(R"([{"symbol":"A","companyName":"A","isRealTime":true,"chart":[],"price":"1"}])"),
        std::nullopt);
    const auto withNull = StockStore::decodeQuotes(
        R"([{"symbol":"A","companyName":"A","isRealTime":false,"chart":[],"price":null,"extra":1}])");
    ASSERT_TRUE(withNull.has_value());
    EXPECT_EQ(withNull->first().price, std::nullopt);

    settings.setBytes(StockStore::quotesKey, "[{\"symbol\":");
    EXPECT_TRUE(StockStore(settings).quotes().isEmpty());
}

TEST_F(StockStoreTest, AQuoteThatCannotBeWrittenLeavesTheStoredListAsItWas)
{
    storeSymbols(R"(["AAPL","NVDA","TSLA","SPY"])");
    StockStore store(settings);
    store.applyRefresh({quote("AAPL", 1)}, std::nullopt, at);
    const std::optional<QByteArray> before = settings.bytes(StockStore::quotesKey);

    store.applyRefresh({quote("AAPL", 2, {1, std::numeric_limits<double>::quiet_NaN()})}, std::nullopt, at);
    EXPECT_EQ(settings.bytes(StockStore::quotesKey), before);
    EXPECT_EQ(store.quotes().first().price, 2) << "the store itself still shows the fetched quote";
}

TEST_F(StockStoreTest, ChangeSignalsComeOnlyForChanges)
{
    StockStore store(settings);
    QSignalSpy quotes(&store, &StockStore::quotesChanged);
    QSignalSpy refreshing(&store, &StockStore::isRefreshingChanged);
    QSignalSpy message(&store, &StockStore::errorMessageChanged);
    QSignalSpy updated(&store, &StockStore::lastUpdatedChanged);
    QSignalSpy symbols(&store, &StockStore::symbolsChanged);

    store.beginRefresh();
    store.applyRefresh({quote("AAPL", 1)}, std::nullopt, at);
    store.beginRefresh();
    store.applyRefresh({quote("AAPL", 1)}, std::nullopt, at);
    store.setSymbol(0, QStringLiteral("aapl"));
    EXPECT_EQ(quotes.count(), 1);
    EXPECT_EQ(refreshing.count(), 4);
    EXPECT_EQ(message.count(), 0);
    EXPECT_EQ(updated.count(), 1);
    EXPECT_EQ(symbols.count(), 0);
}

}  // namespace

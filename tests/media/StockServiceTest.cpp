// The quote service against a fake server on 127.0.0.1, and the reading of its replies.

#include "media/StockService.h"
#include "platform/Settings.h"
#include "support/FakeQuoteServer.h"
#include "support/WaitUntil.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

using namespace std::chrono_literals;

namespace {

using Failure = StockService::Failure;
using ServiceError = StockService::ServiceError;

class StockServiceTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    Settings settings{dir.filePath(QStringLiteral("Tarv.conf"))};
    FakeQuoteServer server;
    std::unique_ptr<StockService> service;

    void SetUp() override
    {
        ASSERT_TRUE(server.start());
        settings.setText(StockService::serviceBaseKey, server.base());
        service = std::make_unique<StockService>(settings, 2000ms);
    }

    StockService::QuoteResult fetch(const QString& symbol)
    {
        std::optional<StockService::QuoteResult> result;
        service->fetchQuote(symbol, true, [&](const StockService::QuoteResult& r) { result = r; });
        EXPECT_TRUE(waitUntil([&] { return result.has_value(); }));
        return result.value_or(Failure{StockService::TransportError{QStringLiteral("no answer")}});
    }

    QList<StockQuote> fetchAll(const QStringList& symbols)
    {
        std::optional<QList<StockQuote>> result;
        service->fetchQuotes(symbols,
                             [&](const QList<StockQuote>& quotes, const std::optional<QString>&) { result = quotes; });
        EXPECT_TRUE(waitUntil([&] { return result.has_value(); }));
        return result.value_or(QList<StockQuote>());
    }
};

QString info(const QString& symbol, const QString& assetClass)
{
    return QStringLiteral("/api/quote/%1/info?assetclass=%2").arg(symbol, assetClass);
}

QString chart(const QString& symbol, const QString& assetClass)
{
    return QStringLiteral("/api/quote/%1/chart?assetclass=%2").arg(symbol, assetClass);
}

TEST_F(StockServiceTest, AStockIsReadWithItsThinnedChartAndTheServiceHeaders)
{
    server.info("AAPL", "stocks",
                {200, FakeQuoteServer::infoBody("AAPL", "Apple Inc. Common Stock", "$1,234.50", "+1.23%", true)});
    server.chart("AAPL", "stocks", {200, FakeQuoteServer::chartBody(390)});

    const auto result = fetch(QStringLiteral("AAPL"));
    ASSERT_TRUE(std::holds_alternative<StockQuote>(result));
    const StockQuote quote = std::get<StockQuote>(result);
    EXPECT_EQ(quote.symbol, "AAPL");
    EXPECT_EQ(quote.companyName, "Apple");
    EXPECT_EQ(quote.price, 1234.5);
    EXPECT_EQ(quote.percentageChange, 1.23);
    EXPECT_TRUE(quote.isRealTime);
    // 390 points are taken at a stride of 16 from the first: 0, 16, … 368.
    ASSERT_EQ(quote.chart.size(), 24);
    for (int i = 0; i < 24; ++i)
        EXPECT_EQ(quote.chart[i], 100 + 16 * i) << i;

    EXPECT_EQ(server.targets(), QStringList({info("AAPL", "stocks"), chart("AAPL", "stocks")}));
    for (const FakeQuoteServer::Request& request : server.requests) {
        EXPECT_EQ(request.userAgent, "Mozilla/5.0 (X11; Linux x86_64; Tarv/0.1)");
        EXPECT_EQ(request.accept, "application/json");
    }
}

TEST_F(StockServiceTest, AFundUnknownAsAStockIsFoundUnderEtfWithItsShortChartPadded)
{
    server.info("SPY", "stocks", {200, FakeQuoteServer::noDataBody()});
    server.info("SPY", "etf",
                {200, FakeQuoteServer::infoBody("spy", "SPDR S&P 500 ETF Trust", "$512.03", "-0.45%", false)});
    server.chart("SPY", "etf", {200, FakeQuoteServer::chartBody(5)});

    const auto result = fetch(QStringLiteral("SPY"));
    ASSERT_TRUE(std::holds_alternative<StockQuote>(result));
    const StockQuote quote = std::get<StockQuote>(result);
    EXPECT_EQ(quote.symbol, "SPY");
    EXPECT_EQ(quote.companyName, "SPDR S&P 500");
    EXPECT_EQ(quote.percentageChange, -0.45);
    EXPECT_FALSE(quote.isRealTime);
    // Five points, then the fifth again up to 24.
    ASSERT_EQ(quote.chart.size(), 24);
    EXPECT_EQ(quote.chart.mid(0, 5), QList<double>({100, 101, 102, 103, 104}));
    EXPECT_EQ(quote.chart.mid(5), QList<double>(19, 104));
    // No chart is asked of the class that does not know the symbol.
    EXPECT_EQ(server.targets(), QStringList({info("SPY", "stocks"), info("SPY", "etf"), chart("SPY", "etf")}));
}

TEST_F(StockServiceTest, ARefusalEndsTheSearchAndAnUnknownSymbolIsNotFound)
{
    server.info("MSFT", "stocks", {403, QByteArrayLiteral("{\"message\":\"forbidden\"}")});
    auto result = fetch(QStringLiteral("MSFT"));
    ASSERT_TRUE(std::holds_alternative<Failure>(result));
    EXPECT_EQ(std::get<Failure>(result), Failure{ServiceError::invalidResponse});
    EXPECT_EQ(server.targets(), QStringList({info("MSFT", "stocks")})) << "a refusal is not tried as a fund";

    server.requests.clear();
    server.info("NOPE", "stocks", {200, FakeQuoteServer::noDataBody()});
    server.info("NOPE", "etf", {200, QByteArrayLiteral("{}")});
    result = fetch(QStringLiteral("NOPE"));
    ASSERT_TRUE(std::holds_alternative<Failure>(result));
    EXPECT_EQ(std::get<Failure>(result), Failure{ServiceError::symbolNotFound});
    EXPECT_EQ(server.targets(), QStringList({info("NOPE", "stocks"), info("NOPE", "etf")}));
}

TEST_F(StockServiceTest, AHugeBodyFailsItsRequestWithoutBeingReadToTheEnd)
{
    // 4 MiB of JSON without a declared length: the cut comes while it streams.
    const QByteArray huge = "{\"pad\":\"" + QByteArray(4 * 1024 * 1024, 'x') + "\"}";
    server.info("BIG", "stocks", {200, huge, false});
    const auto result = fetch(QStringLiteral("BIG"));
    ASSERT_TRUE(std::holds_alternative<Failure>(result));
    EXPECT_TRUE(std::holds_alternative<StockService::TransportError>(std::get<Failure>(result)));

    // A chart that is too large only costs the chart.
    server.info("TSLA", "stocks",
                {200, FakeQuoteServer::infoBody("TSLA", "Tesla, Inc. Common Stock", "$250.00", "0.00%", true)});
    server.chart("TSLA", "stocks", {200, huge, true});
    const auto quote = fetch(QStringLiteral("TSLA"));
    ASSERT_TRUE(std::holds_alternative<StockQuote>(quote));
    EXPECT_EQ(std::get<StockQuote>(quote).companyName, "Tesla");
    EXPECT_TRUE(std::get<StockQuote>(quote).chart.isEmpty());
}

TEST_F(StockServiceTest, AMalformedChartOrAStalledServerCostsOnlyWhatItTouches)
{
    server.info("AMD", "stocks",
                {200, FakeQuoteServer::infoBody("AMD", "Advanced Micro Devices, Inc.", "$150.10", "+2.00%", true)});
    server.chart("AMD", "stocks", {200, QByteArrayLiteral(R"({"data":{"chart":[{"y":"high"}]}})")});
    const auto quote = fetch(QStringLiteral("AMD"));
    ASSERT_TRUE(std::holds_alternative<StockQuote>(quote));
    EXPECT_TRUE(std::get<StockQuote>(quote).chart.isEmpty());

    // The time-out holds for a silent server and for one that never stops sending a little.
    service = std::make_unique<StockService>(settings, 150ms);
    server.info("SLOW", "stocks", {200, {}, true, true});
    server.info("DRIP", "stocks", {200, FakeQuoteServer::infoBody("DRIP", "Drip", "1", "1", true), true, false, true});
    for (const char* symbol : {"SLOW", "DRIP"}) {
        const auto stalled = fetch(QString::fromLatin1(symbol));
        ASSERT_TRUE(std::holds_alternative<Failure>(stalled)) << symbol;
        EXPECT_TRUE(std::holds_alternative<StockService::TransportError>(std::get<Failure>(stalled))) << symbol;
    }
}

TEST_F(StockServiceTest, AllSymbolsAreFetchedTogetherAndFailuresAndEmptySlotsLeftOut)
{
    server.info("AAPL", "stocks", {200, FakeQuoteServer::infoBody("AAPL", "Apple Inc.", "$190.00", "+0.10%", true)});
    server.info("BRK.B", "stocks",
                {200, FakeQuoteServer::infoBody("BRK.B", "Berkshire Hathaway Inc.", "$400.00", "N/A", false)});
    server.info("%C3%84X", "stocks", {200, FakeQuoteServer::infoBody("ÄX", "Umlaut Corp.", "1.5", "-1%", false)});
    server.info("GONE", "stocks", {500, {}});

    const QList<StockQuote> quotes =
        fetchAll({QStringLiteral("AAPL"), QString(), QStringLiteral("BRK.B"), QStringLiteral("GONE"),
                  QStringLiteral("ÄX")});
    QStringList symbols;
    for (const StockQuote& quote : quotes)
        symbols.append(quote.symbol);
    symbols.sort();
    EXPECT_EQ(symbols, QStringList({"AAPL", "BRK.B", "ÄX"}));
    for (const StockQuote& quote : quotes) {
        if (quote.symbol == "BRK.B") {
            EXPECT_EQ(quote.percentageChange, std::nullopt) << "a change that is no number leaves the quote";
        }
    }
    for (const QString& target : server.targets())
        EXPECT_FALSE(target.startsWith(QStringLiteral("/api/quote//"))) << "an empty slot is never asked for";
    EXPECT_TRUE(server.targets().contains(info("%C3%84X", "stocks")));

    EXPECT_TRUE(fetchAll({QString(), QString()}).isEmpty());
}

TEST_F(StockServiceTest, TheBaseAddressComesFromTheSettingElseTheDefault)
{
    settings.setText(StockService::serviceBaseKey, QStringLiteral("http://127.0.0.1:8080/"));
    EXPECT_EQ(service->serviceBase(), QUrl(QStringLiteral("http://127.0.0.1:8080/")));
    for (const QString& bad : {QStringLiteral("ftp://example.org"), QStringLiteral("not a url"), QString()}) {
        settings.setText(StockService::serviceBaseKey, bad);
        EXPECT_EQ(service->serviceBase(), QUrl(QStringLiteral("https://api.nasdaq.com"))) << bad.toStdString();
    }
    settings.remove(StockService::serviceBaseKey);
    EXPECT_EQ(service->serviceBase(), QUrl(QStringLiteral("https://api.nasdaq.com")));
}

// --- Reading replies ------------------------------------------------------------------------

TEST(StockServiceParsing, NumbersAreReadStrictlyWithoutTheirSignsOfCurrencyAndPercent)
{
    EXPECT_EQ(StockService::parseNumberText("$1,234.50"), 1234.5);
    EXPECT_EQ(StockService::parseNumberText("+1.23%"), 1.23);
    EXPECT_EQ(StockService::parseNumberText("-0.45%"), -0.45);
    EXPECT_EQ(StockService::parseNumberText(" \t12.5 "), 12.5);
    for (const char* bad : {"", "N/A", "$", "12abc", "1.2.3", "\n12", "+-1", "nan", "inf", "1e999", "1\xC2\xA0"})
        EXPECT_EQ(StockService::parseNumberText(QString::fromUtf8(bad)), std::nullopt) << bad;
}

TEST(StockServiceParsing, AnInfoReplyWithoutDataIsNoQuoteAndABrokenOneAnError)
{
    auto parsed = StockService::parseQuote(FakeQuoteServer::noDataBody(), {});
    ASSERT_TRUE(std::holds_alternative<std::optional<StockQuote>>(parsed));
    EXPECT_FALSE(std::get<std::optional<StockQuote>>(parsed).has_value());
    EXPECT_TRUE(std::get<std::optional<StockQuote>>(StockService::parseQuote("{}", {})) == std::nullopt);

    for (const QByteArray& broken :
         {QByteArrayLiteral("not json"), QByteArrayLiteral("[]"), QByteArrayLiteral(R"({"data":5})"),
          QByteArrayLiteral(R"({"data":{"symbol":"A","companyName":"A",)"
                            R"("primaryData":{"lastSalePrice":"1","percentageChange":"1"}}})"),
          QByteArrayLiteral(R"({"data":{"symbol":"A","companyName":null,)"
                            R"("primaryData":{"lastSalePrice":"1","percentageChange":"1","isRealTime":true}}})"),
          QByteArrayLiteral(R"({"data":{"symbol":"A","companyName":"A",)"
                            R"("primaryData":{"lastSalePrice":1,"percentageChange":"1","isRealTime":true}}})")})
        EXPECT_TRUE(std::holds_alternative<StockService::DecodingError>(StockService::parseQuote(broken, {})))
            << broken.toStdString();

    parsed = StockService::parseQuote(
        FakeQuoteServer::infoBody("nvda", "NVIDIA Corporation Common Stock", "", "", false),
                                      {1, 2});
    const std::optional<StockQuote> quote = std::get<std::optional<StockQuote>>(parsed);
    ASSERT_TRUE(quote.has_value());
    EXPECT_EQ(quote->symbol, "NVDA");
    EXPECT_EQ(quote->companyName, "NVIDIA");
    EXPECT_EQ(quote->price, std::nullopt);
    EXPECT_EQ(quote->chart, QList<double>({1, 2}));
}

TEST(StockServiceParsing, ChartsWithoutPointsAreEmptyAndExactlyTwentyFourStayAsTheyAre)
{
    using Values = QList<double>;
    EXPECT_EQ(std::get<Values>(StockService::parseChart(R"({"data":null})")), Values());
    EXPECT_EQ(std::get<Values>(StockService::parseChart(R"({"data":{"chart":null}})")), Values());
    EXPECT_EQ(std::get<Values>(StockService::parseChart(R"({"data":{"chart":[]}})")), Values());
    const Values one = std::get<Values>(StockService::parseChart(FakeQuoteServer::chartBody(1, 7)));
    EXPECT_EQ(one, Values(24, 7));
    const Values exact = std::get<Values>(StockService::parseChart(FakeQuoteServer::chartBody(24)));
    EXPECT_EQ(exact.first(), 100);
    EXPECT_EQ(exact.last(), 123);
    // 47 points still have a stride of 1: the first 24 of them.
    EXPECT_EQ(std::get<Values>(StockService::parseChart(FakeQuoteServer::chartBody(47))).last(), 123);
    EXPECT_TRUE(std::holds_alternative<StockService::DecodingError>(
        StockService::parseChart(R"({"data":{"chart":[1,2]}})")));
}

TEST(StockServiceParsing, CompanyNamesLoseTheirKindOfSecurityAndTheirRaggedEdges)
{
    EXPECT_EQ(StockService::cleanCompanyName("Apple Inc. Common Stock"), "Apple");
    EXPECT_EQ(StockService::cleanCompanyName("Tesla, Inc. Common Stock"), "Tesla");
    EXPECT_EQ(StockService::cleanCompanyName("Alphabet Inc. Class A Common Stock"), "Alphabet");
    EXPECT_EQ(StockService::cleanCompanyName("SPDR S&P 500 ETF Trust"), "SPDR S&P 500");
    EXPECT_EQ(StockService::cleanCompanyName(" Inc."), "");
    EXPECT_EQ(StockService::cleanCompanyName(QString::fromUtf8("\u2014 Acme & / ")), "Acme");
    // Removal is case-sensitive: "inc." is part of the name.
    EXPECT_EQ(StockService::cleanCompanyName("Zinc. Mining"), "Zinc. Mining");
    // At most 24 characters, counted as a reader sees them.
    EXPECT_EQ(StockService::cleanCompanyName("International Business Machines"), "International Business M");
    const QString accented = QString(30, u'e').replace(0, 1, QStringLiteral("e\u0301"));
    EXPECT_EQ(StockService::cleanCompanyName(accented), QStringLiteral("e\u0301") + QString(23, u'e'));
}

}  // namespace

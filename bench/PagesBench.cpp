// Speed of building the device pages that are redrawn most: the home page on every switch and
// profile change, the stocks page with four charts on every quote refresh.

#include "macros/MacroProfile.h"
#include "pages/HomePage.h"
#include "pages/PatchBatching.h"
#include "pages/StocksPage.h"

#include <benchmark/benchmark.h>

namespace {

void BM_DefaultHomePage(benchmark::State& state)
{
    const MacroProfile& profile = MacroProfile::defaultProfile();
    const PageIndicator indicator{4, 0};
    for (auto _ : state)
        benchmark::DoNotOptimize(DynamicUIDemo::homePageOps(profile, QStringLiteral("9:41 AM"), indicator));
}
BENCHMARK(BM_DefaultHomePage);

QList<StockQuote> fourChartedQuotes()
{
    QList<StockQuote> quotes;
    int seed = 1;
    for (const char* symbol : {"AAPL", "NVDA", "TSLA", "SPY"}) {
        StockQuote q;
        q.symbol = QString::fromLatin1(symbol);
        q.companyName = q.symbol + QStringLiteral(" Holdings Incorporated");
        q.price = 187.25;
        q.percentageChange = 1.5;
        q.isRealTime = true;
        for (int i = 0; i < 24; ++i) {
            seed = seed * 1103515245 + 12345;
            q.chart.append(180 + (seed >> 16 & 0xFF) / 25.0);
        }
        quotes.append(q);
    }
    return quotes;
}

void BM_StocksPageFourCharts(benchmark::State& state)
{
    const QList<StockQuote> quotes = fourChartedQuotes();
    const PageIndicator indicator{4, 1};
    for (auto _ : state)
        benchmark::DoNotOptimize(DynamicUIDemo::stocksPageOps(quotes, QStringLiteral("9:41 AM"), indicator));
}
BENCHMARK(BM_StocksPageFourCharts);

// The same page cut into PATCH frames, as it goes to the device.
void BM_StocksPageFourChartsBatched(benchmark::State& state)
{
    const QList<StockQuote> quotes = fourChartedQuotes();
    const PageIndicator indicator{4, 1};
    for (auto _ : state) {
        const auto lists = DynamicUIDemo::stocksPageOps(quotes, QStringLiteral("9:41 AM"), indicator);
        benchmark::DoNotOptimize(DynamicUIDemo::batchPatchOps(lists.first()));
    }
}
BENCHMARK(BM_StocksPageFourChartsBatched);

}  // namespace

// Speed of device text measuring and folding, which run for every label of every page.

#include "device/FoldForDevice.h"
#include "device/MontserratMetrics.h"

#include <benchmark/benchmark.h>

namespace {

// 40 characters, ASCII with a degree sign, as a typical key or stock label.
const QString label = QStringLiteral("Volume 42\u00B0 - Living Room Speakers (AV 2)");

void BM_TextWidth40(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(MontserratMetrics::textWidth(label, 18));
}
BENCHMARK(BM_TextWidth40);

void BM_FoldForDeviceNothingToFold(benchmark::State& state)
{
    for (auto _ : state) {
        QString folded = foldForDevice(label);
        benchmark::DoNotOptimize(folded);
    }
}
BENCHMARK(BM_FoldForDeviceNothingToFold);

void BM_FoldForDeviceAccents(benchmark::State& state)
{
    const QString text = QStringLiteral("Caf\u00E9 cr\u00E8me br\u00FBl\u00E9e \u00D7 2");
    for (auto _ : state) {
        QString folded = foldForDevice(text);
        benchmark::DoNotOptimize(folded);
    }
}
BENCHMARK(BM_FoldForDeviceAccents);

}  // namespace

// Cost of one shell source fetch: starting /bin/sh in its own process group, capturing its
// output and noticing its end. A screen may run several such sources every second.

#include "screens/runtime/ScreenDataFetcher.h"

#include <benchmark/benchmark.h>

namespace {

void BM_ShellSourceFetchTrue(benchmark::State& state)
{
    const QString command = QStringLiteral("true");
    for (auto _ : state)
        benchmark::DoNotOptimize(ScreenDataFetcher::runShellSource(command, 10.0));
}
BENCHMARK(BM_ShellSourceFetchTrue)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

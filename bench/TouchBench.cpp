// Host-side latency of a key press: from the bytes of a TOUCH release arriving to the
// HID_EMIT frame written to the port, over many taps on a home-page key.

#include "BenchHub.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

using namespace TarvUSB;

namespace {

void BM_TouchReleaseToHidEmitWritten(benchmark::State& state)
{
    BenchHub bench;
    if (!bench.openPort()) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    // Key 4 of the default profile: a plain keystroke, so the press is one HID_EMIT.
    constexpr std::uint16_t x = 20, y = 140;
    const QByteArray down = onTheLine(Frame{1, TouchPayload{x, y, TouchPhase::down}});
    const QByteArray up = onTheLine(Frame{2, TouchPayload{x, y, TouchPhase::up}});
    std::vector<double> micros;
    micros.reserve(1 << 16);
    for (auto _ : state) {
        bench.hub->handleFrame(down);
        const auto start = std::chrono::steady_clock::now();
        // The release is dispatched and its HID_EMIT written before this returns.
        bench.hub->handleFrame(up);
        const auto elapsed = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(std::chrono::duration<double>(elapsed).count());
        micros.push_back(std::chrono::duration<double, std::micro>(elapsed).count());
    }
    reportLatencies(state, micros);
}
BENCHMARK(BM_TouchReleaseToHidEmitWritten)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(20000);

}  // namespace

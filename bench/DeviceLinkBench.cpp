// The link end to end against the fake device on a pseudo-terminal: a tap on a key to its
// HID report arriving at the device, and a full-screen image to a device that acknowledges
// every frame at once. The hub runs on this thread's event loop, as in the application; the
// device runs on a thread of its own, as a real device runs beside the desktop.

#include "LinkedHub.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <vector>

using namespace TarvUSB;

namespace {

void BM_TapToHidReportAtDevice(benchmark::State& state)
{
    LinkedHub link;
    if (!link.connect(state))
        return;
    // Key 4 of the default profile: a plain keystroke, so the release sends one HID_EMIT.
    constexpr std::uint16_t x = 20, y = 140;
    std::vector<double> micros;
    micros.reserve(4096);
    for (auto _ : state) {
        const int before = link.device.hidReports.load();
        link.device.call([&] {
            link.device.device->sendTouch(x, y, TouchPhase::down);
            link.device.device->sendTouch(x, y, TouchPhase::up);
            link.device.upSentAt.store(BenchClock::now().time_since_epoch().count());
        });
        if (!spinUntil([&] { return link.device.hidReports.load() > before; })) {
            state.SkipWithError("no HID report arrived");
            return;
        }
        const BenchClock::duration elapsed(link.device.hidArrivedAt.load() - link.device.upSentAt.load());
        state.SetIterationTime(std::chrono::duration<double>(elapsed).count());
        micros.push_back(std::chrono::duration<double, std::micro>(elapsed).count());
    }
    reportLatencies(state, micros);
}
BENCHMARK(BM_TapToHidReportAtDevice)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(2000);

void BM_FullScreenImageToAckingDevice(benchmark::State& state)
{
    LinkedHub link;
    if (!link.connect(state))
        return;
    if (!link.timeFullScreenUploads(state))
        return;
    bool complete = false;
    link.device.call([&] { complete = link.device.device->assets().value(2).complete; });
    if (!complete)
        state.SkipWithError("the image arrived damaged");
}
BENCHMARK(BM_FullScreenImageToAckingDevice)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);

}  // namespace

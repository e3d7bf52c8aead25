// The main window stays live while the device takes a full-screen image: a 50 ms timer on the
// window's thread keeps firing through the upload. Reported: the upload's time and the longest
// wait between two ticks of the timer while uploads ran (about 50 ms when nothing blocks).

#include "LinkedHub.h"

#include "app/MainWindow.h"

#include <QApplication>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>

namespace {

void BM_WindowTicksDuringFullImageUpload(benchmark::State& state)
{
    LinkedHub link;
    if (!link.connect()) {
        state.SkipWithError("the fake device did not connect");
        return;
    }
    MainWindow window(*link.bench.hub, *link.bench.settings);
    window.show();

    QByteArray pixels(480 * 320 * 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < pixels.size(); ++i)
        pixels[i] = char(i * 31 % 251);

    QElapsedTimer sinceTick;
    sinceTick.start();
    qint64 longestGapMs = 0;
    int ticks = 0;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(50);
    QObject::connect(&timer, &QTimer::timeout, &window, [&] {
        longestGapMs = std::max(longestGapMs, sinceTick.restart());
        ++ticks;
    });
    timer.start();
    sinceTick.restart();

    for (auto _ : state) {
        const int before = link.device.assetEnds.load();
        const auto start = BenchClock::now();
        link.bench.hub->uploadAsset(pixels);
        if (!spinUntil([&] {
                return link.device.assetEnds.load() > before && link.bench.hub->queuedFrames().isEmpty() &&
                       link.bench.hub->outstandingAcks().isEmpty();
            })) {
            state.SkipWithError("the image did not arrive");
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(BenchClock::now() - start).count());
    }
    // The last stretch since a tick counts too: a stall at the end would hide there.
    longestGapMs = std::max(longestGapMs, sinceTick.elapsed());
    state.counters["longest_tick_gap_ms"] = double(longestGapMs);
    state.counters["ticks"] = ticks;
}
BENCHMARK(BM_WindowTicksDuringFullImageUpload)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(40);

}  // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// The main window stays live while the device takes a full-screen image: a 50 ms timer on the
// window's thread keeps firing through the upload. Reported: the upload's time and the longest
// wait between two ticks of the timer while uploads ran (about 50 ms when nothing blocks).
// The macro editor: one keystroke in a key's label until the device's PATCH frames are queued,
// also once the key's icon picker has been opened, and drawing the whole key grid.

#include "LinkedHub.h"

#include "app/MainWindow.h"
#include "ui/macros/IconPicker.h"
#include "ui/macros/KeyCanvas.h"
#include "ui/macros/KeyPanel.h"
#include "ui/macros/MacrosView.h"

#include <QApplication>
#include <QImage>
#include <QEventLoop>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPainter>
#include <QTest>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>

namespace {

void BM_WindowTicksDuringFullImageUpload(benchmark::State& state)
{
    LinkedHub link;
    if (!link.connect(state))
        return;
    MainWindow window(*link.bench.hub, *link.bench.settings);
    window.show();

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

    if (!link.timeFullScreenUploads(state))
        return;
    // The last stretch since a tick counts too: a stall at the end would hide there.
    longestGapMs = std::max(longestGapMs, sinceTick.elapsed());
    state.counters["longest_tick_gap_ms"] = double(longestGapMs);
    state.counters["ticks"] = ticks;
}
BENCHMARK(BM_WindowTicksDuringFullImageUpload)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(40);

// The hub follows the device 300 ms after the last profile change, so a burst of keystrokes
// goes once; that wait is not work. Here it follows at once on each change, so the time is
// the whole of our own work: the field's edit, the commit, the views following the store, the
// key's patches and their queueing. The library is written once the typing pauses. With
// pickerOpened, the key's icon picker was opened and closed before the typing, as a user who
// chose the key's icon first leaves it: it is kept, hidden, for the next time.
void typeInLabel(benchmark::State& state, bool pickerOpened)
{
    LinkedHub link;
    if (!link.connect(state))
        return;
    DeviceManager& hub = *link.bench.hub;
    MainWindow window(hub, *link.bench.settings);
    window.show();
    auto* label = window.findChild<QLineEdit*>(QStringLiteral("labelField"));
    auto* inspector = window.findChild<KeyInspector*>();
    if (!label || !inspector) {
        state.SkipWithError("no label field");
        return;
    }
    hub.profiles().setOnChange([&hub] { hub.refreshHome(); });
    if (pickerOpened) {
        inspector->openIconPicker();
        QCoreApplication::processEvents();
        inspector->iconPicker()->hide();
        QCoreApplication::processEvents();
    }
    std::vector<double> micros;
    int typed = 0;
    for (auto _ : state) {
        const std::uint16_t sequence = hub.nextSequence();
        const auto start = BenchClock::now();
        // Type and erase in turn, so the label stays short.
        if (typed++ % 2 == 0)
            QTest::keyClick(label, Qt::Key_A);
        else
            QTest::keyClick(label, Qt::Key_Backspace);
        const auto end = BenchClock::now();
        if (hub.nextSequence() == sequence) {
            state.SkipWithError("no frame was queued");
            return;
        }
        const double seconds = std::chrono::duration<double>(end - start).count();
        state.SetIterationTime(seconds);
        micros.push_back(seconds * 1e6);
        if (!spinUntil([&] { return link.idle(); })) {
            state.SkipWithError("the device did not take the page");
            return;
        }
    }
    reportLatencies(state, micros);
}

void BM_LabelKeystrokeToPatchQueued(benchmark::State& state)
{
    typeInLabel(state, false);
}
BENCHMARK(BM_LabelKeystrokeToPatchQueued)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(200);

void BM_LabelKeystrokeAfterIconPickerToPatchQueued(benchmark::State& state)
{
    typeInLabel(state, true);
}
BENCHMARK(BM_LabelKeystrokeAfterIconPickerToPatchQueued)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(200);

// The process's CPU share while the log takes a thousand entries a second for two seconds, with
// the Diagnostics page shown (argument 1) or another page shown (argument 0). The difference
// is what drawing the frame log costs. Argument 1 starts from the few entries of connecting,
// so its first fifth of a second fills the list's two hundred rows; argument 2 starts with the
// log full, as it stays from then on.
void BM_FrameLogCpuAtThousandEntriesPerSecond(benchmark::State& state)
{
    // The connection log goes to standard error as well; here it would only flood the report.
    QLoggingCategory::setFilterRules(QStringLiteral("tarv.device.info=false"));
    LinkedHub link;
    if (!link.connect(state))
        return;
    DeviceManager& hub = *link.bench.hub;
    MainWindow window(hub, *link.bench.settings);
    window.select(state.range(0) ? SidebarItem::diagnostics : SidebarItem::macros);
    window.show();
    if (state.range(0) == 2) {
        for (int k = 0; k < DeviceManager::maxLogEntries; ++k)
            hub.log(LogEntry::Direction::sent, QStringLiteral("PATCH #%1 ops=3").arg(k));
    }
    spinUntil([] { return false; }, 300);
    const auto cpuNow = [] {
        timespec t{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
    };
    double share = 0;
    for (auto _ : state) {
        int entries = 0;
        QTimer timer;
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(1);
        QObject::connect(&timer, &QTimer::timeout, &window, [&] {
            hub.log(LogEntry::Direction::sent, QStringLiteral("PATCH #%1 ops=3").arg(++entries));
        });
        const double cpuStart = cpuNow();
        const auto start = BenchClock::now();
        timer.start();
        // An event loop that sleeps between events, as the application's does.
        QEventLoop loop;
        QTimer::singleShot(2000, &loop, &QEventLoop::quit);
        loop.exec();
        timer.stop();
        const double wall = std::chrono::duration<double>(BenchClock::now() - start).count();
        share = (cpuNow() - cpuStart) / wall;
        state.SetIterationTime(wall);
        state.counters["entries_per_s"] = entries / wall;
    }
    state.counters["cpu_percent"] = share * 100;
    QLoggingCategory::setFilterRules(QString());
}
BENCHMARK(BM_FrameLogCpuAtThousandEntriesPerSecond)->Arg(0)->Arg(1)->Arg(2)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

// The grid of twelve keys of every look drawn once, as a repaint of the page draws it.
void BM_PaintKeyGrid(benchmark::State& state)
{
    QList<MacroButton> keys = MacroProfile::defaultProfile().buttons;
    keys[0].isActive = true;
    keys[1].emoji = QStringLiteral("\U0001F3A7");
    keys[2].action = MacroAction::openURL(QStringLiteral("https://"));
    keys[5] = MacroButton{};
    keys[6].emoji = QStringLiteral("\U0001F680");
    keys[6].tint = KeyTint::green;
    KeyCanvas canvas;
    canvas.setButtons(keys);
    canvas.setSelection(1);
    canvas.resize(KeyCanvas::maximumGridWidth + 6, canvas.heightForWidth(KeyCanvas::maximumGridWidth + 6));
    QImage image(canvas.size(), QImage::Format_ARGB32_Premultiplied);
    // The first drawing loads the fonts and the symbols; that is not the steady cost.
    canvas.render(&image);
    for (auto _ : state) {
        image.fill(Qt::transparent);
        canvas.render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_PaintKeyGrid)->Unit(benchmark::kMillisecond);

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

// The Screens folder at the sizes some users keep (1,000 and 10,000 files) with the main window
// open, as the application runs it: the folder loaded while another page shows, the Custom
// Screens page opened, then one file saved, one added and one removed. Reported: the load's time
// (the benchmark's time), the longest wait between two ticks of a 5 ms timer on the window's
// thread in each step (the window and the device link stall that long), the memory the load and
// the page took, and the time from a save to its row reading the new file.

#include "BenchHub.h"
#include "LinkedHub.h"
#include "ResidentMemory.h"

#include "app/MainWindow.h"
#include "screens/format/ScreenTemplate.h"
#include "ui/screens/CustomScreenFilesSection.h"

#include <QDir>
#include <QFile>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <unistd.h>

namespace {

// The longest wait between two ticks of a 5 ms timer on this thread since the last reset.
class TickWatch {
public:
    TickWatch()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { m_longest = std::max(m_longest, m_since.restart()); });
        m_since.start();
        m_timer.start();
    }
    void reset()
    {
        m_longest = 0;
        m_since.restart();
    }
    // The last stretch since a tick counts too: a stall at the end would hide there.
    qint64 longestMs() const { return std::max(m_longest, m_since.elapsed()); }

private:
    QTimer m_timer;
    QElapsedTimer m_since;
    qint64 m_longest = 0;
};

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

void BM_ScreenFolderAtScale(benchmark::State& state)
{
    const int count = int(state.range(0));
    const QList<ScreenTemplate>& templates = ScreenTemplate::all();
    for (auto _ : state) {
        BenchHub bench;
        const QDir folder(bench.screens->folder());
        QDir().mkpath(folder.path());
        for (int i = 0; i < count; ++i)
            if (!writeFile(folder.filePath(QStringLiteral("screen %1.json").arg(i)),
                           templates[i % templates.size()].json.toUtf8())) {
                state.SkipWithError("could not write the screen files");
                return;
            }
        MainWindow window(*bench.hub, *bench.settings);
        window.show();
        spinUntil([] { return false; }, 100);
        TickWatch ticks;
        const qint64 before = residentBytes();

        const auto start = BenchClock::now();
        bench.screens->start();
        if (!spinUntil([&] { return !bench.screens->isLoading(); }, 300000)) {
            state.SkipWithError("the folder did not load");
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(BenchClock::now() - start).count());
        const qint64 loadGap = ticks.longestMs();
        if (bench.screens->reports().size() != count) {
            state.SkipWithError("not every screen file was reported");
            return;
        }
        spinUntil([] { return false; }, 100);
        const qint64 loaded = residentBytes();

        ticks.reset();
        window.select(SidebarItem::customScreens);
        spinUntil([] { return false; }, 300);
        const qint64 showGap = ticks.longestMs();
        const qint64 shown = residentBytes();

        // A save of one file in the middle of the folder, as an editor writes it.
        const QString saved = QStringLiteral("screen %1.json").arg(count / 2);
        auto* section = window.findChild<CustomScreenFilesSection*>(QStringLiteral("filesSection"));
        ticks.reset();
        const auto saveStart = BenchClock::now();
        writeFile(folder.filePath(saved), R"({"title": "Saved", "widgets": []})");
        bench.screens->reload();
        const bool applied = spinUntil(
            [&] {
                const QList<CustomScreenStore::FileReport>& reports = bench.screens->reports();
                return !bench.screens->isLoading() &&
                       std::any_of(reports.cbegin(), reports.cend(), [&](const auto& report) {
                           return report.fileName == saved && report.summary.contains(QStringLiteral("Saved"));
                       });
            },
            300000);
        const double saveMs = std::chrono::duration<double, std::milli>(BenchClock::now() - saveStart).count();
        spinUntil([] { return false; }, 100);
        if (!applied || !section) {
            state.SkipWithError("the saved file was not read again");
            return;
        }
        const qint64 saveGap = ticks.longestMs();

        // A new file in the middle of the folder: the page list, the menus and the rows grow.
        const QString added = QStringLiteral("screen %1 added.json").arg(count / 3);
        ticks.reset();
        writeFile(folder.filePath(added), templates.front().json.toUtf8());
        bench.screens->reload();
        const bool addApplied = spinUntil(
            [&] {
                const QList<CustomScreenStore::FileReport>& reports = bench.screens->reports();
                return !bench.screens->isLoading() && reports.size() == count + 1 &&
                       std::any_of(reports.cbegin(), reports.cend(),
                                   [&](const auto& report) { return report.fileName == added; });
            },
            300000);
        spinUntil([] { return false; }, 100);
        const qint64 addGap = ticks.longestMs();
        if (!addApplied) {
            state.SkipWithError("the added file was not reported");
            return;
        }

        // One file taken away from the middle: the page list, the menus and the rows shrink.
        const QString removed = QStringLiteral("screen %1.json").arg(count / 3 * 2);
        ticks.reset();
        QFile::remove(folder.filePath(removed));
        bench.screens->reload();
        const bool removeApplied = spinUntil(
            [&] {
                const QList<CustomScreenStore::FileReport>& reports = bench.screens->reports();
                return !bench.screens->isLoading() && reports.size() == count &&
                       std::none_of(reports.cbegin(), reports.cend(),
                                    [&](const auto& report) { return report.fileName == removed; });
            },
            300000);
        spinUntil([] { return false; }, 100);
        if (!removeApplied) {
            state.SkipWithError("the removed file was still reported");
            return;
        }
        state.counters["load_longest_tick_gap_ms"] = double(loadGap);
        state.counters["load_rss_mb"] = double(loaded - before) / (1024.0 * 1024.0);
        state.counters["show_longest_tick_gap_ms"] = double(showGap);
        state.counters["shown_rss_mb"] = double(shown - before) / (1024.0 * 1024.0);
        state.counters["save_ms"] = saveMs;
        state.counters["save_longest_tick_gap_ms"] = double(saveGap);
        state.counters["add_longest_tick_gap_ms"] = double(addGap);
        state.counters["remove_longest_tick_gap_ms"] = double(ticks.longestMs());
    }
}
BENCHMARK(BM_ScreenFolderAtScale)->Arg(1000)->Arg(10000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

// Speed of the Screens folder: a reload of a folder of 100 screen files (the aim is under
// 50 ms), and a saved file to its page on the device (the aim is under 200 ms end to end,
// most of it the 150 ms debounce after the last folder event).

#include "LinkedHub.h"

#include "screens/format/ScreenTemplate.h"
#include "screens/runtime/CustomScreenStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

void BM_ReloadHundredScreenFiles(benchmark::State& state)
{
    BenchHub bench;  // the application object and private folders
    QTemporaryDir dir;
    const QList<ScreenTemplate>& templates = ScreenTemplate::all();
    for (int i = 0; i < 100; ++i)
        writeFile(dir.filePath(QStringLiteral("screen %1.json").arg(i)),
                  templates[i % templates.size()].json.toUtf8());
    CustomScreenStore store(dir.path(), std::make_unique<ScreenTrust>());
    for (auto _ : state) {
        // The folder is read on a worker: the reload ends when the store has applied it.
        store.reload();
        if (!spinUntil([&] { return !store.isLoading(); })) {
            state.SkipWithError("the reload did not end");
            return;
        }
        benchmark::DoNotOptimize(store.screens().size());
    }
    if (store.screens().size() != 100)
        state.SkipWithError("not every screen file loaded");
}
BENCHMARK(BM_ReloadHundredScreenFiles)->Unit(benchmark::kMillisecond);

QByteArray noteScreen(int n)
{
    return QStringLiteral(R"({"title": "Note",
                             "widgets": [{"type": "text", "x": 12, "y": 40, "w": 300, "text": "Save %1"}]})")
        .arg(n)
        .toUtf8();
}

void BM_SavedScreenFileToDevice(benchmark::State& state)
{
    LinkedHub linked;
    BenchHub& bench = linked.bench;
    const QString path = QDir(bench.screens->folder()).filePath(QStringLiteral("note.json"));
    QDir().mkpath(bench.screens->folder());
    writeFile(path, noteScreen(0));
    bench.screens->start();
    if (!linked.connect(state))
        return;
    bench.hub->showScreen(DeviceScreen::custom(QStringLiteral("note")));
    int n = 0;
    for (auto _ : state) {
        const QString expected = QStringLiteral("Save %1").arg(++n);
        const auto start = BenchClock::now();
        writeFile(path, noteScreen(n));
        const bool shown = spinUntil([&] {
            const auto& layout = bench.hub->customLayout();
            return layout && !layout->labels.isEmpty() && layout->labels.first().text == expected && linked.idle();
        });
        state.SetIterationTime(std::chrono::duration<double>(BenchClock::now() - start).count());
        if (!shown) {
            state.SkipWithError("the saved file did not reach the device");
            return;
        }
        // Lets the watcher's coalescing window close, so every save starts from quiet.
        spinUntil([] { return false; }, 250);
    }
}
BENCHMARK(BM_SavedScreenFileToDevice)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

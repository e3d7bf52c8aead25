// A library of 10 and of 1,000 screensaver photos: the application starts on it with the Screensaver
// page in view, until the library is listed and the first row shows its thumbnail. Reported:
// that time, the memory the application grew by (resident set), and the longest wait of a
// 5 ms timer on the window's thread from the window's showing until a moment after (about
// 5 ms when nothing blocks the window).

#include "BenchImages.h"
#include "ResidentMemory.h"
#include "app/MainWindow.h"
#include "app/SidebarHost.h"
#include "hub/DeviceManager.h"
#include "macros/ProfileStore.h"
#include "media/PhotoImages.h"
#include "media/ScreensaverPhotoService.h"
#include "media/StockService.h"
#include "media/StockStore.h"
#include "platform/Settings.h"
#include "screens/runtime/CustomScreenStore.h"
#include "ui/screensaver/PhotoListModel.h"
#include "ui/screensaver/PhotoRow.h"
#include "ui/screensaver/ScreensaverView.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLoggingCategory>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUuid>

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

namespace {

double residentMegabytes() { return double(residentBytes()) / (1024.0 * 1024.0); }

// User and system time of the whole process, its threads included.
double processorSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The library's folder: frames of a gradient that differs per photo, and their index.
void writeLibrary(const QString& folder, int count)
{
    QDir(folder).mkpath(QStringLiteral("photos"));
    const ScreensaverPhotoService service(folder);
    QJsonArray index;
    QByteArray frame(PhotoImages::frameBytes, '\0');
    for (int n = 0; n < count; ++n) {
        auto* pixels = reinterpret_cast<quint16*>(frame.data());
        for (int y = 0; y < PhotoImages::frameHeight; ++y)
            for (int x = 0; x < PhotoImages::frameWidth; ++x)
                pixels[y * PhotoImages::frameWidth + x] = PhotoImages::packRGB565((x + n) & 255, (y * 2) & 255, n & 255);
        const QUuid id = QUuid::createUuid();
        QFile file(service.framePath(id));
        if (file.open(QIODevice::WriteOnly))
            file.write(frame);
        index.append(QJsonObject{{QStringLiteral("id"), id.toString(QUuid::WithoutBraces).toUpper()},
                                 {QStringLiteral("name"), QStringLiteral("Photo %1.jpg").arg(n + 1)}});
    }
    QFile file(QDir(folder).filePath(QStringLiteral("photos.json")));
    if (file.open(QIODevice::WriteOnly))
        file.write(QJsonDocument(index).toJson(QJsonDocument::Compact));
}

// A library in a folder of its own, with the stores the application builds on it.
struct Library {
    QTemporaryDir dir;
    std::unique_ptr<Settings> settings;
    std::unique_ptr<ProfileStore> profiles;
    std::unique_ptr<StockStore> stocks;
    std::unique_ptr<ScreensaverPhotoService> photos;
    std::unique_ptr<CustomScreenStore> screens;

    explicit Library(int count)
    {
        QLoggingCategory::setFilterRules(QStringLiteral("tarv.device.info=false"));
        for (const char* var : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR"})
            qputenv(var, dir.path().toLocal8Bit());
        writeLibrary(dir.path(), count);
        settings = std::make_unique<Settings>(dir.filePath(QStringLiteral("Tarv.conf")));
        settings->setText(StockService::serviceBaseKey, QStringLiteral("http://127.0.0.1:0"));
        profiles = std::make_unique<ProfileStore>(*settings);
        stocks = std::make_unique<StockStore>(*settings);
        photos = std::make_unique<ScreensaverPhotoService>(dir.path());
        screens = std::make_unique<CustomScreenStore>(dir.filePath(QStringLiteral("Screens")), std::make_unique<ScreenTrust>());
    }

    // A new hub on the library and its window, shown at `size` (or its own) on the Screensaver page.
    struct Shown {
        std::unique_ptr<DeviceManager> hub;
        std::unique_ptr<MainWindow> window;
        ScreensaverView* view = nullptr;
    };
    Shown show(QSize size = {}) const
    {
        DeviceManager::Environment environment;
        environment.settings = settings.get();
        environment.isTesting = true;
        Shown shown;
        shown.hub = std::make_unique<DeviceManager>(*profiles, *photos, *stocks, *screens, false, std::move(environment));
        shown.window = std::make_unique<MainWindow>(*shown.hub, *settings);
        if (size.isValid())
            shown.window->resize(size);
        shown.window->show();
        shown.window->select(SidebarItem::screensaver);
        shown.view = static_cast<ScreensaverView*>(shown.window->sidebarHost()->page(QStringLiteral("screensaver")));
        return shown;
    }
};

void BM_PhotoLibraryInView(benchmark::State& state)
{
    const int count = int(state.range(0));
    Library library(count);

    for (auto _ : state) {
        const double before = residentMegabytes();
        QElapsedTimer clock;
        clock.start();
        auto [hub, window, view] = library.show();
        // The window is built before the library arrives; from here on it should stay live.
        QElapsedTimer sinceTick;
        qint64 longestGapMs = 0;
        QTimer timer;
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(5);
        QObject::connect(&timer, &QTimer::timeout, [&] { longestGapMs = std::max(longestGapMs, sinceTick.restart()); });
        sinceTick.start();
        timer.start();
        const bool settled = QTest::qWaitFor(
            [&] {
                if (hub->pendingPhotoWork() != 0)
                    return false;
                const QList<PhotoRow*> rows = view->builtPhotoRows();
                return view->model()->rowCount() == count && !rows.isEmpty() && rows[0]->photoId() == view->model()->photoId(0)
                    && rows[0]->thumbnailLabel()->isVisibleTo(view);
            },
            120000);
        const double seconds = double(clock.nsecsElapsed()) / 1e9;
        // The rows in view finish their thumbnails; the window keeps being timed meanwhile.
        QTest::qWait(500);
        longestGapMs = std::max(longestGapMs, sinceTick.elapsed());
        timer.stop();
        if (!settled) {
            state.SkipWithError("the library was not listed");
            return;
        }
        state.SetIterationTime(seconds);
        state.counters["rss_growth_mb"] = residentMegabytes() - before;
        state.counters["rss_mb"] = residentMegabytes();
        state.counters["longest_gui_wait_ms"] = double(longestGapMs);
        window.reset();
        hub.reset();
    }
}
BENCHMARK(BM_PhotoLibraryInView)->Arg(10)->Arg(1000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

// The same window scrolled a screenful at a time from the first photo to the last, each
// screenful's thumbnails shown before the next. Reported: the time, the processor time of the
// whole application meanwhile, and the memory the application grew by with every row made and
// its thumbnail shown once.
void BM_PhotoLibraryScrolledThrough(benchmark::State& state)
{
    const int count = int(state.range(0));
    Library library(count);

    for (auto _ : state) {
        const double before = residentMegabytes();
        const double cpuBefore = processorSeconds();
        QElapsedTimer clock;
        clock.start();
        auto [hub, window, view] = library.show(QSize(900, 1000));
        QScrollArea* area = nullptr;
        for (QWidget* w = view; w && !area; w = w->parentWidget())
            area = qobject_cast<QScrollArea*>(w);
        const bool listed = area && QTest::qWaitFor(
            [&] { return hub->pendingPhotoWork() == 0 && view->model()->rowCount() == count; }, 120000);
        if (!listed) {
            state.SkipWithError("the library was not listed");
            return;
        }
        // The rows in sight are made and show their thumbnails.
        const auto screenfulShown = [&] {
            const QRect sight = area->viewport()->rect();
            bool anyInSight = false;
            for (PhotoRow* row : view->builtPhotoRows()) {
                const QRect place(row->mapTo(area->viewport(), QPoint(0, 0)), row->size());
                if (!sight.intersects(place))
                    continue;
                anyInSight = true;
                if (!row->thumbnailLabel()->isVisibleTo(view))
                    return false;
            }
            return anyInSight;
        };
        QScrollBar* bar = area->verticalScrollBar();
        bool shown = true;
        for (int at = 0; shown; at += bar->pageStep()) {
            bar->setValue(at);
            shown = QTest::qWaitFor(screenfulShown, 10000);
            if (at >= bar->maximum())
                break;
        }
        const QList<PhotoRow*> rows = view->builtPhotoRows();
        if (!shown || rows.size() != count || rows.last()->photoId() != view->model()->photoId(count - 1)) {
            state.SkipWithError("the list was not scrolled through");
            return;
        }
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        state.counters["cpu_s"] = processorSeconds() - cpuBefore;
        state.counters["rss_growth_mb"] = residentMegabytes() - before;
        state.counters["rss_mb"] = residentMegabytes();
        window.reset();
        hub.reset();
    }
}
BENCHMARK(BM_PhotoLibraryScrolledThrough)->Arg(10000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

// A 300-photo import chosen in the window, from its files to every photo listed: the time,
// the peak of resident memory while it runs (reset as it starts), and the minor page faults
// of the whole application meanwhile, and the peak of the picture decoder processes that are
// kept when it ends (none where pictures are decoded in the application). The photos are 4,000 x 3,000 camera JPEGs, or the first
// files of the folder TARV_BENCH_PHOTOS names.
void BM_PhotoImportInView(benchmark::State& state)
{
    const int count = int(state.range(0));
    Library library(0);
    QTemporaryDir sources;
    QStringList paths;
    if (const QString folder = qEnvironmentVariable("TARV_BENCH_PHOTOS"); !folder.isEmpty()) {
        for (const QString& name : QDir(folder).entryList(QDir::Files, QDir::Name).mid(0, count))
            paths.append(QDir(folder).filePath(name));
    } else {
        const QByteArray jpeg = cameraJpeg();
        for (int n = 0; n < count; ++n) {
            paths.append(QDir(sources.path()).filePath(QStringLiteral("IMG_%1.jpg").arg(n)));
            QFile file(paths.last());
            if (file.open(QIODevice::WriteOnly))
                file.write(jpeg);
        }
    }
    for (auto _ : state) {
        auto [hub, window, view] = library.show();
        QTest::qWait(200);
        resetPeakResident();
        rusage start{};
        ::getrusage(RUSAGE_SELF, &start);
        QElapsedTimer clock;
        clock.start();
        hub->importPhotoFiles(paths);
        const bool listed = QTest::qWaitFor(
            [&] { return hub->pendingPhotoWork() == 0 && view->model()->rowCount() == count; }, 600000);
        const double seconds = double(clock.nsecsElapsed()) / 1e9;
        rusage end{};
        ::getrusage(RUSAGE_SELF, &end);
        if (!listed) {
            state.SkipWithError("the photos were not listed");
            return;
        }
        state.SetIterationTime(seconds);
        const auto cpu = [](const rusage& u) {
            return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
                   double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
        };
        state.counters["cpu_s"] = cpu(end) - cpu(start);
        state.counters["minor_faults"] = double(end.ru_minflt - start.ru_minflt);
        state.counters["peak_rss_mb"] = double(peakResidentBytes()) / (1024.0 * 1024.0);
        state.counters["decoders_peak_rss_mb"] =
            double(childrenPeakResidentBytes("tarv-picture-decoder")) / (1024.0 * 1024.0);
        window.reset();
        hub.reset();
    }
}
BENCHMARK(BM_PhotoImportInView)->Arg(300)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

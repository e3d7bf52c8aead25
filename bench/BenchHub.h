#pragma once
// A hub for the benchmarks: empty stores, settings in a temporary folder, its log kept off
// standard error, and optionally a pseudo-terminal whose other end is read and discarded.

#include "hub/DeviceManager.h"
#include "link/Cobs.h"
#include "macros/ProfileStore.h"
#include "media/ScreensaverPhotoService.h"
#include "media/StockService.h"
#include "media/StockStore.h"
#include "platform/Settings.h"
#include "screens/runtime/CustomScreenStore.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <stdlib.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <benchmark/benchmark.h>

// The one application object of the benchmark run, made by whichever benchmark needs it first.
inline void ensureBenchApp()
{
    static int argc = 1;
    static char name[] = "tarv_bench";
    static char* argv[] = {name, nullptr};
    // A benchmark of the windows has made its QApplication already.
    if (!QCoreApplication::instance())
        static QCoreApplication app(argc, argv);
}

// A hub with empty stores, settings in a temporary folder, and its log kept off standard
// error; optionally connected to a pseudo-terminal whose other end is read and discarded.
struct BenchHub {
    QTemporaryDir dir;
    std::unique_ptr<Settings> settings;
    std::unique_ptr<ProfileStore> profiles;
    std::unique_ptr<ScreensaverPhotoService> photos;
    std::unique_ptr<StockStore> stocks;
    std::unique_ptr<CustomScreenStore> screens;
    std::unique_ptr<DeviceManager> hub;
    int master = -1;
    // Closing the master does not wake a read() blocked on it, so the drain waits on this pipe
    // too and the destructor writes to it.
    int stopPipe[2] = {-1, -1};
    std::thread drain;

    BenchHub()
    {
        ensureBenchApp();
        QLoggingCategory::setFilterRules(QStringLiteral("tarv.device.info=false"));
        for (const char* var : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR"})
            qputenv(var, dir.path().toLocal8Bit());
        settings = std::make_unique<Settings>(dir.filePath(QStringLiteral("Tarv.conf")));
        // The quote service stays out of reach: nothing listens on port 0.
        settings->setText(StockService::serviceBaseKey, QStringLiteral("http://127.0.0.1:0"));
        profiles = std::make_unique<ProfileStore>(*settings);
        stocks = std::make_unique<StockStore>(*settings);
        photos = std::make_unique<ScreensaverPhotoService>(dir.path());
        screens = std::make_unique<CustomScreenStore>(dir.filePath(QStringLiteral("Screens")),
                                                      std::make_unique<ScreenTrust>());
        DeviceManager::Environment environment;
        environment.settings = settings.get();
        environment.isTesting = true;
        hub = std::make_unique<DeviceManager>(*profiles, *photos, *stocks, *screens, false, std::move(environment));
    }

    bool openPort()
    {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
            return false;
        if (::pipe2(stopPipe, O_CLOEXEC) != 0)
            return false;
        hub->connect(1, QString::fromLocal8Bit(::ptsname(master)));
        drain = std::thread([this] {
            char buffer[65536];
            for (;;) {
                pollfd fds[2] = {{master, POLLIN, 0}, {stopPipe[0], POLLIN, 0}};
                if (::poll(fds, 2, -1) < 0 || fds[1].revents != 0)
                    return;
                // Hung up, or the port is closed on the other side: wait for the stop.
                if (::read(master, buffer, sizeof buffer) <= 0 && ::poll(&fds[1], 1, -1) >= 0)
                    return;
            }
        });
        return hub->isPortOpen();
    }

    ~BenchHub()
    {
        hub.reset();
        if (stopPipe[1] >= 0)
            (void)!::write(stopPipe[1], "x", 1);
        if (drain.joinable())
            drain.join();
        for (int fd : {master, stopPipe[0], stopPipe[1]})
            if (fd >= 0)
                ::close(fd);
    }
};

// The bytes of one frame as they arrive on the line.
inline QByteArray onTheLine(const TarvUSB::Frame& frame)
{
    return TarvUSB::cobsEncode(TarvUSB::Frame::encode(frame)) + QByteArray(1, '\0');
}

// Reports the median, the 99th percentile and the worst of latencies in microseconds.
inline void reportLatencies(benchmark::State& state, std::vector<double>& micros)
{
    if (micros.empty())
        return;
    std::sort(micros.begin(), micros.end());
    const auto at = [&](double q) { return micros[std::min(micros.size() - 1, std::size_t(q * double(micros.size())))]; };
    state.counters["p50_us"] = at(0.50);
    state.counters["p99_us"] = at(0.99);
    state.counters["max_us"] = micros.back();
}

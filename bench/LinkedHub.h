#pragma once
// A hub linked to the fake device on a pseudo-terminal, the device on a thread of its own as
// a real device runs beside the desktop, and a way to run this thread's event loop until
// something holds.

#include "BenchHub.h"
#include "support/FakeDevice.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <atomic>
#include <chrono>
#include <memory>

using BenchClock = std::chrono::steady_clock;

// Runs the event loop of this thread until done() holds; false after the bound.
template <class Predicate>
inline bool spinUntil(Predicate&& done, int boundMs = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > boundMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    return true;
}

// The fake device on its own thread. What the benchmarks read of it is kept in atomics.
class DeviceThread {
public:
    DeviceThread()
    {
        thread.start();
        context.moveToThread(&thread);
        call([this] {
            device = std::make_unique<TarvFake::FakeDevice>();
            device->onFrame = [this](const TarvUSB::Frame& frame) {
                if (frame.get<TarvUSB::HidEmitPayload>()) {
                    hidArrivedAt.store(BenchClock::now().time_since_epoch().count());
                    hidReports.fetch_add(1);
                } else if (frame.get<TarvUSB::AssetEndPayload>()) {
                    assetEnds.fetch_add(1);
                }
            };
            if (device->start())
                path = device->portPath();
        });
    }
    ~DeviceThread()
    {
        call([this] { device.reset(); });
        thread.quit();
        thread.wait();
    }

    // Runs fn on the device's thread and waits for it.
    template <class F>
    void call(F fn)
    {
        QMetaObject::invokeMethod(&context, std::move(fn), Qt::BlockingQueuedConnection);
    }

    QString path;
    std::atomic<int> hidReports{0};
    std::atomic<int> assetEnds{0};
    std::atomic<BenchClock::rep> hidArrivedAt{0};
    std::atomic<BenchClock::rep> upSentAt{0};
    std::unique_ptr<TarvFake::FakeDevice> device;  // used on the device's thread only

private:
    QThread thread;
    QObject context;
};

// A hub talking to the fake device, greeted and showing its home page.
struct LinkedHub {
    BenchHub bench;
    DeviceThread device;

    bool connect()
    {
        if (device.path.isEmpty())
            return false;
        bench.hub->connect(1, device.path);
        device.call([this] { device.device->sendHello(); });
        return spinUntil([&] { return bench.hub->state().isConnected() && bench.hub->deviceHoldsScreen() && idle(); });
    }

    // As connect(), marking the benchmark skipped when the device never answers.
    bool connect(benchmark::State& state)
    {
        if (connect())
            return true;
        state.SkipWithError("the fake device did not connect");
        return false;
    }

    // Nothing waits to be sent and every frame sent is acknowledged.
    bool idle() const { return bench.hub->queuedFrames().isEmpty() && bench.hub->outstandingAcks().isEmpty(); }

    // A full-screen picture with no runs, so COBS and the device have real work.
    static QByteArray fullScreenPixels()
    {
        QByteArray pixels(480 * 320 * 2, Qt::Uninitialized);
        for (qsizetype i = 0; i < pixels.size(); ++i)
            pixels[i] = char(i * 31 % 251);
        return pixels;
    }

    // Uploads the picture and runs the event loop until the device has it and every frame
    // is acknowledged; false when it never arrives.
    bool uploadFullScreen(const QByteArray& pixels)
    {
        const int before = device.assetEnds.load();
        bench.hub->uploadAsset(pixels);
        return spinUntil([&] { return device.assetEnds.load() > before && idle(); });
    }

    // Times one full-screen upload an iteration; false, with the benchmark skipped, when one
    // never arrives.
    bool timeFullScreenUploads(benchmark::State& state)
    {
        const QByteArray pixels = fullScreenPixels();
        for (auto _ : state) {
            const auto start = BenchClock::now();
            if (!uploadFullScreen(pixels)) {
                state.SkipWithError("the image did not arrive");
                return false;
            }
            state.SetIterationTime(std::chrono::duration<double>(BenchClock::now() - start).count());
        }
        return true;
    }
};

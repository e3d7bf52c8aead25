// Speed of the command channel: the round trip of `tarv ping` through the real socket and
// the hub on this thread (the aim is under 2 ms, the tool's own start not counted), and
// `tarv set` for a shown custom page until its PATCH has reached the device, which includes
// the page's 50 ms window that gathers values into one patch.

#include "LinkedHub.h"

#include "control/NotifyClient.h"
#include "control/SocketNotifyServer.h"
#include "screens/runtime/CustomScreenStore.h"

#include <QDir>
#include <QFile>
#include <QThreadPool>

namespace {

// The hub again, now with the socket server the application gives it, serving.
bool serveChannel(BenchHub& bench)
{
    bench.hub.reset();
    DeviceManager::Environment environment;
    environment.settings = bench.settings.get();
    environment.isTesting = true;
    environment.notifyServerFactory = SocketNotifyServer::factory();
    bench.hub = std::make_unique<DeviceManager>(*bench.profiles, *bench.photos, *bench.stocks, *bench.screens, false,
                                                std::move(environment));
    bench.hub->startNotifyServer();
    return spinUntil([&] { return bench.hub->hasNotifyServer(); });
}

// One exchange as the tool makes it, on a pool thread, while this thread's event loop runs
// the hub that answers.
bool exchange(const NotifyChannel::Request& request)
{
    std::atomic<bool> done{false};
    std::atomic<bool> answered{false};
    QThreadPool::globalInstance()->start([&] {
        const auto outcome = NotifyClient::sendRequest(request, NotifyChannel::socketPath(), 5);
        answered = std::holds_alternative<NotifyChannel::Reply>(outcome);
        done = true;
    });
    return spinUntil([&] { return done.load(); }) && answered;
}

void BM_TarvPingRoundTrip(benchmark::State& state)
{
    BenchHub bench;
    if (!serveChannel(bench)) {
        state.SkipWithError("the command channel did not start");
        return;
    }
    const NotifyChannel::Request ping = NotifyChannel::request(QStringLiteral("ping"), QString(), 0);
    for (auto _ : state)
        if (!exchange(ping)) {
            state.SkipWithError("no answer");
            return;
        }
}
BENCHMARK(BM_TarvPingRoundTrip)->Unit(benchmark::kMicrosecond);

void BM_TarvSetToPatchOnTheWire(benchmark::State& state)
{
    // Outlives the device, whose frame callback counts into it.
    std::atomic<int> patches{0};
    LinkedHub linked;
    const QString folder = linked.bench.screens->folder();
    QDir().mkpath(folder);
    QFile file(QDir(folder).filePath(QStringLiteral("build.json")));
    file.open(QIODevice::WriteOnly);
    file.write(R"({"title": "Build", "sources": {"p": {"push": "build.status"}},
                  "widgets": [{"type": "text", "x": 12, "y": 40, "w": 300, "text": "Build {{p}}"}]})");
    file.close();
    linked.bench.screens->start();
    linked.device.call([&] {
        linked.device.device->onFrame = [&](const TarvUSB::Frame& frame) {
            if (frame.get<TarvUSB::PatchPayload>())
                patches.fetch_add(1);
        };
    });
    if (!serveChannel(linked.bench) || !linked.connect()) {
        state.SkipWithError("no channel or no device");
        return;
    }
    DeviceManager& hub = *linked.bench.hub;
    hub.showScreen(DeviceScreen::custom(QStringLiteral("build")));
    spinUntil([&] { return linked.idle(); });

    int value = 0;
    for (auto _ : state) {
        const int before = patches.load();
        const NotifyChannel::Request set = NotifyChannel::request(
            QStringLiteral("set"), QString::number(++value), 0, QStringLiteral("build.status"));
        if (!exchange(set) || !spinUntil([&] { return patches.load() > before; })) {
            state.SkipWithError("the value did not reach the device");
            break;
        }
    }
    linked.device.call([&] { linked.device.device->onFrame = nullptr; });
}
BENCHMARK(BM_TarvSetToPatchOnTheWire)->Unit(benchmark::kMillisecond);

}  // namespace

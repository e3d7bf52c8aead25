// Speed of the Now Playing work: drawing the backdrop from a large artwork (once per track,
// off the GUI thread; aim under 20 ms), and one poll of the players on the bus.

#include "BenchHub.h"

#include "media/MprisPlaybackService.h"
#include "media/NowPlayingBackdrop.h"
#include "support/FakeMprisPlayer.h"
#include "support/PrivateSessionBus.h"

#include <QBuffer>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>

#include "BenchImages.h"

#include <optional>

namespace {

QImage largeArtwork()
{
    QImage image = gradientPicture(1000, 1000, QColor(30, 60, 200), QColor(230, 180, 40));
    QPainter painter(&image);
    painter.fillRect(QRect(300, 300, 400, 400), QColor(200, 30, 90));
    return image;
}

void BM_BackdropFromLargeArtwork(benchmark::State& state)
{
    const QImage artwork = largeArtwork();
    for (auto _ : state)
        benchmark::DoNotOptimize(NowPlayingBackdrop::render(artwork));
}
BENCHMARK(BM_BackdropFromLargeArtwork)->Unit(benchmark::kMillisecond);

// The same with decoding the JPEG bytes a player's artwork usually comes as.
void BM_BackdropFromLargeArtworkBytes(benchmark::State& state)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    largeArtwork().save(&buffer, "JPEG", 90);
    for (auto _ : state)
        benchmark::DoNotOptimize(NowPlayingBackdrop::render(bytes));
}
BENCHMARK(BM_BackdropFromLargeArtworkBytes)->Unit(benchmark::kMillisecond);

void BM_PollOfTheFakePlayer(benchmark::State& state)
{
    ensureBenchApp();
    TarvFake::PrivateSessionBus bus;
    if (!bus.start()) {
        state.SkipWithError(bus.lastError().toStdString().c_str());
        return;
    }
    TarvFake::FakeMprisPlayer player(MprisPlaybackService::busPrefix + QStringLiteral("fake"), QStringLiteral("Fake"));
    if (!player.start(bus.address())) {
        state.SkipWithError("the fake player did not start");
        return;
    }
    player.setTrack({QStringLiteral("/t/1"), QStringLiteral("Title"), {QStringLiteral("Artist")}, 200'000'000,
                     QStringLiteral("file:///tmp/a.png")});
    player.setStatus(QStringLiteral("Playing"));
    const QString connection = QStringLiteral("tarv-bench-client");
    {
        MprisPlaybackService service(QDBusConnection::connectToBus(bus.address(), connection));
        QObject context;
        for (auto _ : state) {
            std::optional<NowPlayingState> answer;
            service.nowPlaying(&context, [&](const NowPlayingState& s) { answer = s; });
            while (!answer)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            benchmark::DoNotOptimize(answer);
        }
    }
    QDBusConnection::disconnectFromBus(connection);
}
BENCHMARK(BM_PollOfTheFakePlayer)->Unit(benchmark::kMillisecond);

}  // namespace

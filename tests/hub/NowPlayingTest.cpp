// The Now Playing page fed by players the test scripts: anchoring of the shown position,
// scrub protection, the transport buttons, seeking and the artwork backdrop; and once end to
// end with a fake MPRIS player on a private bus.

#include "TouchFixture.h"

#include "media/MprisPlaybackService.h"
#include "media/UrlArtworkService.h"
#include "pages/NowPlayingControls.h"
#include "support/FakeMprisPlayer.h"
#include "support/PrivateSessionBus.h"

#include <QImage>
#include <QTimer>
#include <QUrl>

using namespace TarvUSB;
namespace Nodes = DynamicUIDemo::NowPlayingNodes;

namespace {

// Answers every poll with `answer`, after the call has returned.
class ScriptedPlayers final : public MediaPlaybackService {
public:
    NowPlayingState answer;
    int polls = 0;
    bool acceptsSeeks = true;
    QList<std::pair<NowPlayingState, double>> seeks;
    // While set, polls wait here for the test to answer them.
    bool holdPolls = false;
    QList<StateHandler> heldPolls;

    void nowPlaying(QObject* context, StateHandler done) override
    {
        ++polls;
        if (holdPolls) {
            heldPolls.append(std::move(done));
            return;
        }
        QTimer::singleShot(0, context, [done, state = answer] { done(state); });
    }
    void seek(QObject* context, const NowPlayingState& playing, double seconds, SeekHandler done) override
    {
        seeks.append({playing, seconds});
        QTimer::singleShot(0, context, [done, ok = acceptsSeeks] { done(ok); });
    }
};

// Keeps every request; the test answers them when it likes.
class HeldArtwork final : public ArtworkService {
public:
    struct Request {
        QString key;
        BackdropHandler done;
    };
    QList<Request> requests;

    void fetchArtwork(QObject*, const NowPlayingState& state, BackdropHandler done) override
    {
        requests.append({state.artworkKey(), std::move(done)});
    }
};

NowPlayingState track(const QString& id, double elapsed, bool playing = true)
{
    NowPlayingState state;
    state.title = QStringLiteral("Track ") + id;
    state.artist = QStringLiteral("Band");
    state.duration = 200;
    state.elapsed = elapsed;
    state.isPlaying = playing;
    state.source = NowPlayingState::Source::musicPlayer;
    state.player = QStringLiteral("Fake");
    state.artworkID = id;
    return state;
}

NowPlayingBackdrop backdrop(std::uint32_t accent)
{
    return {QByteArray(307200, char(accent & 0xFF)), accent};
}

class NowPlayingTest : public TouchTest {
protected:
    ScriptedPlayers players;
    HeldArtwork artwork;

    void SetUp() override
    {
        mediaService = &players;
        artworkService = &artwork;
        makeHub();
    }

    // One poll, run to its end.
    void poll(const NowPlayingState& answer)
    {
        players.answer = answer;
        const int before = players.polls;
        hub->refreshNowPlaying();
        ASSERT_EQ(players.polls, before + 1);
        QCoreApplication::processEvents();
    }

    void showPlaying(const NowPlayingState& answer)
    {
        connectAndGreet();
        players.answer = answer;
        hub->showScreen(DeviceScreen::nowPlaying());
        ASSERT_TRUE(waitUntil([&] { return hub->nowPlaying().title == answer.title; }));
    }

    qsizetype uploads() const { return count<AssetBeginPayload>(); }
};

TEST_F(NowPlayingTest, APositionInStepKeepsItsAnchorAndOneThatDriftsReanchors)
{
    showPlaying(track(QStringLiteral("a"), 10));
    EXPECT_TRUE(waitUntil([&] { return deviceText(Nodes::title) == QStringLiteral("Track a"); }));
    ASSERT_TRUE(hub->playbackSample());
    const DeviceManager::PlaybackSample anchor = *hub->playbackSample();
    EXPECT_EQ(anchor.elapsed, 10);

    // Three seconds on, the player says 14.4: 1.4 from the expected 13, in step.
    wallNow = anchor.date.addSecs(3);
    poll(track(QStringLiteral("a"), 14.4));
    EXPECT_NE(hub->nowPlaying().elapsed, 14.4);
    EXPECT_EQ(hub->playbackSample()->elapsed, anchor.elapsed);
    EXPECT_EQ(hub->playbackSample()->date, anchor.date);

    // Two seconds off: the player jumped, the anchor follows it.
    wallNow = anchor.date.addSecs(6);
    poll(track(QStringLiteral("a"), 18));
    EXPECT_EQ(hub->nowPlaying().elapsed, 18);
    EXPECT_EQ(hub->playbackSample()->elapsed, 18);
    EXPECT_EQ(hub->playbackSample()->date, wallNow);

    // While the user drags, the player's position does not move the bar.
    hub->setScrubFraction(0.5);
    poll(track(QStringLiteral("a"), 90, false));
    EXPECT_EQ(hub->nowPlaying().elapsed, 18);
    EXPECT_FALSE(hub->nowPlaying().isPlaying);
}

TEST_F(NowPlayingTest, TheMediaLoopWaitsForAPollBeforeItsNext)
{
    showPlaying(track(QStringLiteral("a"), 10));
    QTimer* loop = nullptr;
    for (QTimer* timer : hub->findChildren<QTimer*>())
        if (timer->interval() == 3000)
            loop = timer;
    ASSERT_NE(loop, nullptr);

    players.holdPolls = true;
    const int before = players.polls;
    QMetaObject::invokeMethod(loop, "timeout");
    QMetaObject::invokeMethod(loop, "timeout");
    EXPECT_EQ(players.polls, before + 1);

    players.heldPolls.takeFirst()(track(QStringLiteral("b"), 0));
    EXPECT_EQ(hub->nowPlaying().title, QStringLiteral("Track b"));
    QMetaObject::invokeMethod(loop, "timeout");
    EXPECT_EQ(players.polls, before + 2);
}

TEST_F(NowPlayingTest, PlayPauseAnswersOnThePageAtOnceThenAsksThePlayer)
{
    showPlaying(track(QStringLiteral("a"), 10));
    ASSERT_TRUE(waitUntil([&] { return hub->outstandingAcks().isEmpty(); }));
    const int polls = players.polls;
    const qsizetype patches = count<PatchPayload>();
    wallNow = wallNow.addSecs(5);
    tap(335, 200);  // play/pause
    EXPECT_FALSE(hub->nowPlaying().isPlaying) << "before any answer";
    EXPECT_EQ(hub->playbackSample()->date, wallNow);
    EXPECT_TRUE(logTexts().contains(QStringLiteral("Media control: playPause")));
    QCoreApplication::processEvents();
    EXPECT_EQ(players.polls, polls) << "the key reaches the player before it is asked";
    players.answer = track(QStringLiteral("a"), 15, false);
    ASSERT_TRUE(waitUntil([&] { return players.polls == polls + 1; }));
    QCoreApplication::processEvents();
    EXPECT_FALSE(hub->nowPlaying().isPlaying);
    ASSERT_TRUE(waitUntil([&] { return count<PatchPayload>() > patches; }));
    ASSERT_FALSE(hidEmits().isEmpty());
    EXPECT_EQ(hidEmits().last().keys, QList<std::uint16_t>{0xCD});

    hub->disconnect(7);
    const qsizetype lines = hub->log().size();
    hub->sendMediaControl(MediaControl::next);
    EXPECT_EQ(hub->log().size(), lines) << "disconnected: nothing at all";
}

TEST_F(NowPlayingTest, ASeekGoesToTheAnsweringPlayerAndARefusalIsLogged)
{
    showPlaying(track(QStringLiteral("a"), 10));
    int polls = players.polls;
    hub->seekPlayer(42, hub->nowPlaying());
    ASSERT_TRUE(waitUntil([&] { return players.polls == polls + 1; })) << "the real position is read back";
    ASSERT_EQ(players.seeks.size(), 1);
    EXPECT_EQ(players.seeks[0].second, 42);
    EXPECT_EQ(players.seeks[0].first.artworkID, QStringLiteral("a"));
    EXPECT_EQ(logCount(QStringLiteral("Fake did not")), 0);

    players.acceptsSeeks = false;
    polls = players.polls;
    hub->seekPlayer(50, hub->nowPlaying());
    ASSERT_TRUE(waitUntil([&] { return players.polls == polls + 1; }));
    EXPECT_TRUE(logTexts().contains(QStringLiteral("Fake did not accept the seek")));

    hub->seekPlayer(5, NowPlayingState::idle());
    EXPECT_TRUE(logTexts().contains(QStringLiteral("No player did not accept the seek")));
}

TEST_F(NowPlayingTest, ArtworkIsFetchedOncePerKeyAndLateResultsAreDropped)
{
    showPlaying(track(QStringLiteral("a"), 10));
    ASSERT_EQ(artwork.requests.size(), 1);
    EXPECT_EQ(artwork.requests[0].key, QStringLiteral("Fake:a"));
    poll(track(QStringLiteral("a"), 11));
    EXPECT_EQ(artwork.requests.size(), 1) << "a key is requested once";

    // The track changes before its artwork arrives: the old result changes nothing.
    poll(track(QStringLiteral("b"), 0));
    ASSERT_EQ(artwork.requests.size(), 2);
    artwork.requests[0].done(backdrop(0x3366FF));
    EXPECT_FALSE(hub->cachedBackdrop());
    EXPECT_EQ(hub->nowPlaying().accent, 0xFFB020u);

    // b fails: remembered, never asked again while it stays current.
    artwork.requests[1].done(std::nullopt);
    EXPECT_EQ(hub->failedArtworkIdentity(), QStringLiteral("Fake:b"));
    EXPECT_FALSE(hub->nowPlaying().hasArtwork);
    poll(track(QStringLiteral("b"), 3));
    EXPECT_EQ(artwork.requests.size(), 2);
    EXPECT_EQ(uploads(), 0);

    // Nothing playing: no key, no request.
    poll(NowPlayingState::idle());
    EXPECT_EQ(artwork.requests.size(), 2);
    EXPECT_EQ(hub->nowPlaying().artist, QStringLiteral("Open a music player or Spotify"));
}

TEST_F(NowPlayingTest, TheBackdropIsUploadedOnceAndAgainFromTheCacheAfterReconnecting)
{
    showPlaying(track(QStringLiteral("a"), 10));
    ASSERT_EQ(artwork.requests.size(), 1);
    artwork.requests[0].done(backdrop(0x3366FF));
    EXPECT_EQ(hub->backdropIdentity(), std::optional<QString>(QStringLiteral("Fake:a")));
    EXPECT_TRUE(hub->nowPlaying().hasArtwork);
    EXPECT_EQ(hub->nowPlaying().accent, 0x3366FFu);
    ASSERT_TRUE(waitUntil([&] { return uploads() == 1; }));
    ASSERT_TRUE(waitUntil([&] { return hub->outstandingAcks().isEmpty(); }));
    EXPECT_FALSE(device.widgets().find(Nodes::backdrop)->isHidden());

    hub->showScreen(DeviceScreen::home());
    hub->showScreen(DeviceScreen::nowPlaying());
    roundTrip();
    EXPECT_EQ(uploads(), 1) << "the device still holds it";

    device.sendHello();
    ASSERT_TRUE(waitUntil([&] { return !hub->backdropIdentity() || uploads() == 2; }));
    hub->showScreen(DeviceScreen::home());
    hub->showScreen(DeviceScreen::nowPlaying());
    ASSERT_TRUE(waitUntil([&] { return uploads() == 2; }));
    EXPECT_EQ(artwork.requests.size(), 1) << "uploaded again from the cache, not fetched again";
}

// --- End to end ------------------------------------------------------------------------------

class NowPlayingEndToEndTest : public TouchTest {
protected:
    TarvFake::PrivateSessionBus bus;
};

TEST_F(NowPlayingEndToEndTest, AFakePlayersTrackAndArtworkReachTheDevice)
{
    ASSERT_TRUE(bus.start()) << bus.lastError().toStdString();
    QImage cover(300, 300, QImage::Format_RGB32);
    cover.fill(QColor(200, 40, 160));
    ASSERT_TRUE(cover.save(dir.filePath(QStringLiteral("cover.png"))));

    TarvFake::FakeMprisPlayer player(MprisPlaybackService::busPrefix + QStringLiteral("fake"),
                                     QStringLiteral("Fake Player"));
    ASSERT_TRUE(player.start(bus.address()));
    player.setTrack({QStringLiteral("/org/tarv/track/1"), QStringLiteral("Blue Monday"), {QStringLiteral("New Order")},
                     448'000'000, QUrl::fromLocalFile(dir.filePath(QStringLiteral("cover.png"))).toString()});
    player.setPositionUs(30'000'000);
    player.setStatus(QStringLiteral("Playing"));

    const QString connection = QStringLiteral("tarv-hub-test-client");
    {
        MprisPlaybackService mpris(QDBusConnection::connectToBus(bus.address(), connection));
        UrlArtworkService art;
        mediaService = &mpris;
        artworkService = &art;
        makeHub();
        connectAndGreet();
        hub->showScreen(DeviceScreen::nowPlaying());
        ASSERT_TRUE(waitUntil([&] { return deviceText(Nodes::title) == QStringLiteral("Blue Monday"); }));
        EXPECT_EQ(deviceText(Nodes::artist), QStringLiteral("New Order"));
        ASSERT_TRUE(waitUntil([&] { return count<AssetEndPayload>() == 1; }));
        EXPECT_TRUE(hub->nowPlaying().hasArtwork);

        // Dragging to the middle seeks the player there.
        touch(214, 120, TouchPhase::down);
        touch(348, 120, TouchPhase::up);
        ASSERT_TRUE(waitUntil([&] { return player.seekCalls().size() == 1; }));
        EXPECT_EQ(player.seekCalls()[0].trackID, QStringLiteral("/org/tarv/track/1"));
        EXPECT_NEAR(double(player.seekCalls()[0].positionUs) / 1e6, 224, 1);
        hub.reset();
    }
    QDBusConnection::disconnectFromBus(connection);
}

}  // namespace

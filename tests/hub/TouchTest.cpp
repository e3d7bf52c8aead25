// Touch dispatch against the fake device: swipes, taps where the finger went down, the
// wake touch, calculator keys, the toast, scrubbing and custom-page buttons.

#include "TouchFixture.h"

#include "pages/NowPlayingControls.h"

using namespace TarvUSB;

namespace {

NowPlayingState playing()
{
    NowPlayingState state;
    state.title = QStringLiteral("Song");
    state.source = NowPlayingState::Source::spotify;
    state.duration = 200;
    state.elapsed = 10;
    state.isPlaying = true;
    return state;
}

}  // namespace

TEST_F(TouchTest, SwipesMoveThroughThePagesInOrderWithoutWrapping)
{
    connectAndGreet();
    const QList<DeviceScreen> order{DeviceScreen::home(), DeviceScreen::stocks(), DeviceScreen::calculator(),
                                    DeviceScreen::nowPlaying()};
    for (qsizetype k = 1; k < order.size(); ++k) {
        device.swipe(400, 160, 100, 160);
        ASSERT_TRUE(waitUntil([&] { return hub->activeScreen() == order[k]; }));
    }
    device.swipe(400, 160, 100, 160);
    roundTrip();
    EXPECT_EQ(hub->activeScreen(), DeviceScreen::nowPlaying()) << "no page after the last";
    for (qsizetype k = order.size() - 2; k >= 0; --k) {
        device.swipe(100, 160, 400, 160);
        ASSERT_TRUE(waitUntil([&] { return hub->activeScreen() == order[k]; }));
    }
    const int renders = hub->renderCount();
    device.swipe(100, 160, 400, 160);
    roundTrip();
    EXPECT_EQ(hub->activeScreen(), DeviceScreen::home());
    EXPECT_EQ(hub->renderCount(), renders);
    EXPECT_TRUE(hidEmits().isEmpty()) << "no release of a swipe taps";
}

TEST_F(TouchTest, ADragThatChangesThePageWhileMovingDoesNotAlsoTap)
{
    connectAndGreet();
    touch(key4X + 100, key4Y, TouchPhase::down);
    touch(key4X + 50, key4Y, TouchPhase::move);
    EXPECT_EQ(hub->activeScreen(), DeviceScreen::home()) << "50 px is not yet a swipe";
    touch(key4X + 40, key4Y, TouchPhase::move);
    EXPECT_EQ(hub->activeScreen(), DeviceScreen::stocks());
    touch(key4X, key4Y, TouchPhase::move);
    touch(key4X, key4Y, TouchPhase::up);
    EXPECT_EQ(hub->activeScreen(), DeviceScreen::stocks());
    EXPECT_FALSE(hub->suppressTouchUp());
    EXPECT_FALSE(hub->touchStart());
    roundTrip();
    EXPECT_TRUE(hidEmits().isEmpty());
}

TEST_F(TouchTest, AReleaseIsHitTestedWhereTheFingerWentDown)
{
    connectAndGreet();
    // 59 px to the right is no swipe, and |dx| = |dy| never is: both press key 4 ("A").
    touch(key4X, key4Y, TouchPhase::down);
    touch(key4X + 59, key4Y, TouchPhase::up);
    touch(key4X, key4Y, TouchPhase::down);
    touch(key4X + 70, key4Y + 70, TouchPhase::move);
    touch(key4X + 70, key4Y + 70, TouchPhase::up);
    EXPECT_EQ(hub->activeScreen(), DeviceScreen::home());
    ASSERT_TRUE(waitUntil([&] { return hidEmits().size() == 2; }));
    EXPECT_EQ(hidEmits()[0].keys, QList<std::uint16_t>{4});
    EXPECT_EQ(hidEmits()[1].keys, QList<std::uint16_t>{4});
}

TEST_F(TouchTest, TheWakeTouchPressesNothing)
{
    connectAndGreet();
    hub->showScreen(DeviceScreen::screensaver());
    device.tap(key4X, key4Y);
    ASSERT_TRUE(waitUntil([&] { return hub->activeScreen() == DeviceScreen::home(); }));
    roundTrip();
    EXPECT_TRUE(hidEmits().isEmpty());
    EXPECT_FALSE(hub->suppressTouchUp());

    device.tap(key4X, key4Y);
    EXPECT_TRUE(waitUntil([&] { return hidEmits().size() == 1; })) << "the next touch presses again";
}

// A release lost on the way (a reset device, a broken frame) must not swallow the release
// of the next touch.
TEST_F(TouchTest, ANewTouchForgetsASuppressedReleaseThatNeverCame)
{
    connectAndGreet();
    hub->showScreen(DeviceScreen::screensaver());
    touch(key4X, key4Y, TouchPhase::down);  // wakes; its release is lost
    ASSERT_EQ(hub->activeScreen(), DeviceScreen::home());
    tap(key4X, key4Y);
    EXPECT_TRUE(waitUntil([&] { return hidEmits().size() == 1; }));

    // Likewise a scrub whose release was lost: the next touch is a tap, not a drag.
    hub->setNowPlaying(playing());
    hub->showScreen(DeviceScreen::nowPlaying());
    touch(300, 120, TouchPhase::down);
    ASSERT_TRUE(hub->scrubFraction());
    tap(420, 200);  // next
    EXPECT_FALSE(hub->scrubFraction());
    EXPECT_EQ(logCount(QStringLiteral("Seek to")), 0);
    EXPECT_TRUE(waitUntil([&] { return hidEmits().size() == 2; }));
}

TEST_F(TouchTest, CalculatorTapsUpdateTheExpressionAndDisplayOnTheDevice)
{
    connectAndGreet();
    hub->showScreen(DeviceScreen::calculator());
    device.tap(104, 112);  // "7"
    device.tap(385, 250);  // "+"
    device.tap(198, 210);  // "2"
    device.tap(95, 112);   // the gap after "AC"
    device.tap(478, 295);  // outside every key
    ASSERT_TRUE(waitUntil([&] { return logCount(QStringLiteral("Calculator key: ")) == 3; }));
    ASSERT_TRUE(waitUntil([&] { return deviceText(402) == QStringLiteral("2"); }));
    EXPECT_EQ(deviceText(401), hub->calculator().expression.left(12));
    EXPECT_TRUE(deviceText(401).contains(QStringLiteral("7")));
    device.tap(292, 250);  // "="
    EXPECT_TRUE(waitUntil([&] { return deviceText(402) == QStringLiteral("9"); }));

    device.tap(9, 112);  // "AC"
    EXPECT_TRUE(waitUntil([&] { return deviceText(402) == QStringLiteral("0"); }));

    hub->showScreen(DeviceScreen::home());
    const qsizetype lines = hub->log().size();
    hub->pressCalculatorKey(QStringLiteral("7"));
    EXPECT_EQ(hub->log().size(), lines) << "a key for a page that is not shown does nothing";
}

TEST_F(TouchTest, TheToastTakesTouchesThatWentDownOnIt)
{
    connectAndGreet();
    hub->setToast(NotificationToast{{QStringLiteral("Build done")}, 18});
    hub->sendDynamicUI({Frame{hub->takeNextSequence(),
                              PatchPayload{{PatchOp::create(9000, QStringLiteral("cont"), 100, 99)}}}});
    ASSERT_TRUE(hub->toastIsOnDevice());

    touch(456, 40, TouchPhase::down);  // right of the toast
    EXPECT_FALSE(hub->toastTouches().isTracking);
    touch(456, 40, TouchPhase::up);
    touch(30, 78, TouchPhase::down);  // below a one-line toast
    EXPECT_FALSE(hub->toastTouches().isTracking);
    touch(30, 78, TouchPhase::up);

    wallNow = wallNow.addSecs(30);
    touch(24, 34, TouchPhase::down);
    EXPECT_TRUE(hub->toastTouches().isTracking);
    touch(300, 300, TouchPhase::move);
    touch(400, 300, TouchPhase::up);
    EXPECT_FALSE(hub->toastTouches().isTracking);
    EXPECT_FALSE(hub->toast());
    EXPECT_EQ(hub->screensaver().lastInteraction, wallNow);
    EXPECT_FALSE(hub->toastIsOnDevice());
    EXPECT_EQ(hub->activeScreen(), DeviceScreen::home()) << "the drag on the toast was no swipe";
}

TEST_F(TouchTest, ScrubbingThrottlesPreviewsAndEndsInASeekThePlayerDoesNotTake)
{
    connectAndGreet();
    hub->setNowPlaying(playing());
    hub->showScreen(DeviceScreen::nowPlaying());
    ASSERT_TRUE(waitUntil([&] { return hub->outstandingAcks().isEmpty(); }));

    touch(200, 120, TouchPhase::down);
    EXPECT_FALSE(hub->scrubFraction()) << "the bar begins at x 214";
    touch(200, 120, TouchPhase::up);

    const qsizetype before = count<PatchPayload>();
    touch(214, 120, TouchPhase::down);
    ASSERT_TRUE(hub->scrubFraction());
    EXPECT_EQ(*hub->scrubFraction(), 0.0);
    touch(479, 300, TouchPhase::move);  // within 80 ms: no preview, but the fraction follows
    EXPECT_EQ(*hub->scrubFraction(), 1.0);
    advance(std::chrono::milliseconds(80));
    touch(100, 120, TouchPhase::move);
    EXPECT_EQ(*hub->scrubFraction(), 0.0);
    advance(std::chrono::milliseconds(10));
    touch(348, 120, TouchPhase::move);
    touch(348, 120, TouchPhase::up);
    EXPECT_FALSE(hub->scrubFraction());
    EXPECT_DOUBLE_EQ(hub->nowPlaying().elapsed, 100.0);
    ASSERT_TRUE(hub->playbackSample());
    EXPECT_EQ(hub->playbackSample()->date, wallNow);
    EXPECT_TRUE(logTexts().contains(QStringLiteral("Seek to 1:40")));
    EXPECT_TRUE(waitUntil([&] { return logTexts().contains(QStringLiteral("Spotify did not accept the seek")); }));
    // The start, one preview and the release.
    ASSERT_TRUE(waitUntil([&] { return count<PatchPayload>() == before + 3; }));
    EXPECT_TRUE(device.widgets().find(DynamicUIDemo::NowPlayingNodes::scrubKnob)->isHidden());
}

TEST_F(TouchTest, AScrubReleasedAfterThePageChangedSeeksNothing)
{
    connectAndGreet();
    hub->setNowPlaying(playing());
    hub->showScreen(DeviceScreen::nowPlaying());
    touch(300, 120, TouchPhase::down);
    ASSERT_TRUE(hub->scrubFraction());
    hub->showScreen(DeviceScreen::home());
    touch(300, 120, TouchPhase::up);
    EXPECT_FALSE(hub->scrubFraction());
    roundTrip();
    EXPECT_EQ(logCount(QStringLiteral("Seek to")), 0);
}

TEST_F(TouchTest, TheProgressMovesOnOnlyWhenTheShownSecondChanges)
{
    connectAndGreet();
    hub->setNowPlaying(playing());
    hub->showScreen(DeviceScreen::nowPlaying());
    ASSERT_TRUE(waitUntil([&] { return hub->outstandingAcks().isEmpty(); }));
    hub->setPlaybackSample(DeviceManager::PlaybackSample{10, wallNow});
    const qsizetype before = count<PatchPayload>();
    hub->advanceNowPlayingProgress(wallNow.addMSecs(400));
    EXPECT_DOUBLE_EQ(hub->nowPlaying().elapsed, 10.0);
    hub->advanceNowPlayingProgress(wallNow.addMSecs(1500));
    EXPECT_DOUBLE_EQ(hub->nowPlaying().elapsed, 11.5);
    hub->advanceNowPlayingProgress(wallNow.addSecs(1000));
    EXPECT_DOUBLE_EQ(hub->nowPlaying().elapsed, 200.0) << "never past the end";
    EXPECT_TRUE(waitUntil([&] { return count<PatchPayload>() == before + 2; }));
}

TEST_F(TouchTest, TransportButtonsSendTheirConsumerUsage)
{
    connectAndGreet();
    hub->showScreen(DeviceScreen::nowPlaying());
    tap(250, 200);  // previous
    tap(420, 200);  // next
    tap(292, 200);  // the gap
    ASSERT_TRUE(waitUntil([&] { return hidEmits().size() == 2; }));
    EXPECT_EQ(hidEmits()[0].report, HidReport::consumer);
    EXPECT_EQ(hidEmits()[0].keys, QList<std::uint16_t>{0xB6});
    EXPECT_EQ(hidEmits()[1].keys, QList<std::uint16_t>{0xB5});
}

TEST_F(TouchTest, CustomPageButtonsFireThroughTheLayoutsHitTest)
{
    CustomScreenRenderer::Layout layout;
    layout.buttons = {
        {{10, 10, 100, 50}, MacroAction::media(MediaKey::mute), QStringLiteral("Under"), {}, {}},
        {{60, 30, 100, 50}, MacroAction::unassigned(), QStringLiteral("Over"), {}, {}},
    };
    EXPECT_EQ(CustomScreenRenderer::hitTestButton(20, 20, layout)->title, QStringLiteral("Under"));
    EXPECT_EQ(CustomScreenRenderer::hitTestButton(60, 30, layout)->title, QStringLiteral("Over"));
    EXPECT_FALSE(CustomScreenRenderer::hitTestButton(160, 30, layout));
    EXPECT_FALSE(CustomScreenRenderer::hitTestButton(110, 20, layout)) << "the right edge is outside";
}

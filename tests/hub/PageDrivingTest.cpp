// The page driver against the fake device: the first page after HELLO, redraws, switching,
// the minute tick, the screensaver's idle entry, key emoji, typed labels and full-screen images.

#include "HubFixture.h"

#include "device/EmojiIconRenderer.h"
#include "device/MontserratMetrics.h"
#include "pages/ClockText.h"

using namespace TarvUSB;

namespace {

const PatchPayload& patchOf(const Frame& frame)
{
    return *frame.get<PatchPayload>();
}

bool isRemoveOfPage(const PatchOp& op)
{
    const auto* remove = std::get_if<PatchOp::Remove>(&op.op);
    return remove && remove->id == 100;
}

}  // namespace

class PageTest : public HubTest {
protected:
    // The frames the device received after the first `from` of them.
    QList<Frame> receivedSince(qsizetype from) const { return device.received().mid(from); }

    // Gives the active profile's first keys these emoji.
    void setEmoji(const QList<QString>& emoji)
    {
        if (!hub)
            makeHub();
        MacroProfile profile = profiles->activeProfile();
        for (int k = 0; k < emoji.size(); ++k)
            profile.buttons[k].emoji = emoji[k];
        profiles->updateKey(profile, QStringLiteral("Emoji"));
    }
};

TEST_F(PageTest, TheFirstPageAfterHelloStartsWithItsOwnResetAndTheWindowHoldsTheRest)
{
    attach();
    device.ackPatches = false;
    device.sendHello();
    // HELLO_ACK 1, ORIENTATION 2, then remove(100) alone as 3 and the three home lists.
    ASSERT_TRUE(waitUntil([&] { return count<PatchPayload>() == 3; }));
    EXPECT_EQ(hub->queuedFrames().size(), 1);
    ASSERT_EQ(hub->queuedFrames().first().q, 6);
    const QList<Frame> patches = framesOf<PatchPayload>();
    EXPECT_EQ(patches[0].q, 3);
    ASSERT_EQ(patchOf(patches[0]).ops.size(), 1);
    EXPECT_TRUE(isRemoveOfPage(patchOf(patches[0]).ops[0]));
    EXPECT_EQ(patches[1].q, 4);
    EXPECT_EQ(patches[2].q, 5);
    for (const Frame& frame : patches)
        EXPECT_LE(patchOf(frame).ops.size(), 64);

    device.releaseHeldAcks();
    device.ackPatches = true;
    ASSERT_TRUE(waitUntil([&] { return count<PatchPayload>() == 4 && hub->outstandingAcks().isEmpty(); }));
    device.releaseHeldAcks();
    waitForQuiet();
    const TarvFake::FakeWidget* page = device.widgets().find(100);
    ASSERT_NE(page, nullptr);
    int keys = 0;
    for (std::uint32_t child : page->children)
        if (child >= 200 && child < 212 && device.widgets().find(child)->kind == QStringLiteral("btn"))
            ++keys;
    // Every assigned key of the profile's twelve; an unassigned one is not drawn.
    const QList<MacroButton>& buttons = profiles->activeProfile().buttons;
    EXPECT_EQ(buttons.size(), 12);
    EXPECT_EQ(keys, std::count_if(buttons.cbegin(), buttons.cend(), [](const MacroButton& b) {
                  return b.action.kind() != MacroAction::Kind::unassigned;
              }));
    EXPECT_TRUE(device.problems().isEmpty()) << device.problems().join(u'\n').toStdString();
    EXPECT_TRUE(hub->deviceHoldsScreen());
    EXPECT_EQ(hub->pageChildCount(), int(page->children.size()));
}

TEST_F(PageTest, ARedrawOfAHeldPageMergesTheResetIntoItsFirstFrame)
{
    connectAndGreet();
    waitForQuiet();
    const qsizetype before = device.received().size();
    hub->setNextSequenceForTesting(10);
    hub->showHome();
    waitForQuiet();
    QList<std::uint16_t> seqs;
    for (const Frame& frame : receivedSince(before))
        if (frame.get<PatchPayload>())
            seqs.append(frame.q);
    EXPECT_EQ(seqs, (QList<std::uint16_t>{11, 12, 13}));
    const QList<Frame> patches = framesOf<PatchPayload>();
    const Frame& first = patches[patches.size() - 3];
    EXPECT_TRUE(isRemoveOfPage(patchOf(first).ops[0]));
    EXPECT_TRUE(device.problems().isEmpty()) << device.problems().join(u'\n').toStdString();
}

TEST_F(PageTest, WhileDisconnectedARedrawSendsNothingAndLogsOncePerSend)
{
    setEmoji({QStringLiteral("🚀"), QStringLiteral("🎧")});
    hub->showHome();
    EXPECT_EQ(logCount(QStringLiteral("Cannot send dynamic UI while disconnected")), 1 + 2);
    EXPECT_TRUE(hub->queuedFrames().isEmpty());
    EXPECT_FALSE(hub->deviceHoldsScreen());
    // Nothing reached a device, so nothing counts as held; the images go out on connecting.
    EXPECT_TRUE(hub->deviceEmojiBySlot().isEmpty());
    connectAndGreet();
    waitForQuiet();
    EXPECT_TRUE(device.assets().value(16).complete);
    EXPECT_TRUE(device.assets().value(17).complete);
}

TEST_F(PageTest, ALabelTypedIntoAShownKeyGoesAsItsEditsAloneAndLooksAsARedrawWould)
{
    connectAndGreet();
    waitForQuiet();
    const int renders = hub->renderCount();
    const qsizetype before = device.received().size();
    MacroProfile profile = profiles->activeProfile();
    profile.buttons[4].label = QStringLiteral("Typed");
    profiles->updateKey(profile, QStringLiteral("Edit Label"));
    hub->refreshHome();
    waitForQuiet();

    EXPECT_EQ(hub->renderCount(), renders);
    const QList<Frame> sent = receivedSince(before);
    ASSERT_EQ(sent.size(), 1);
    const int width = MontserratMetrics::textWidth(QStringLiteral("Typed"), 18);
    EXPECT_EQ(patchOf(sent[0]).ops,
              (QList<PatchOp>{PatchOp::setProps(304, {PropEntry{QStringLiteral("x"), PropValue::int32((108 - width) / 2)},
                                                      PropEntry{QStringLiteral("w"), PropValue::int32(width)}}),
                              PatchOp::setText(304, QStringLiteral("Typed"))}));
    const TarvFake::FakeWidgetTree edited = device.widgets();
    hub->renderActivePage();
    waitForQuiet();
    EXPECT_EQ(edited.render(480, 320), device.widgets().render(480, 320));
    EXPECT_EQ(edited.find(304)->props, device.widgets().find(304)->props);
    EXPECT_TRUE(device.problems().isEmpty()) << device.problems().join(u'\n').toStdString();
}

TEST_F(PageTest, TwoKeysWithOneEmojiAreRenderedOnceAndUploadedToBothSlots)
{
    setEmoji({QStringLiteral("⭐"), QStringLiteral("⭐")});
    MacroProfile profile = profiles->activeProfile();
    profile.buttons[2].emoji = QStringLiteral("🎯");
    profile.buttons[2].action = MacroAction::unassigned();
    profiles->updateKey(profile, QStringLiteral("Emoji"));
    connectAndGreet();
    waitForQuiet();
    EXPECT_EQ(hub->renderedEmoji().size(), 1);
    for (std::uint32_t slot : {16u, 17u}) {
        const TarvFake::FakeAsset asset = device.assets().value(slot);
        EXPECT_TRUE(asset.complete) << slot;
        EXPECT_EQ(asset.name, QStringLiteral("rgb565a8le:28x28"));
        EXPECT_EQ(asset.data.size(), EmojiIconRenderer::imageBytes);
    }
    EXPECT_FALSE(device.assets().contains(18)) << "an unassigned key gets no image";
    EXPECT_EQ(count<AssetBeginPayload>(), 2);

    // A second redraw finds both images on the device.
    hub->showHome();
    waitForQuiet();
    EXPECT_EQ(count<AssetBeginPayload>(), 2);
}

TEST_F(PageTest, SwitchingRedrawsOnlyOnAChangeAndTheScreensaverRemembersThePage)
{
    connectAndGreet();
    const int renders = hub->renderCount();
    hub->showScreen(DeviceScreen::home());
    EXPECT_EQ(hub->renderCount(), renders);
    hub->showHome();
    EXPECT_EQ(hub->renderCount(), renders + 1);

    hub->showScreen(DeviceScreen::stocks());
    EXPECT_EQ(hub->activeScreen(), DeviceScreen::stocks());
    hub->showScreen(DeviceScreen::screensaver());
    EXPECT_EQ(hub->lastInteractiveScreen(), DeviceScreen::stocks());
    EXPECT_EQ(hub->swipePages().indexOf(hub->activeScreen()), -1);
    hub->wakeFromScreensaver();
    EXPECT_EQ(hub->activeScreen(), DeviceScreen::stocks());
    const int afterWake = hub->renderCount();
    hub->wakeFromScreensaver();
    EXPECT_EQ(hub->renderCount(), afterWake);

    hub->showScreen(DeviceScreen::custom(QStringLiteral("clock")));
    EXPECT_EQ(hub->activeScreen(), DeviceScreen::stocks());
    EXPECT_EQ(hub->renderCount(), afterWake);
    EXPECT_EQ(hub->pageTitle(DeviceScreen::custom(QStringLiteral("clock"))), QStringLiteral("clock"));
    EXPECT_EQ(hub->pageTitle(DeviceScreen::nowPlaying()), QStringLiteral("Now Playing"));
    EXPECT_EQ(hub->availableScreens().size(), 5);
    waitForQuiet();
    EXPECT_TRUE(device.problems().isEmpty()) << device.problems().join(u'\n').toStdString();
}

TEST_F(PageTest, TheCalculatorComesAsItsPageAndTwoFramesOfFiftyKeyOperations)
{
    connectAndGreet();
    waitForQuiet();
    const qsizetype before = device.received().size();
    hub->showScreen(DeviceScreen::calculator());
    waitForQuiet();
    QList<qsizetype> sizes;
    for (const Frame& frame : receivedSince(before))
        if (frame.get<PatchPayload>())
            sizes.append(patchOf(frame).ops.size());
    ASSERT_EQ(sizes.size(), 3);
    EXPECT_EQ(sizes[1], 50);
    EXPECT_EQ(sizes[2], 50);
    EXPECT_TRUE(device.problems().isEmpty()) << device.problems().join(u'\n').toStdString();
}

TEST_F(PageTest, MakePatchFramesKeepsSixtyFourOperationsTogetherAndDropsEmptyLists)
{
    makeHub();
    QList<PatchOp> sixtyFour, sixtyFive;
    for (int i = 0; i < 64; ++i)
        sixtyFour.append(PatchOp::setText(101, QStringLiteral("x")));
    sixtyFive = sixtyFour;
    sixtyFive.append(PatchOp::setText(101, QStringLiteral("x")));
    hub->setNextSequenceForTesting(65535);
    const QList<Frame> frames = hub->makePatchFrames({sixtyFour, {}, sixtyFive});
    ASSERT_GE(frames.size(), 3);
    EXPECT_EQ(patchOf(frames[0]).ops.size(), 64);
    EXPECT_EQ(frames[0].q, 65535);
    EXPECT_EQ(frames[1].q, 0);
    qsizetype rest = 0;
    for (qsizetype i = 1; i < frames.size(); ++i)
        rest += patchOf(frames[i]).ops.size();
    EXPECT_EQ(rest, 65);
    EXPECT_TRUE(hub->makePatchFrames({{}, {}}).isEmpty());
}

TEST_F(PageTest, TheTickSendsOneTimePatchPerMinute)
{
    connectAndGreet();
    waitForQuiet();
    const qsizetype patches = count<PatchPayload>();
    hub->tick(wallNow.addSecs(30));
    waitForQuiet();
    EXPECT_EQ(count<PatchPayload>(), patches) << "the minute was drawn with the page";

    const QDateTime nextMinute = wallNow.addSecs(60);
    hub->tick(nextMinute);
    hub->tick(nextMinute.addSecs(1));
    waitForQuiet();
    ASSERT_EQ(count<PatchPayload>(), patches + 1);
    const PatchOp& op = patchOf(framesOf<PatchPayload>().last()).ops.value(0);
    const auto* text = std::get_if<PatchOp::SetText>(&op.op);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->id, 101u);
    EXPECT_EQ(text->text, DynamicUIDemo::timeText(nextMinute));
    EXPECT_EQ(device.widgets().find(101)->text, DynamicUIDemo::timeText(nextMinute));
}

TEST_F(PageTest, TheScreensaverComesAtExactlyTheTimeoutAndOnlyOnce)
{
    connectAndGreet();
    hub->showScreen(DeviceScreen::calculator());
    const QDateTime since = hub->screensaver().lastInteraction;
    hub->tick(since.addMSecs(299'999));
    EXPECT_EQ(hub->activeScreen(), DeviceScreen::calculator());
    hub->tick(since.addSecs(300));
    EXPECT_EQ(hub->activeScreen(), DeviceScreen::screensaver());
    EXPECT_EQ(hub->lastInteractiveScreen(), DeviceScreen::calculator());
    const int renders = hub->renderCount();
    hub->tick(since.addSecs(301));
    EXPECT_EQ(hub->renderCount(), renders) << "a shown screensaver is not entered again";
    waitForQuiet();
    // The idle page without photos: 5 minutes for the default 300 seconds.
    EXPECT_NE(device.widgets().find(100), nullptr);
    EXPECT_TRUE(device.problems().isEmpty()) << device.problems().join(u'\n').toStdString();
}

TEST_F(PageTest, TheScreensaverNeverComesWhileDisconnectedOrDisabled)
{
    makeHub();
    const QDateTime since = hub->screensaver().lastInteraction;
    hub->tick(since.addSecs(3600));
    EXPECT_EQ(hub->activeScreen(), DeviceScreen::home());
    hub->enterScreensaver();
    EXPECT_EQ(hub->activeScreen(), DeviceScreen::home());
    EXPECT_EQ(hub->renderCount(), 0);

    connectAndGreet();
    hub->setScreensaverEnabled(false);
    hub->tick(hub->screensaver().lastInteraction.addSecs(3600));
    EXPECT_EQ(hub->activeScreen(), DeviceScreen::home());
}

TEST_F(PageTest, AFullScreenImageOfTheWrongSizeIsLoggedAndSkipped)
{
    connectAndGreet();
    waitForQuiet();
    const std::uint16_t next = hub->nextSequence();
    hub->uploadAsset(QByteArray(1000, '\0'));
    EXPECT_EQ(logCount(QStringLiteral("Skipped image asset 2: 1000 bytes instead of 307200")), 1);
    EXPECT_EQ(hub->nextSequence(), next);
    EXPECT_TRUE(hub->queuedFrames().isEmpty());

    // The device holds its acknowledgements: a whole photo would not fit the pseudo-terminal
    // while the fake device waits on this same thread.
    device.ackAssets = false;
    hub->uploadAsset(QByteArray(480 * 320 * 2, '\x11'));
    EXPECT_EQ(hub->nextSequence(), std::uint16_t(next + 77));
    ASSERT_TRUE(waitUntil([&] { return count<AssetBeginPayload>() == 1; }));
    const QList<Frame> begins = framesOf<AssetBeginPayload>();
    const auto* begin = begins.first().get<AssetBeginPayload>();
    EXPECT_EQ(begin->id, 2u);
    EXPECT_EQ(begin->size, 307200u);
    EXPECT_EQ(hub->queuedFrames().size(), 77 - 3);
    EXPECT_NE(hub->queuedFrames().last().get<AssetEndPayload>(), nullptr);
}

TEST_F(PageTest, ASwipeOnTheDeviceWalksTheSwipeListAndATouchWakesTheScreensaver)
{
    connectAndGreet();
    device.swipe(300, 150, 200, 150);
    ASSERT_TRUE(waitUntil([&] { return hub->activeScreen() == DeviceScreen::stocks(); }));
    device.swipe(100, 150, 300, 150);
    ASSERT_TRUE(waitUntil([&] { return hub->activeScreen() == DeviceScreen::home(); }));
    const int renders = hub->renderCount();
    device.swipe(100, 150, 300, 150);  // nothing lies before home
    roundTrip();
    EXPECT_EQ(hub->renderCount(), renders);

    hub->showScreen(DeviceScreen::screensaver());
    device.tap(240, 160);
    ASSERT_TRUE(waitUntil([&] { return hub->activeScreen() == DeviceScreen::home(); }));
}

// A device that loses acknowledgements, restarts, floods or stops reading: the page always
// comes back whole, and nothing piles up on the desktop side.

#include "HubFixture.h"

#include "link/SerialPort.h"
#include "pages/DeviceScreen.h"

using namespace TarvUSB;

namespace {

class LinkHealthTest : public HubTest {
protected:
    // Waits until the window is empty and the device has had every frame.
    void waitForQuiet()
    {
        ASSERT_TRUE(waitUntil([&] { return !hub->isDeviceStalled(); }));
        HubTest::waitForQuiet();
    }

    // The device's tree as the home page leaves it, for comparison after a recovery.
    qsizetype homePageNodes() const { return device.widgets().size(); }

    // Sends big frames straight to the port until it refuses them. The kernel moves what it
    // holds in steps, so a line that seemed full may take more a moment later: it counts as
    // full only when the hub still holds the device back after a round trip.
    void fillLine()
    {
        for (int round = 0; round < 20; ++round) {
            for (int k = 0; k < 200 && !hub->isDeviceStalled(); ++k)
                hub->send(bigPatch());
            roundTrip();
            if (hub->isDeviceStalled())
                return;
        }
        FAIL() << "the line never filled";
    }

    // A PATCH big enough to fill the line quickly: 60 labels of 90 characters.
    Frame bigPatch()
    {
        QList<PatchOp> ops;
        for (std::uint32_t k = 0; k < 60; ++k)
            ops.append(PatchOp::setText(5000 + k, QString(90, QLatin1Char('x'))));
        return Frame{hub->takeNextSequence(), PatchPayload{ops}};
    }
};

}  // namespace

// Three page frames whose ACKs never come used to fill the window for good: nothing was sent
// again until the port reopened.
TEST_F(LinkHealthTest, LostAcknowledgementsAreGivenUpAfterFiveSecondsAndThePageIsDrawnAgain)
{
    connectAndGreet();
    const qsizetype wholePage = homePageNodes();
    device.ackPatches = false;
    hub->showScreen(DeviceScreen::calculator());
    ASSERT_TRUE(waitUntil([&] { return device.heldAcks().size() == 3; }));
    ASSERT_EQ(hub->outstandingAcks().size(), 3);

    advance(std::chrono::milliseconds(4900));
    hub->checkAckTimeouts();
    EXPECT_EQ(hub->outstandingAcks().size(), 3) << "not yet";

    const int renders = hub->renderCount();
    device.ackPatches = true;  // the frames were lost, the device itself is fine
    advance(std::chrono::milliseconds(200));
    hub->checkAckTimeouts();
    EXPECT_EQ(logCount(QStringLiteral("Frame #")), 1);
    EXPECT_EQ(hub->renderCount(), renders + 1);
    waitForQuiet();
    EXPECT_EQ(hub->activeScreen(), DeviceScreen::calculator());
    EXPECT_NE(device.widgets().size(), wholePage) << "the calculator replaced the home page";

    // A device that never acknowledges page frames is told about once, not every 5 s.
    device.ackPatches = false;
    hub->showHome();
    ASSERT_TRUE(waitUntil([&] { return device.heldAcks().size() >= 3; }));
    for (int k = 0; k < 3; ++k) {
        advance(std::chrono::milliseconds(5100));
        hub->checkAckTimeouts();
        roundTrip();  // a second passes between two looks, and the device reads meanwhile
    }
    EXPECT_EQ(logCount(QStringLiteral("Frame #")), 2);
    EXPECT_FALSE(hub->isDeviceStalled());
    EXPECT_LE(hub->queuedFrames().size() + hub->outstandingAcks().size(), 16) << "nothing piles up";
}

// A device that restarts without leaving USB greets again while the old window is full; it
// used to stay blank for good.
TEST_F(LinkHealthTest, AGreetingEndsEverythingInFlightAndDrawsThePageAnew)
{
    connectAndGreet();
    const qsizetype wholePage = homePageNodes();
    device.ackPatches = false;
    hub->showScreen(DeviceScreen::calculator());
    hub->showHome();
    ASSERT_TRUE(waitUntil([&] { return device.heldAcks().size() == 3; }));
    ASSERT_FALSE(hub->queuedFrames().isEmpty());

    // A burst of greetings from a device that acknowledges nothing: at most one page waits.
    for (int k = 0; k < 20; ++k)
        device.sendHello();
    roundTrip();
    EXPECT_LE(hub->queuedFrames().size() + hub->outstandingAcks().size(), 16);

    // The restarted device acknowledges again. What follows the answer to its greeting is
    // the new page alone: nothing stale is replayed.
    device.ackPatches = true;
    const std::uint16_t firstNew = hub->nextSequence();
    device.sendHello();
    ASSERT_TRUE(waitUntil([&] {
        return std::any_of(device.received().cbegin(), device.received().cend(),
                           [&](const Frame& f) { return f.q >= firstNew && f.get<HelloAckPayload>(); });
    }));
    waitForQuiet();
    EXPECT_TRUE(hub->state().isConnected());
    EXPECT_EQ(device.widgets().size(), wholePage);
    const auto answer = std::find_if(device.received().crbegin(), device.received().crend(),
                                     [](const Frame& f) { return f.get<HelloAckPayload>(); });
    const QList<Frame> after(answer.base(), device.received().cend());
    const qsizetype patches = std::count_if(after.cbegin(), after.cend(), [](const Frame& f) { return f.get<PatchPayload>(); });
    EXPECT_LE(patches, 8);
}

// Pages drawn faster than the device acknowledges used to be queued one after another and
// replayed for seconds; each new page now replaces the one still waiting.
TEST_F(LinkHealthTest, ANewPageReplacesTheOneStillWaitingInTheQueue)
{
    connectAndGreet();
    const qsizetype wholePage = homePageNodes();
    device.ackPatches = false;
    const QList<DeviceScreen> pages{DeviceScreen::calculator(), DeviceScreen::stocks(), DeviceScreen::home()};
    for (int k = 0; k < 30; ++k)
        hub->showScreen(pages[k % pages.size()]);
    EXPECT_LE(hub->queuedFrames().size(), 8) << "one page at most waits";

    device.ackPatches = true;
    device.releaseHeldAcks();
    waitForQuiet();
    EXPECT_EQ(hub->activeScreen(), DeviceScreen::home());
    EXPECT_EQ(device.widgets().size(), wholePage);
}

// A device that stops reading but stays plugged in used to hold the window for two seconds
// on every write. Now the writes never wait, nothing piles up, touches are still taken, and
// the page comes back once the device reads again.
TEST_F(LinkHealthTest, ADeviceThatStopsReadingIsHeldBackAndRedrawnWhenItReadsAgain)
{
    connectAndGreet();
    const qsizetype wholePage = homePageNodes();
    device.setReading(false);
    fillLine();
    ASSERT_TRUE(hub->isDeviceStalled());
    const qsizetype stalls = logCount(QStringLiteral("Device stopped reading"));
    const qsizetype resumes = logCount(QStringLiteral("Device reads again"));
    EXPECT_GE(stalls, 1);
    EXPECT_LE(hub->portBacklog(), SerialPort::maxBacklog);

    // Nothing more is piled up: pages, images and heartbeats are dropped.
    const qsizetype backlog = hub->portBacklog();
    hub->showScreen(DeviceScreen::calculator());
    hub->sendHeartbeat();
    hub->send(bigPatch());
    EXPECT_TRUE(hub->queuedFrames().isEmpty());
    EXPECT_TRUE(hub->heartbeatSequences().isEmpty());
    EXPECT_EQ(hub->portBacklog(), backlog);
    EXPECT_EQ(logCount(QStringLiteral("Device stopped reading")), stalls) << "said once";

    // Touches still arrive and are acted on: a swipe to the neighbouring page.
    device.swipe(100, 160, 400, 160);
    ASSERT_TRUE(waitUntil([&] { return hub->activeScreen() != DeviceScreen::calculator(); }));
    hub->showHome();

    device.setReading(true);
    ASSERT_TRUE(waitUntil([&] { return !hub->isDeviceStalled(); }));
    EXPECT_EQ(logCount(QStringLiteral("Device reads again")), resumes + 1);
    waitForQuiet();
    EXPECT_EQ(device.widgets().size(), wholePage);
    EXPECT_TRUE(hub->deviceHoldsScreen());
}

// The same device noticed through its acknowledgements: a page frame unanswered for 5 s
// while bytes still wait for the line.
TEST_F(LinkHealthTest, AnUnansweredFrameBehindUnreadBytesMeansTheDeviceStoppedReading)
{
    connectAndGreet();
    device.setReading(false);
    hub->showScreen(DeviceScreen::calculator());
    ASSERT_EQ(hub->outstandingAcks().size(), 3);
    // Bytes wait for the line, and the line takes no more of them.
    for (int round = 0; round < 50; ++round) {
        for (int k = 0; k < 200 && hub->portBacklog() == 0; ++k)
            hub->send(bigPatch());
        const qsizetype waiting = hub->portBacklog();
        roundTrip();
        if (waiting > 0 && hub->portBacklog() == waiting)
            break;
    }
    ASSERT_GT(hub->portBacklog(), 0);
    ASSERT_FALSE(hub->isDeviceStalled());
    hub->checkAckTimeouts();  // the heartbeat looks every second

    advance(std::chrono::milliseconds(5100));
    hub->checkAckTimeouts();
    EXPECT_TRUE(hub->isDeviceStalled());
    EXPECT_EQ(logCount(QStringLiteral("Frame #")), 0) << "not a lost frame: the device is not reading";

    device.setReading(true);
    ASSERT_TRUE(waitUntil([&] { return !hub->isDeviceStalled(); }));
    waitForQuiet();
    EXPECT_EQ(hub->activeScreen(), DeviceScreen::calculator());
    EXPECT_TRUE(hub->deviceHoldsScreen());
}

// Screen captures through the hub: the round trip to a PNG, shared waiters, the watchdog on
// the test's clock, and the end of a capture with the connection.

#include "HubFixture.h"

#include "hub/SnapshotFiles.h"

#include <QImage>

using namespace TarvUSB;

namespace {

struct Waiter {
    QList<DeviceManager::SnapshotResult> results;
    DeviceManager::SnapshotWaiter callback()
    {
        return [this](const DeviceManager::SnapshotResult& result) { results.append(result); };
    }
    std::optional<SnapshotFailure::Kind> failure() const
    {
        if (results.size() != 1)
            return std::nullopt;
        const auto* f = std::get_if<SnapshotFailure>(&results[0]);
        return f ? std::optional(f->kind) : std::nullopt;
    }
};

}  // namespace

TEST_F(HubTest, ASnapshotComesBackAsAPngOfTheWholeScreen)
{
    connectAndGreet();
    Waiter waiter;
    hub->captureSnapshot(waiter.callback());
    EXPECT_EQ(hub->snapshotProgress(), 0.0);
    ASSERT_TRUE(waitUntil([&] { return !waiter.results.isEmpty(); }));
    ASSERT_TRUE(std::holds_alternative<DeviceSnapshot>(waiter.results[0]));
    const auto& snapshot = std::get<DeviceSnapshot>(waiter.results[0]);
    EXPECT_EQ(hub->snapshot(), snapshot);
    EXPECT_FALSE(hub->snapshotProgress());
    EXPECT_FALSE(hub->snapshotError());
    EXPECT_EQ(logCount(QStringLiteral("SNAPSHOT 480\u00D7320, %1 bytes on the wire").arg(snapshot.packedBytes)), 1);

    const auto saved = saveSnapshotPNG(snapshot, QString());
    ASSERT_TRUE(std::holds_alternative<QString>(saved));
    const QImage image(std::get<QString>(saved));
    EXPECT_EQ(image.size(), QSize(480, 320));
    EXPECT_TRUE(std::get<QString>(saved).endsWith(snapshotFileName(snapshot.date)));
}

TEST_F(HubTest, CapturesAskedForTogetherShareOneRequest)
{
    connectAndGreet();
    Waiter first, second;
    hub->captureSnapshot(first.callback());
    hub->captureSnapshot(second.callback());
    ASSERT_TRUE(waitUntil([&] { return !first.results.isEmpty() && !second.results.isEmpty(); }));
    EXPECT_EQ(count<SnapshotRequestPayload>(), 1);
    EXPECT_EQ(first.results, second.results);
    EXPECT_EQ(hub->nextSnapshotID(), 2);
}

TEST_F(HubTest, CaptureIdsSkipZeroWhenTheyWrap)
{
    connectAndGreet();
    hub->setNextSnapshotIDForTesting(65535);
    hub->captureSnapshot({});
    EXPECT_EQ(hub->nextSnapshotID(), 1);
    ASSERT_TRUE(waitUntil([&] { return !hub->isCapturing(); }));
    EXPECT_EQ(framesOf<SnapshotRequestPayload>()[0].get<SnapshotRequestPayload>()->id, 65535);
}

TEST_F(HubTest, NoConnectionFailsAtOnceWithoutTouchingARunningCapture)
{
    makeHub();
    Waiter waiter;
    hub->captureSnapshot(waiter.callback());
    EXPECT_EQ(waiter.failure(), SnapshotFailure::Kind::notConnected);
    EXPECT_EQ(hub->snapshotError(), QStringLiteral("Tarv is not connected to the device"));
    EXPECT_EQ(logCount(QStringLiteral("Snapshot failed")), 0);
}

// The device's answer waits in the event loop while the test moves the clock and turns the
// watchdog by hand.
TEST_F(HubTest, ASilentDeviceFailsWithNoAnswerAfterFiveSeconds)
{
    connectAndGreet();
    Waiter waiter;
    hub->captureSnapshot(waiter.callback());
    advance(std::chrono::milliseconds(4900));
    hub->checkSnapshotWatchdog();
    EXPECT_TRUE(waiter.results.isEmpty());
    advance(std::chrono::milliseconds(200));
    hub->checkSnapshotWatchdog();
    EXPECT_EQ(waiter.failure(), SnapshotFailure::Kind::noAnswer);
    EXPECT_EQ(hub->snapshotError(),
              QStringLiteral("the device did not answer; its firmware may predate snapshots"));
    EXPECT_EQ(logCount(QStringLiteral("Snapshot failed: the device did not answer")), 1);
    // The late answer is consumed without a trace.
    const qsizetype logSize = hub->log().size();
    roundTrip();
    EXPECT_EQ(hub->log().size(), logSize + 1);
}

TEST_F(HubTest, ADeviceThatStopsPartWayFailsAsStalledAfterTwoSeconds)
{
    connectAndGreet();
    Waiter waiter;
    hub->captureSnapshot(waiter.callback());
    const std::uint16_t id = hub->nextSnapshotID() - 1;
    hub->handleFrame(DeviceManager::wireBytes(Frame{1, SnapshotBeginPayload{id, 480, 320, SnapshotFormat::rgb565Packbits, 100}}));
    // A header alone is no flow: only the five seconds apply.
    advance(std::chrono::milliseconds(2500));
    hub->checkSnapshotWatchdog();
    EXPECT_TRUE(waiter.results.isEmpty());

    hub->handleFrame(DeviceManager::wireBytes(Frame{2, SnapshotChunkPayload{id, 0, QByteArray(40, '\x01')}}));
    EXPECT_EQ(hub->snapshotProgress(), 0.4);
    advance(std::chrono::milliseconds(1900));
    hub->checkSnapshotWatchdog();
    EXPECT_TRUE(waiter.results.isEmpty());
    advance(std::chrono::milliseconds(200));
    hub->checkSnapshotWatchdog();
    EXPECT_EQ(waiter.failure(), SnapshotFailure::Kind::stalled);
    EXPECT_FALSE(hub->snapshotProgress());
}

TEST_F(HubTest, ACaptureEndsWithTheConnection)
{
    connectAndGreet();
    Waiter waiter;
    hub->captureSnapshot(waiter.callback());
    const std::optional<DeviceSnapshot> before = hub->snapshot();
    hub->watcher().onDetach({7, device.portPath()});
    EXPECT_EQ(waiter.failure(), SnapshotFailure::Kind::disconnected);
    EXPECT_EQ(hub->snapshot(), before);
}

TEST_F(HubTest, StraySnapshotPartsAreConsumedSilently)
{
    attach();
    const qsizetype logSize = hub->log().size();
    hub->handleFrame(DeviceManager::wireBytes(Frame{1, SnapshotEndPayload{3, true, 0}}));
    EXPECT_EQ(hub->log().size(), logSize);
}

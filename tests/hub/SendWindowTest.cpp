// Sequence numbers, the send window of three, and what a failed queued send leaves behind.

#include "HubFixture.h"

using namespace TarvUSB;

namespace {

Frame patch(std::uint16_t q, int opCount = 1)
{
    QList<PatchOp> ops;
    for (int k = 0; k < opCount; ++k)
        ops.append(PatchOp::setText(900 + std::uint32_t(k), QStringLiteral("x")));
    return Frame{q, PatchPayload{ops}};
}

}  // namespace

TEST_F(HubTest, SequenceNumbersWrapFrom65535ToZero)
{
    makeHub();
    EXPECT_EQ(hub->takeNextSequence(), 1);
    hub->setNextSequenceForTesting(65535);
    EXPECT_EQ(hub->takeNextSequence(), 65535);
    EXPECT_EQ(hub->takeNextSequence(), 0);
    EXPECT_EQ(hub->takeNextSequence(), 1);
}

TEST_F(HubTest, FiveQueuedFramesMoveThroughAWindowOfThree)
{
    device.ackPatches = false;
    attach();
    QList<Frame> frames;
    for (int k = 0; k < 5; ++k)
        frames.append(patch(hub->takeNextSequence()));
    hub->sendDynamicUI(frames);
    EXPECT_EQ(hub->outstandingAcks(), (QSet<std::uint16_t>{1, 2, 3}));
    EXPECT_EQ(hub->queuedFrames().size(), 2);
    ASSERT_TRUE(waitUntil([&] { return device.received().size() == 3; }));

    device.sendFrame(Frame{1, AckPayload{2}});
    ASSERT_TRUE(waitUntil([&] { return device.received().size() == 4; }));
    EXPECT_EQ(device.received()[3].q, 4);
    EXPECT_EQ(hub->outstandingAcks(), (QSet<std::uint16_t>{1, 3, 4}));

    device.sendFrame(Frame{2, AckPayload{1}});
    ASSERT_TRUE(waitUntil([&] { return device.received().size() == 5; }));
    EXPECT_TRUE(hub->queuedFrames().isEmpty());
    EXPECT_EQ(hub->outstandingAcks().size(), 3);
    roundTrip();
    EXPECT_EQ(device.received().size(), 5);
}

TEST_F(HubTest, DynamicUIWithoutAPortIsDroppedWithOneLine)
{
    makeHub();
    hub->sendDynamicUI({patch(hub->takeNextSequence()), patch(hub->takeNextSequence())});
    EXPECT_TRUE(hub->queuedFrames().isEmpty());
    EXPECT_EQ(logCount(QStringLiteral("Cannot send dynamic UI while disconnected")), 1);
    EXPECT_FALSE(hub->send(patch(hub->takeNextSequence())));
    EXPECT_EQ(logCount(QStringLiteral("Cannot send while disconnected")), 1);
    EXPECT_EQ(hub->nextSequence(), 4) << "the numbers stay consumed";
}

// After the 16-bit wrap a PING that was never acknowledged would still hold the number of
// a new queued frame; the device's ACK of that frame would then be taken for the PING's and
// the frame's window slot would never free.
TEST_F(HubTest, AStalePingNumberNeverSwallowsTheAckOfAQueuedFrame)
{
    device.ackPings = false;
    connectAndGreet();
    device.ackPatches = false;
    const std::uint16_t reused = hub->nextSequence();
    hub->sendHeartbeat();
    ASSERT_TRUE(hub->heartbeatSequences().contains(reused));

    hub->setNextSequenceForTesting(reused);  // the counter has come round
    hub->sendDynamicUI({patch(hub->takeNextSequence())});
    EXPECT_FALSE(hub->heartbeatSequences().contains(reused));
    ASSERT_TRUE(hub->outstandingAcks().contains(reused));

    device.sendFrame(Frame{1, AckPayload{reused}});
    ASSERT_TRUE(waitUntil([&] { return !hub->outstandingAcks().contains(reused); }));
}

TEST_F(HubTest, ANumberComingRoundGivesUpTheOldWaitInTheWindow)
{
    device.ackPatches = false;
    attach();
    hub->sendDynamicUI({patch(hub->takeNextSequence())});
    ASSERT_TRUE(hub->outstandingAcks().contains(1));
    hub->setNextSequenceForTesting(1);
    EXPECT_EQ(hub->takeNextSequence(), 1);
    EXPECT_TRUE(hub->outstandingAcks().isEmpty());
}

TEST_F(HubTest, AFailedQueuedSendForgetsTheDeviceAndRedrawsOnce)
{
    connectAndGreet();
    const int renders = hub->renderCount();
    const qsizetype patchesBefore = count<PatchPayload>();
    hub->setCustomLayout(CustomScreenRenderer::Layout{});

    // A frame of more operations than a PATCH may carry cannot be encoded: its send fails
    // while the port stays open, and the frames queued behind it are dropped.
    hub->sendDynamicUI({patch(hub->takeNextSequence(), maxPatchOps + 1), patch(hub->takeNextSequence())});

    EXPECT_EQ(logCount(QStringLiteral("Send failed: ")), 1);
    EXPECT_EQ(hub->renderCount(), renders + 1);
    EXPECT_TRUE(hub->state().isConnected());
    EXPECT_TRUE(hub->deviceHoldsScreen()) << "the redraw put the page back";
    EXPECT_FALSE(hub->customLayout()) << "the home page keeps no custom layout";
    ASSERT_TRUE(waitUntil([&] { return count<PatchPayload>() >= patchesBefore + 3; }));
    const QList<Frame> patches = framesOf<PatchPayload>();
    const auto& redraw = patches[patchesBefore].get<PatchPayload>()->ops;
    EXPECT_FALSE(redraw.isEmpty());
}

TEST_F(HubTest, ARedrawWhoseOwnSendFailsDoesNotStartAnother)
{
    connectAndGreet();
    const int renders = hub->renderCount();
    // The device goes away; its close has not reached the hub yet, so the hub still counts
    // itself connected while every write fails.
    device.hangUp();
    hub->sendDynamicUI({patch(hub->takeNextSequence())});
    EXPECT_EQ(hub->renderCount(), renders + 1);
    EXPECT_FALSE(hub->deviceHoldsScreen());
    EXPECT_TRUE(hub->queuedFrames().isEmpty());
    EXPECT_TRUE(hub->outstandingAcks().isEmpty());
    ASSERT_TRUE(waitUntil([&] { return !hub->isPortOpen(); }));
}

#include "link/Cobs.h"
#include "link/SerialPort.h"
#include "support/FakeDevice.h"
#include "support/WaitUntil.h"

#include <gtest/gtest.h>

using namespace TarvUSB;
using TarvFake::FakeDevice;

TEST(FakeDevice, KeepsGoingAfterDamagedFramesAndRecordsThem)
{
    FakeDevice device;
    ASSERT_TRUE(device.start()) << device.lastError().toStdString();
    SerialPort port(device.portPath(), nullptr, nullptr);
    port.open();

    const auto frame = [](const Frame& f) { return cobsEncode(Frame::encode(f)) + '\0'; };
    QByteArray stream = frame(Frame{1, PingPayload{1}});
    stream += QByteArray("\x02\x01", 2) + '\0';                     // not a frame
    stream += frame(Frame{2, PatchPayload{{PatchOp::remove(55)}}});  // refused by the tree
    stream += frame(Frame{3, AssetChunkPayload{4, 0, "abc"}});     // chunk without begin
    port.write(stream);

    ASSERT_TRUE(waitUntil([&] { return device.received().size() == 3; }));
    EXPECT_EQ(device.dropped().size(), 1);
    EXPECT_EQ(device.received()[1].q, 2);
    EXPECT_EQ(device.problems(),
              (QStringList{QStringLiteral("remove: no node 55"), QStringLiteral("asset 4: a chunk before the begin")}));
}

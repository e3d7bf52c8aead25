#include "link/Cobs.h"
#include "link/Frame.h"
#include "support/Bytes.h"
#include "AllFrames.h"
#include "ErrorOf.h"

#include <gtest/gtest.h>

#include <set>

using namespace TarvUSB;

namespace {

QString decodeError(const QByteArray& data)
{
    return msgpackErrorOf([&] { Frame::decode(data); }).text();
}

const QByteArray ackEnvelope = hexBytes("83A174CC04A171CD0010A17081A3736571CD0005");

}  // namespace

TEST(Frame, WorkedExamples)
{
    const Frame ack{0x0010, AckPayload{5}};
    EXPECT_EQ(Frame::encode(ack), ackEnvelope);
    EXPECT_EQ(cobsEncode(ackEnvelope) + '\0', hexBytes("0983A174CC04A171CD0A10A17081A3736571CD020500"));
    EXPECT_EQ(Frame::decode(ackEnvelope), ack);

    EXPECT_EQ(Frame::encode(Frame{7, PingPayload{7}}),
              hexBytes("83A174CC0DA171CD0007A17081A56E6F6E6365CD0007"));
    EXPECT_EQ(Frame::encode(Frame{0, PingPayload{0}}).mid(7, 3), bytes({0xCD, 0x00, 0x00}));
    EXPECT_EQ(Frame::encode(Frame{0xFFFF, PingPayload{0}}).mid(7, 3), bytes({0xCD, 0xFF, 0xFF}));
}

TEST(Frame, EveryTypeRoundTrips)
{
    const QList<Frame> frames = oneFrameOfEachType();
    std::set<int> codes;
    for (const Frame& frame : frames) {
        const QByteArray data = Frame::encode(frame);
        EXPECT_EQ(std::uint8_t(data[4]), std::uint8_t(frame.messageType()));
        EXPECT_EQ(Frame::decode(data), frame) << messageTypeName(frame.messageType());
        codes.insert(int(frame.messageType()));
    }
    EXPECT_EQ(codes.size(), 18u);
    EXPECT_EQ(*codes.begin(), 1);
    EXPECT_EQ(*codes.rbegin(), 18);
}

TEST(Frame, MessageTypeCodes)
{
    EXPECT_FALSE(messageTypeFromRaw(0));
    EXPECT_FALSE(messageTypeFromRaw(19));
    EXPECT_EQ(messageTypeFromRaw(18), MessageType::orientation);
    EXPECT_EQ(messageTypeFromRaw(6), MessageType::helloAck);
    EXPECT_STREQ(messageTypeName(MessageType::snapshotRequest), "SNAPSHOT_REQUEST");
}

TEST(Frame, EnvelopeFailures)
{
    EXPECT_EQ(decodeError(QByteArray()), QStringLiteral("unexpected end of buffer"));
    EXPECT_EQ(decodeError(bytes({0x93})), QStringLiteral("expected map header, got tag 0x93"));
    EXPECT_EQ(decodeError(bytes({0x84})), QStringLiteral("Frame: expected 3 fields, got 4"));
    EXPECT_EQ(decodeError(hexBytes("83A171")), QStringLiteral("expected key \"t\", got \"q\""));
    EXPECT_EQ(decodeError(hexBytes("83A17404")), QStringLiteral("expected uint8, got tag 0x4"));
    EXPECT_EQ(decodeError(hexBytes("83A174CC00")), QStringLiteral("MessageType: unknown value 0"));
    EXPECT_EQ(decodeError(hexBytes("83A174CC13")), QStringLiteral("MessageType: unknown value 19"));
    EXPECT_EQ(decodeError(hexBytes("83A174CC04A17105")), QStringLiteral("expected uint16, got tag 0x5"));
    EXPECT_EQ(decodeError(hexBytes("83A174CC04A171CD0010A171")), QStringLiteral("expected key \"p\", got \"q\""));
    EXPECT_EQ(decodeError(hexBytes("83A174CC04A171CD0010A17081A3736571CD00")),
              QStringLiteral("unexpected end of buffer"));
    EXPECT_EQ(decodeError(hexBytes("83CC04")), QStringLiteral("expected str, got tag 0xcc"));
}

TEST(Frame, LenientWhereTheFormatAllows)
{
    // A map16 header holding 3, and bytes after the payload.
    QByteArray map16 = ackEnvelope;
    map16.replace(0, 1, bytes({0xDE, 0x00, 0x03}));
    EXPECT_EQ(Frame::decode(map16), (Frame{0x10, AckPayload{5}}));
    EXPECT_EQ(Frame::decode(ackEnvelope + bytes({0xC0, 0xFF, 0x00})), (Frame{0x10, AckPayload{5}}));
}

TEST(Frame, PatchOperationLimit)
{
    PatchPayload patch;
    for (int i = 0; i < 64; ++i)
        patch.ops.append(PatchOp::remove(std::uint32_t(i)));
    EXPECT_EQ(Frame::decode(Frame::encode(Frame{9, patch})), (Frame{9, patch}));
    patch.ops.append(PatchOp::remove(64));
    EXPECT_EQ(msgpackErrorOf([&] { Frame::encode(Frame{9, patch}); }).text(),
              QStringLiteral("ops: exceeds max count 64"));
    const QByteArray hostile = hexBytes("83A174CC07A171CD0001A17081A36F7073DD7FFFFFFF");
    EXPECT_EQ(decodeError(hostile), QStringLiteral("ops: exceeds max count 64"));
}

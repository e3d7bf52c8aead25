#include "link/Cobs.h"
#include "link/FrameParser.h"
#include "support/Bytes.h"
#include "AllFrames.h"

#include <gtest/gtest.h>

using namespace TarvUSB;

namespace {

QByteArray wire(const Frame& frame) { return cobsEncode(Frame::encode(frame)) + '\0'; }

QString droppedReason(const FrameParser::Event& event)
{
    const auto* dropped = std::get_if<FrameParser::Dropped>(&event);
    return dropped ? dropped->reason : QStringLiteral("<frame>");
}

const QString overlong = QStringLiteral("frame exceeded 8192 bytes without a delimiter");

}  // namespace

TEST(FrameParser, DelimitersAloneYieldNothing)
{
    FrameParser parser;
    EXPECT_TRUE(parser.feed(bytes({0x00, 0x00, 0x00})).isEmpty());
    EXPECT_TRUE(parser.feed(QByteArray()).isEmpty());
}

TEST(FrameParser, SplitsAndJoinsTheStream)
{
    const QList<Frame> frames = oneFrameOfEachType();
    QByteArray stream;
    for (const Frame& f : frames)
        stream += wire(f);

    // All at once.
    {
        FrameParser parser;
        const auto events = parser.feed(stream);
        ASSERT_EQ(events.size(), frames.size());
        for (qsizetype i = 0; i < frames.size(); ++i)
            EXPECT_EQ(std::get<Frame>(events[i]), frames[i]);
    }
    // One byte per call, and in chunks of 7: each frame arrives once, in order.
    for (qsizetype step : {qsizetype(1), qsizetype(7)}) {
        FrameParser parser;
        QList<Frame> got;
        for (qsizetype i = 0; i < stream.size(); i += step)
            for (const auto& event : parser.feed(stream.mid(i, step)))
                got.append(std::get<Frame>(event));
        EXPECT_EQ(got, frames);
        EXPECT_TRUE(parser.pending().isEmpty());
    }
}

TEST(FrameParser, FrameInTwoHalves)
{
    const QByteArray one = wire(Frame{3, AckPayload{9}});
    FrameParser parser;
    EXPECT_TRUE(parser.feed(one.left(5)).isEmpty());
    const auto events = parser.feed(one.mid(5) + wire(Frame{4, PingPayload{1}}));
    ASSERT_EQ(events.size(), 2);
    EXPECT_EQ(std::get<Frame>(events[0]), (Frame{3, AckPayload{9}}));
    EXPECT_EQ(std::get<Frame>(events[1]), (Frame{4, PingPayload{1}}));
}

TEST(FrameParser, BadPiecesAreDroppedAndTheStreamGoesOn)
{
    FrameParser parser;
    const QByteArray notAnEnvelope = cobsEncode(bytes({0x93, 0x01})) + '\0';
    const QByteArray badCobs = bytes({0x05, 0x11, 0x22, 0x00});
    const auto events = parser.feed(notAnEnvelope + badCobs + wire(Frame{1, AckPayload{2}}));
    ASSERT_EQ(events.size(), 3);
    EXPECT_EQ(droppedReason(events[0]), QStringLiteral("expected map header, got tag 0x93"));
    EXPECT_EQ(droppedReason(events[1]), QStringLiteral("overhead byte points past end of frame"));
    EXPECT_EQ(std::get<Frame>(events[2]), (Frame{1, AckPayload{2}}));
}

TEST(FrameParser, OverlongInput)
{
    // 8192 bytes are still one piece, decoded (and here dropped as corrupt) at the delimiter.
    {
        FrameParser parser;
        EXPECT_TRUE(parser.feed(QByteArray(8192, '\x7F')).isEmpty());
        const auto events = parser.feed(bytes({0x00}));
        ASSERT_EQ(events.size(), 1);
        EXPECT_NE(droppedReason(events[0]), overlong);
    }
    // The 8193rd byte drops the piece and leaves nothing pending, over one call or several.
    for (qsizetype split : {qsizetype(0), qsizetype(8192), qsizetype(4000)}) {
        FrameParser parser;
        QList<FrameParser::Event> events = parser.feed(QByteArray(split, '\x7F'));
        events += parser.feed(QByteArray(8193 - split, '\x7F'));
        ASSERT_EQ(events.size(), 1);
        EXPECT_EQ(droppedReason(events[0]), overlong);
        EXPECT_TRUE(parser.pending().isEmpty());
    }
    // Collection starts afresh after the cut; a later frame decodes normally.
    FrameParser parser;
    const auto events = parser.feed(QByteArray(20000, '\x7F') + bytes({0x00}) + wire(Frame{5, AckPayload{6}}));
    ASSERT_EQ(events.size(), 4);
    EXPECT_EQ(droppedReason(events[0]), overlong);
    EXPECT_EQ(droppedReason(events[1]), overlong);
    EXPECT_NE(droppedReason(events[2]), overlong);  // the 3614 bytes that remained
    EXPECT_EQ(std::get<Frame>(events[3]), (Frame{5, AckPayload{6}}));
}

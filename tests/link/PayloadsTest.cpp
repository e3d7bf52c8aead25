#include "link/Payloads.h"
#include "support/Bytes.h"
#include "ErrorOf.h"

#include <gtest/gtest.h>

using namespace TarvUSB;

namespace {

template <class P>
QByteArray encoded(const P& payload)
{
    MsgpackWriter w;
    payload.encode(w);
    return w.data();
}

template <class P>
P decoded(const QByteArray& data)
{
    MsgpackReader r(data);
    return P::decode(r);
}

template <class P>
QString decodeError(const QByteArray& data)
{
    return msgpackErrorOf([&] { decoded<P>(data); }).text();
}

}  // namespace

TEST(Payloads, ExactBytesOfTheExamples)
{
    EXPECT_EQ(encoded(AckPayload{5}), bytes({0x81, 0xA3, 0x73, 0x65, 0x71, 0xCD, 0x00, 0x05}));
    EXPECT_EQ(encoded(TouchPayload{10, 300, TouchPhase::up}),
              bytes({0x83, 0xA1, 0x78, 0xCD, 0x00, 0x0A, 0xA1, 0x79, 0xCD, 0x01, 0x2C}) + fixstr("phase") +
                  bytes({0xCC, 0x02}));
    EXPECT_EQ(encoded(HidEmitPayload{HidReport::keyboard, 0, {}}),
              bytes({0x83}) + fixstr("report") + bytes({0xCC, 0x00}) + fixstr("mods") + bytes({0xCC, 0x00}) +
                  fixstr("keys") + bytes({0x90}));
    EXPECT_EQ(encoded(SnapshotBeginPayload{1, 480, 320, SnapshotFormat::rgb565Packbits, 9}).mid(24, 2),
              bytes({0xCC, 0x00}));
}

TEST(Payloads, HidEmitKeyLimit)
{
    const HidEmitPayload six{HidReport::consumer, 0x0A, {1, 2, 3, 4, 5, 0xE9}};
    EXPECT_EQ(decoded<HidEmitPayload>(encoded(six)), six);

    const HidEmitPayload seven{HidReport::keyboard, 0, {1, 2, 3, 4, 5, 6, 7}};
    EXPECT_EQ(msgpackErrorOf([&] { encoded(seven); }).text(), QStringLiteral("keys: exceeds max count 6"));

    // A received list of 7 is refused before any element is read: no elements follow here.
    const QByteArray seven7 = bytes({0x83}) + fixstr("report") + bytes({0xCC, 0x00}) + fixstr("mods") +
                              bytes({0xCC, 0x00}) + fixstr("keys") + bytes({0x97});
    EXPECT_EQ(decodeError<HidEmitPayload>(seven7), QStringLiteral("keys: exceeds max count 6"));
    const QByteArray hostile = bytes({0x83}) + fixstr("report") + bytes({0xCC, 0x00}) + fixstr("mods") +
                               bytes({0xCC, 0x00}) + fixstr("keys") + bytes({0xDD, 0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(decodeError<HidEmitPayload>(hostile), QStringLiteral("keys: exceeds max count 6"));

    const QByteArray fixintKey = bytes({0x83}) + fixstr("report") + bytes({0xCC, 0x00}) + fixstr("mods") +
                                 bytes({0xCC, 0x00}) + fixstr("keys") + bytes({0x91, 0x04});
    EXPECT_EQ(decodeError<HidEmitPayload>(fixintKey), QStringLiteral("expected uint16, got tag 0x4"));
}

TEST(Payloads, EnumerationsOutOfRange)
{
    const auto touch = [](int phase) {
        return bytes({0x83, 0xA1, 'x', 0xCD, 0, 1, 0xA1, 'y', 0xCD, 0, 2}) + fixstr("phase") + bytes({0xCC, phase});
    };
    EXPECT_EQ(decodeError<TouchPayload>(touch(3)), QStringLiteral("TouchPhase: unknown value 3"));
    EXPECT_EQ(decoded<TouchPayload>(touch(1)).phase, TouchPhase::move);

    EXPECT_EQ(decodeError<ButtonPayload>(bytes({0x82, 0xA2, 'i', 'd', 0xCD, 0, 1}) + fixstr("phase") +
                                         bytes({0xCC, 2})),
              QStringLiteral("ButtonPhase: unknown value 2"));
    EXPECT_EQ(decodeError<LogPayload>(bytes({0x82}) + fixstr("level") + bytes({0xCC, 4}) + fixstr("text") +
                                      bytes({0xA0})),
              QStringLiteral("LogLevel: unknown value 4"));
    EXPECT_EQ(decodeError<HidEmitPayload>(bytes({0x83}) + fixstr("report") + bytes({0xCC, 2})),
              QStringLiteral("HidReport: unknown value 2"));
    EXPECT_EQ(decodeError<SnapshotBeginPayload>(bytes({0x85, 0xA2, 'i', 'd', 0xCD, 0, 1, 0xA1, 'w', 0xCD, 0, 1,
                                                       0xA1, 'h', 0xCD, 0, 1}) +
                                                fixstr("format") + bytes({0xCC, 1})),
              QStringLiteral("SnapshotFormat: unknown value 1"));
}

TEST(Payloads, StrictKeysCountsAndForms)
{
    const QByteArray yx = bytes({0x83, 0xA1, 'y', 0xCD, 0, 1, 0xA1, 'x', 0xCD, 0, 2}) + fixstr("phase") +
                          bytes({0xCC, 0});
    EXPECT_EQ(decodeError<TouchPayload>(yx), QStringLiteral("expected key \"x\", got \"y\""));

    QByteArray four = encoded(TouchPayload{1, 2, TouchPhase::down});
    four[0] = char(0x84);
    four += fixstr("extra") + bytes({0xC3});
    EXPECT_EQ(decodeError<TouchPayload>(four), QStringLiteral("TouchPayload: expected 3 fields, got 4"));

    EXPECT_EQ(decodeError<AckPayload>(bytes({0x81, 0xA3, 's', 'e', 'q', 0x05})),
              QStringLiteral("expected uint16, got tag 0x5"));

    const QByteArray chunkHead = bytes({0x83, 0xA2, 'i', 'd', 0xCD, 0, 1}) + fixstr("offset") +
                                 bytes({0xCE, 0, 0, 0, 0}) + fixstr("data");
    EXPECT_EQ(decodeError<SnapshotChunkPayload>(chunkHead + bytes({0xA3, 'a', 'b', 'c'})),
              QStringLiteral("expected bin, got tag 0xa3"));
    EXPECT_EQ(decoded<SnapshotChunkPayload>(chunkHead + bytes({0xC4, 0x00})).data, QByteArray());

    const QByteArray helloAck = bytes({0x83, 0xA2, 'p', 'v', 0xCD, 0, 1, 0xA2, 'o', 'k'});
    EXPECT_EQ(decodeError<HelloAckPayload>(helloAck + bytes({0x01})), QStringLiteral("expected bool, got tag 0x1"));
    EXPECT_EQ(decodeError<HelloAckPayload>(helloAck + bytes({0x00})), QStringLiteral("expected bool, got tag 0x0"));
}

TEST(Payloads, ValuesAreTakenAsTheyAre)
{
    const LogPayload log{LogLevel::error, QString()};
    EXPECT_EQ(decoded<LogPayload>(encoded(log)), log);
    const QByteArray badUtf8 = bytes({0x82}) + fixstr("level") + bytes({0xCC, 1}) + fixstr("text") +
                               bytes({0xA3, 'o', 0xFE, 'k'});
    EXPECT_EQ(decoded<LogPayload>(badUtf8).text, QString::fromUtf8("o\xEF\xBF\xBDk"));
    const SnapshotBeginPayload zero{0, 0, 0, SnapshotFormat::rgb565Packbits, 0};
    EXPECT_EQ(decoded<SnapshotBeginPayload>(encoded(zero)), zero);
}

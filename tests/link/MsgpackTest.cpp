#include "link/MsgpackReader.h"
#include "link/MsgpackWriter.h"
#include "support/Bytes.h"
#include "ErrorOf.h"

#include <gtest/gtest.h>

#include <functional>

using namespace TarvUSB;


TEST(MsgpackWriter, ChoosesTheSmallestHeaderAtEachBoundary)
{
    const auto str = [](int n) {
        MsgpackWriter w;
        w.writeString(QString(n, u'a'));
        return w.data().left(3);
    };
    EXPECT_EQ(str(0), bytes({0xA0}));
    EXPECT_EQ(str(31).left(1), bytes({0xBF}));
    EXPECT_EQ(str(32).left(2), bytes({0xD9, 0x20}));
    EXPECT_EQ(str(255).left(2), bytes({0xD9, 0xFF}));
    EXPECT_EQ(str(256), bytes({0xDA, 0x01, 0x00}));
    {
        MsgpackWriter w;
        w.writeString(QString(65536, u'a'));
        EXPECT_EQ(w.data().left(5), bytes({0xDB, 0x00, 0x01, 0x00, 0x00}));
        EXPECT_EQ(w.data().size(), 65541);
    }

    const auto map = [](std::uint32_t n) {
        MsgpackWriter w;
        w.writeMapHeader(n);
        return w.data();
    };
    EXPECT_EQ(map(15), bytes({0x8F}));
    EXPECT_EQ(map(16), bytes({0xDE, 0x00, 0x10}));
    EXPECT_EQ(map(65536), bytes({0xDF, 0x00, 0x01, 0x00, 0x00}));

    const auto array = [](std::uint32_t n) {
        MsgpackWriter w;
        w.writeArrayHeader(n);
        return w.data();
    };
    EXPECT_EQ(array(0), bytes({0x90}));
    EXPECT_EQ(array(16), bytes({0xDC, 0x00, 0x10}));
    EXPECT_EQ(array(70000), bytes({0xDD, 0x00, 0x01, 0x11, 0x70}));

    const auto bin = [](int n) {
        MsgpackWriter w;
        w.writeBinary(QByteArray(n, 'x'));
        return w.data().left(3);
    };
    EXPECT_EQ(bin(0), bytes({0xC4, 0x00}));
    EXPECT_EQ(bin(256), bytes({0xC5, 0x01, 0x00}));
    EXPECT_EQ(bin(65536).left(1), bytes({0xC6}));
}

TEST(MsgpackWriter, WritesIntegersAtTheirDeclaredWidth)
{
    MsgpackWriter w;
    w.writeUInt16(5);
    w.writeUInt16(0);
    w.writeInt32(-1);
    w.writeUInt8(0);
    w.writeUInt32(0xFFB020);
    w.writeInt8(-2);
    w.writeInt16(-300);
    w.writeBool(true);
    w.writeBool(false);
    w.writeNil();
    EXPECT_EQ(w.data(), bytes({0xCD, 0x00, 0x05, 0xCD, 0x00, 0x00, 0xD2, 0xFF, 0xFF, 0xFF, 0xFF, 0xCC, 0x00,
                               0xCE, 0x00, 0xFF, 0xB0, 0x20, 0xD0, 0xFE, 0xD1, 0xFE, 0xD4, 0xC3, 0xC2, 0xC0}));
}

TEST(MsgpackReader, RoundTripsEveryPrimitive)
{
    MsgpackWriter w;
    w.writeMapHeader(70000);
    w.writeArrayHeader(17);
    w.writeString(QStringLiteral("grüße ✓"));
    w.writeBinary(QByteArray("\x00\x01\x02", 3));
    w.writeBool(true);
    w.writeUInt8(200);
    w.writeUInt16(65535);
    w.writeUInt32(0xDEADBEEF);
    w.writeInt8(-128);
    w.writeInt16(-32768);
    w.writeInt32(-2147483647 - 1);
    w.writeString(std::string_view("key"));

    MsgpackReader r(w.data());
    EXPECT_EQ(r.readMapHeader(), 70000u);
    EXPECT_EQ(r.readArrayHeader(), 17u);
    EXPECT_EQ(r.readString(), QStringLiteral("grüße ✓"));
    EXPECT_EQ(r.readBinary(), QByteArray("\x00\x01\x02", 3));
    EXPECT_TRUE(r.readBool());
    EXPECT_EQ(r.readUInt8(), 200);
    EXPECT_EQ(r.readUInt16(), 65535);
    EXPECT_EQ(r.readUInt32(), 0xDEADBEEFu);
    EXPECT_EQ(r.readInt8(), -128);
    EXPECT_EQ(r.readInt16(), -32768);
    EXPECT_EQ(r.readInt32(), -2147483647 - 1);
    r.expectKey("key");
    EXPECT_EQ(r.remaining(), 0);
}

TEST(MsgpackReader, RejectsOtherFormsWithTheirTexts)
{
    EXPECT_EQ(msgpackErrorOf([] { MsgpackReader(bytes({0x05})).readUInt16(); }).text(),
              QStringLiteral("expected uint16, got tag 0x5"));
    EXPECT_EQ(msgpackErrorOf([] { MsgpackReader(bytes({0xCD, 0x00})).readUInt16(); }).text(),
              QStringLiteral("unexpected end of buffer"));
    EXPECT_EQ(msgpackErrorOf([] { MsgpackReader(bytes({0x93})).readMapHeader(); }).text(),
              QStringLiteral("expected map header, got tag 0x93"));
    EXPECT_EQ(msgpackErrorOf([] { MsgpackReader(bytes({0x83})).readArrayHeader(); }).text(),
              QStringLiteral("expected array header, got tag 0x83"));
    EXPECT_EQ(msgpackErrorOf([] { MsgpackReader(bytes({0xC4, 0x00})).readString(); }).text(),
              QStringLiteral("expected str, got tag 0xc4"));
    EXPECT_EQ(msgpackErrorOf([] { MsgpackReader(bytes({0xA3, 0x61, 0x62, 0x63})).readBinary(); }).text(),
              QStringLiteral("expected bin, got tag 0xa3"));
    EXPECT_EQ(msgpackErrorOf([] { MsgpackReader(bytes({0x01})).readBool(); }).text(),
              QStringLiteral("expected bool, got tag 0x1"));
    EXPECT_EQ(msgpackErrorOf([] { MsgpackReader(bytes({0xD0, 0x01})).readUInt8(); }).text(),
              QStringLiteral("expected uint8, got tag 0xd0"));
    EXPECT_EQ(msgpackErrorOf([] { MsgpackReader(bytes({0xCE, 0, 0, 0, 1})).readInt32(); }).text(),
              QStringLiteral("expected int32, got tag 0xce"));
    EXPECT_EQ(msgpackErrorOf([] { MsgpackReader(fixstr("x")).expectKey("t"); }).text(),
              QStringLiteral("expected key \"t\", got \"x\""));
}

TEST(MsgpackReader, ConsumesTheWrongTag)
{
    MsgpackReader r(bytes({0x05, 0xCD, 0x00, 0x07}));
    EXPECT_THROW(r.readUInt16(), MsgpackError);
    EXPECT_EQ(r.pos(), 1);
    EXPECT_EQ(r.readUInt16(), 7);
}

TEST(MsgpackReader, EveryReadOfAnEmptyBufferEndsEarly)
{
    const std::function<void(MsgpackReader&)> reads[] = {
        [](MsgpackReader& r) { r.readMapHeader(); },   [](MsgpackReader& r) { r.readArrayHeader(); },
        [](MsgpackReader& r) { r.readString(); },      [](MsgpackReader& r) { r.readBinary(); },
        [](MsgpackReader& r) { r.readBool(); },        [](MsgpackReader& r) { r.readUInt8(); },
        [](MsgpackReader& r) { r.readUInt16(); },      [](MsgpackReader& r) { r.readUInt32(); },
        [](MsgpackReader& r) { r.readInt8(); },        [](MsgpackReader& r) { r.readInt16(); },
        [](MsgpackReader& r) { r.readInt32(); },       [](MsgpackReader& r) { r.expectKey("t"); },
        [](MsgpackReader& r) { r.readBytes(1); },
    };
    for (const auto& read : reads) {
        MsgpackReader r{QByteArray()};
        EXPECT_EQ(msgpackErrorOf([&] { read(r); }).kind, MsgpackError::Kind::unexpectedEnd);
    }
}

TEST(MsgpackReader, HostileLengthsFailWithoutAllocating)
{
    // A str32, bin32 and map32 announcing 4 GiB with nothing behind them.
    EXPECT_EQ(msgpackErrorOf([] { MsgpackReader(bytes({0xDB, 0xFF, 0xFF, 0xFF, 0xFF, 0x41})).readString(); }).text(),
              QStringLiteral("unexpected end of buffer"));
    EXPECT_EQ(msgpackErrorOf([] { MsgpackReader(bytes({0xC6, 0xFF, 0xFF, 0xFF, 0xFF})).readBinary(); }).kind,
              MsgpackError::Kind::unexpectedEnd);
    MsgpackReader r(bytes({0xDB, 0x7F, 0xFF, 0xFF, 0xFF}));
    EXPECT_THROW(r.readString(), MsgpackError);
    MsgpackReader partial(bytes({0xA5, 'a', 'b'}));
    EXPECT_EQ(msgpackErrorOf([&] { partial.readString(); }).kind, MsgpackError::Kind::unexpectedEnd);
}

TEST(MsgpackReader, ReplacesInvalidUtf8)
{
    MsgpackReader r(bytes({0xA4, 'a', 0xFF, 'b', 0xC3}));
    const QString s = r.readString();
    EXPECT_EQ(s.at(0), u'a');
    EXPECT_EQ(s.at(1), QChar(0xFFFD));
    EXPECT_EQ(s.at(2), u'b');
    EXPECT_EQ(s.back(), QChar(0xFFFD));
}

TEST(MsgpackError, TextsOfTheRecordErrors)
{
    EXPECT_EQ(MsgpackError::wrongFieldCount("TouchPayload", 3, 4).text(),
              QStringLiteral("TouchPayload: expected 3 fields, got 4"));
    EXPECT_EQ(MsgpackError::unknownEnumCase("TouchPhase", 3).text(), QStringLiteral("TouchPhase: unknown value 3"));
    EXPECT_EQ(MsgpackError::tooManyElements("ops", 64).text(), QStringLiteral("ops: exceeds max count 64"));
    EXPECT_EQ(MsgpackError::emptyVariant("PatchOp").text(), QStringLiteral("PatchOp: empty map"));
}

#include "link/PatchOp.h"
#include "support/Bytes.h"
#include "ErrorOf.h"

#include <gtest/gtest.h>

using namespace TarvUSB;

namespace {

QByteArray encoded(const PatchOp& op)
{
    MsgpackWriter w;
    op.encode(w);
    return w.data();
}

PatchOp decoded(const QByteArray& data)
{
    MsgpackReader r(data);
    return PatchOp::decode(r);
}

QString decodeError(const QByteArray& data)
{
    return msgpackErrorOf([&] { decoded(data); }).text();
}

QList<PropEntry> props(int n)
{
    QList<PropEntry> list;
    for (int i = 0; i < n; ++i)
        list.append({QStringLiteral("x"), PropValue::int32(i)});
    return list;
}

}  // namespace

TEST(PatchOp, ExactBytes)
{
    EXPECT_EQ(encoded(PatchOp::remove(100)),
              bytes({0x82, 0xA2, 0x6F, 0x70, 0xCC, 0x01, 0xA2, 0x69, 0x64, 0xCE, 0x00, 0x00, 0x00, 0x64}));
    EXPECT_EQ(encoded(PatchOp::create(9000, QStringLiteral("cont"), 100, 0)),
              bytes({0x85}) + fixstr("op") + bytes({0xCC, 0}) + fixstr("id") + bytes({0xCE, 0, 0, 0x23, 0x28}) +
                  fixstr("kind") + fixstr("cont") + fixstr("parentId") + bytes({0xCE, 0, 0, 0, 100}) +
                  fixstr("index") + bytes({0xCD, 0, 0}));
    EXPECT_EQ(encoded(PatchOp::setText(7, QString())).right(6), fixstr("text") + bytes({0xA0}));
}

TEST(PatchOp, PropertyValueBytes)
{
    const auto value = [](const PropValue& v) {
        MsgpackWriter w;
        v.encode(w);
        return w.data();
    };
    const QByteArray head = bytes({0x82}) + fixstr("vk");
    EXPECT_EQ(value(PropValue::int32(-1)), head + bytes({0xCC, 0, 0xA1, 'i', 0xD2, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(value(PropValue::color(0xFFB020)), head + bytes({0xCC, 3, 0xA1, 'c', 0xCE, 0x00, 0xFF, 0xB0, 0x20}));
    EXPECT_EQ(value(PropValue::boolean(true)), head + bytes({0xCC, 2, 0xA1, 'b', 0xC3}));
    EXPECT_EQ(value(PropValue::str(QStringLiteral("hi"))), head + bytes({0xCC, 1, 0xA1, 's', 0xA2, 'h', 'i'}));
}

TEST(PatchOp, RoundTripsEveryCase)
{
    const QList<PatchOp> ops = {
        PatchOp::create(1, QStringLiteral("label"), 100, 65535),
        PatchOp::remove(0xFFFFFFFF),
        PatchOp::move(3, 4, 5),
        PatchOp::setProps(6, {{QStringLiteral("bg"), PropValue::color(0x123456)},
                              {QStringLiteral("hidden"), PropValue::boolean(false)},
                              {QStringLiteral("x"), PropValue::int32(-40)},
                              {QStringLiteral("font"), PropValue::str(QStringLiteral("ü"))}}),
        PatchOp::setText(7, QStringLiteral("12:05 PM")),
    };
    for (const PatchOp& op : ops) {
        EXPECT_EQ(decoded(encoded(op)), op);
        EXPECT_EQ(int(decoded(encoded(op)).kind()), int(op.kind()));
    }
}

TEST(PatchOp, SixteenPropertiesAtMost)
{
    const QByteArray sixteen = encoded(PatchOp::setProps(1, props(16)));
    EXPECT_EQ(sixteen.mid(sixteen.indexOf("props") + 5, 3), bytes({0xDC, 0x00, 0x10}));
    EXPECT_EQ(decoded(sixteen), PatchOp::setProps(1, props(16)));
    EXPECT_EQ(msgpackErrorOf([] { encoded(PatchOp::setProps(1, props(17))); }).text(),
              QStringLiteral("props: exceeds max count 16"));
    // Refused on the count alone: no entries follow the header.
    const QByteArray received = bytes({0x83}) + fixstr("op") + bytes({0xCC, 3}) + fixstr("id") +
                                bytes({0xCE, 0, 0, 0, 1}) + fixstr("props") + bytes({0xDC, 0x00, 0x11});
    EXPECT_EQ(decodeError(received), QStringLiteral("props: exceeds max count 16"));
}

TEST(PatchOp, DecodingFailures)
{
    EXPECT_EQ(decodeError(bytes({0x81}) + fixstr("op") + bytes({0xCC, 1})),
              QStringLiteral("PatchOp.remove: expected 2 fields, got 1"));
    EXPECT_EQ(decodeError(bytes({0x80})), QStringLiteral("PatchOp: empty map"));
    EXPECT_EQ(decodeError(bytes({0x82}) + fixstr("id")), QStringLiteral("expected key \"op\", got \"id\""));
    EXPECT_EQ(decodeError(bytes({0x82}) + fixstr("op") + bytes({0xCC, 5})), QStringLiteral("PatchOpKind: unknown value 5"));
    EXPECT_EQ(decodeError(bytes({0x83}) + fixstr("op") + bytes({0xCC, 0})),
              QStringLiteral("PatchOp.create: expected 5 fields, got 3"));

    const QByteArray setPropsHead = bytes({0x83}) + fixstr("op") + bytes({0xCC, 3}) + fixstr("id") +
                                    bytes({0xCE, 0, 0, 0, 1}) + fixstr("props") + bytes({0x91});
    EXPECT_EQ(decodeError(setPropsHead + bytes({0x83})), QStringLiteral("PropEntry: expected 2 fields, got 3"));
    const QByteArray entryHead = setPropsHead + bytes({0x82}) + fixstr("key") + fixstr("bg") + fixstr("value");
    EXPECT_EQ(decodeError(entryHead + bytes({0x80})), QStringLiteral("PropValue: empty map"));
    EXPECT_EQ(decodeError(entryHead + bytes({0x82}) + fixstr("vk") + bytes({0xCC, 4})),
              QStringLiteral("PropValueKind: unknown value 4"));
    EXPECT_EQ(decodeError(entryHead + bytes({0x83}) + fixstr("vk") + bytes({0xCC, 3})),
              QStringLiteral("PropValue.color: expected 2 fields, got 3"));
    EXPECT_EQ(decodeError(entryHead + bytes({0x82}) + fixstr("vk") + bytes({0xCC, 3, 0xA1, 'c', 0xCC, 0x05})),
              QStringLiteral("expected uint32, got tag 0xcc"));
    EXPECT_EQ(decodeError(entryHead + bytes({0x82}) + fixstr("vk") + bytes({0xCC, 0}) + fixstr("s") + fixstr("x")),
              QStringLiteral("expected key \"i\", got \"s\""));
}

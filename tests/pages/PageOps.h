#pragma once
// Reading built pages in tests: the operations of one node, its properties by key, and the
// check that a list or frame goes to the device within the frame limits.

#include "link/Cobs.h"
#include "link/Frame.h"
#include "link/FrameParser.h"
#include "link/PatchOp.h"
#include "pages/PatchBatching.h"

#include <QList>
#include <QString>

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>

namespace PageOps {

using TarvUSB::PatchOp;
using TarvUSB::PropEntry;
using TarvUSB::PropValue;

inline std::optional<TarvUSB::PatchOpCreate> createOf(const QList<PatchOp>& ops, std::uint32_t id)
{
    for (const PatchOp& op : ops) {
        if (const auto* c = std::get_if<TarvUSB::PatchOpCreate>(&op.op); c && c->id == id)
            return *c;
    }
    return std::nullopt;
}

// The properties of the first setProps of the node.
inline QList<PropEntry> propsOf(const QList<PatchOp>& ops, std::uint32_t id)
{
    for (const PatchOp& op : ops) {
        if (const auto* s = std::get_if<TarvUSB::PatchOpSetProps>(&op.op); s && s->id == id)
            return s->props;
    }
    return {};
}

inline std::optional<QString> textOf(const QList<PatchOp>& ops, std::uint32_t id)
{
    for (const PatchOp& op : ops) {
        if (const auto* s = std::get_if<TarvUSB::PatchOpSetText>(&op.op); s && s->id == id)
            return s->text;
    }
    return std::nullopt;
}

inline std::optional<PropValue> prop(const QList<PatchOp>& ops, std::uint32_t id, const char* key)
{
    for (const PropEntry& e : propsOf(ops, id)) {
        if (e.key == QLatin1String(key))
            return e.value;
    }
    return std::nullopt;
}

inline std::optional<std::int32_t> intOf(const QList<PatchOp>& ops, std::uint32_t id, const char* key)
{
    const auto v = prop(ops, id, key);
    if (!v || !std::holds_alternative<std::int32_t>(v->value))
        return std::nullopt;
    return std::get<std::int32_t>(v->value);
}

inline std::optional<std::uint32_t> colorOf(const QList<PatchOp>& ops, std::uint32_t id, const char* key)
{
    const auto v = prop(ops, id, key);
    if (!v || !std::holds_alternative<PropValue::Color>(v->value))
        return std::nullopt;
    return std::get<PropValue::Color>(v->value).c;
}

inline QStringList keysOf(const QList<PatchOp>& ops, std::uint32_t id)
{
    QStringList keys;
    for (const PropEntry& e : propsOf(ops, id))
        keys.append(e.key);
    return keys;
}

inline QList<PropEntry> ints(std::initializer_list<std::pair<const char*, int>> entries)
{
    QList<PropEntry> out;
    for (const auto& [k, v] : entries)
        out.append({QString::fromLatin1(k), PropValue::int32(v)});
    return out;
}

// A frame goes on the line: it encodes, fits the device's frame length with its delimiter,
// and decodes to itself.
inline void expectSendable(const TarvUSB::Frame& frame)
{
    QByteArray encoded;
    ASSERT_NO_THROW(encoded = TarvUSB::Frame::encode(frame));
    const QByteArray wire = TarvUSB::cobsEncode(encoded);
    EXPECT_LE(wire.size(), TarvUSB::FrameParser::maxFrameBytes);
    EXPECT_EQ(TarvUSB::Frame::decode(TarvUSB::cobsDecode(wire)), frame);
}

// A page list as the page driver sends it: a list of up to 64 operations as one frame, a
// longer one cut by the patch batching.
inline void expectSendable(const QList<PatchOp>& ops)
{
    if (ops.size() <= 64) {
        expectSendable(TarvUSB::Frame{0xFFFF, TarvUSB::PatchPayload{ops}});
        return;
    }
    for (const QList<PatchOp>& batch : DynamicUIDemo::batchPatchOps(ops)) {
        EXPECT_LE(TarvUSB::cobsEncode(TarvUSB::Frame::encode(TarvUSB::Frame{0, TarvUSB::PatchPayload{batch}})).size() + 1,
                  DynamicUIDemo::maxBatchWireBytes);
        expectSendable(TarvUSB::Frame{0xFFFF, TarvUSB::PatchPayload{batch}});
    }
}

inline const QList<PatchOp>& opsOf(const TarvUSB::Frame& frame)
{
    static const QList<PatchOp> none;
    const auto* patch = frame.get<TarvUSB::PatchPayload>();
    return patch ? patch->ops : none;
}

}  // namespace PageOps

#include "link/PatchOp.h"

namespace TarvUSB {

namespace {

const char* const opCaseNames[] = {"PatchOp.create", "PatchOp.remove", "PatchOp.move",
                                   "PatchOp.setProps", "PatchOp.setText"};
const std::uint32_t opEntryCounts[] = {5, 2, 4, 3, 3};
const char* const valueCaseNames[] = {"PropValue.int32", "PropValue.str", "PropValue.bool",
                                      "PropValue.color"};

template <class... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

}  // namespace

std::optional<PatchOpKind> patchOpKindFromRaw(std::uint8_t raw)
{
    if (raw > 4)
        return std::nullopt;
    return PatchOpKind(raw);
}

std::optional<PropValueKind> propValueKindFromRaw(std::uint8_t raw)
{
    if (raw > 3)
        return std::nullopt;
    return PropValueKind(raw);
}

void PropValue::encode(MsgpackWriter& w) const
{
    w.writeRaw(0x82);
    w.writeString(std::string_view("vk"));
    w.writeUInt8(std::uint8_t(kind()));
    std::visit(Overloaded{
                   [&](std::int32_t i) {
                       w.writeString(std::string_view("i"));
                       w.writeInt32(i);
                   },
                   [&](const QString& s) {
                       w.writeString(std::string_view("s"));
                       w.writeString(s);
                   },
                   [&](bool b) {
                       w.writeString(std::string_view("b"));
                       w.writeBool(b);
                   },
                   [&](Color c) {
                       w.writeString(std::string_view("c"));
                       w.writeUInt32(c.c);
                   },
               },
               value);
}

PropValue PropValue::decode(MsgpackReader& r)
{
    const std::uint32_t n = r.readMapHeader();
    if (n < 1)
        throw MsgpackError::emptyVariant(QStringLiteral("PropValue"));
    r.expectKey("vk");
    const std::uint8_t raw = r.readUInt8();
    const auto kind = propValueKindFromRaw(raw);
    if (!kind)
        throw MsgpackError::unknownEnumCase(QStringLiteral("PropValueKind"), raw);
    if (n != 2)
        throw MsgpackError::wrongFieldCount(QString::fromLatin1(valueCaseNames[raw]), 2, n);
    switch (*kind) {
    case PropValueKind::int32:
        r.expectKey("i");
        return int32(r.readInt32());
    case PropValueKind::str:
        r.expectKey("s");
        return str(r.readString());
    case PropValueKind::boolean:
        r.expectKey("b");
        return boolean(r.readBool());
    case PropValueKind::color:
        break;
    }
    r.expectKey("c");
    return color(r.readUInt32());
}

void PropEntry::encode(MsgpackWriter& w) const
{
    w.writeRaw(0x82);
    w.writeString(std::string_view("key"));
    w.writeString(key);
    w.writeString(std::string_view("value"));
    value.encode(w);
}

PropEntry PropEntry::decode(MsgpackReader& r)
{
    const std::uint32_t n = r.readMapHeader();
    if (n != 2)
        throw MsgpackError::wrongFieldCount(QStringLiteral("PropEntry"), 2, n);
    PropEntry entry;
    r.expectKey("key");
    entry.key = r.readString();
    r.expectKey("value");
    entry.value = PropValue::decode(r);
    return entry;
}

std::uint32_t PatchOp::id() const
{
    return std::visit([](const auto& o) { return o.id; }, op);
}

void PatchOp::encode(MsgpackWriter& w) const
{
    const auto code = std::uint8_t(kind());
    w.writeRaw(std::uint8_t(0x80 | opEntryCounts[code]));
    w.writeString(std::string_view("op"));
    w.writeUInt8(code);
    w.writeString(std::string_view("id"));
    w.writeUInt32(id());
    std::visit(Overloaded{
                   [&](const Create& c) {
                       w.writeString(std::string_view("kind"));
                       w.writeString(c.kind);
                       w.writeString(std::string_view("parentId"));
                       w.writeUInt32(c.parentId);
                       w.writeString(std::string_view("index"));
                       w.writeUInt16(c.index);
                   },
                   [&](const Remove&) {},
                   [&](const Move& m) {
                       w.writeString(std::string_view("parentId"));
                       w.writeUInt32(m.parentId);
                       w.writeString(std::string_view("index"));
                       w.writeUInt16(m.index);
                   },
                   [&](const SetProps& s) {
                       w.writeString(std::string_view("props"));
                       w.writeArrayHeader(std::uint32_t(s.props.size()));
                       if (s.props.size() > maxPropsPerOp)
                           throw MsgpackError::tooManyElements(QStringLiteral("props"), maxPropsPerOp);
                       for (const PropEntry& e : s.props)
                           e.encode(w);
                   },
                   [&](const SetText& t) {
                       w.writeString(std::string_view("text"));
                       w.writeString(t.text);
                   },
               },
               op);
}

PatchOp PatchOp::decode(MsgpackReader& r)
{
    const std::uint32_t n = r.readMapHeader();
    if (n < 1)
        throw MsgpackError::emptyVariant(QStringLiteral("PatchOp"));
    r.expectKey("op");
    const std::uint8_t raw = r.readUInt8();
    const auto kind = patchOpKindFromRaw(raw);
    if (!kind)
        throw MsgpackError::unknownEnumCase(QStringLiteral("PatchOpKind"), raw);
    if (n != opEntryCounts[raw])
        throw MsgpackError::wrongFieldCount(QString::fromLatin1(opCaseNames[raw]), opEntryCounts[raw], n);
    r.expectKey("id");
    const std::uint32_t id = r.readUInt32();
    switch (*kind) {
    case PatchOpKind::create: {
        Create c{id, {}, 0, 0};
        r.expectKey("kind");
        c.kind = r.readString();
        r.expectKey("parentId");
        c.parentId = r.readUInt32();
        r.expectKey("index");
        c.index = r.readUInt16();
        return {std::move(c)};
    }
    case PatchOpKind::remove:
        return remove(id);
    case PatchOpKind::move: {
        Move m{id, 0, 0};
        r.expectKey("parentId");
        m.parentId = r.readUInt32();
        r.expectKey("index");
        m.index = r.readUInt16();
        return {m};
    }
    case PatchOpKind::setProps: {
        r.expectKey("props");
        const std::uint32_t count = r.readArrayHeader();
        if (count > maxPropsPerOp)
            throw MsgpackError::tooManyElements(QStringLiteral("props"), maxPropsPerOp);
        SetProps s{id, {}};
        s.props.reserve(count);
        for (std::uint32_t i = 0; i < count; ++i)
            s.props.append(PropEntry::decode(r));
        return {std::move(s)};
    }
    case PatchOpKind::setText:
        break;
    }
    r.expectKey("text");
    return setText(id, r.readString());
}

}  // namespace TarvUSB

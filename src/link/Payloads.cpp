#include "link/Payloads.h"

namespace TarvUSB {

namespace {

using std::string_view;

void key(MsgpackWriter& w, string_view k) { w.writeString(k); }

void begin(MsgpackReader& r, const char* type, std::uint32_t fields)
{
    const std::uint32_t n = r.readMapHeader();
    if (n != fields)
        throw MsgpackError::wrongFieldCount(QString::fromLatin1(type), fields, n);
}

template <class E>
E readEnum(MsgpackReader& r, const char* type, std::uint8_t maxRaw)
{
    const std::uint8_t raw = r.readUInt8();
    if (raw > maxRaw)
        throw MsgpackError::unknownEnumCase(QString::fromLatin1(type), raw);
    return E(raw);
}

}  // namespace

void HelloPayload::encode(MsgpackWriter& w) const
{
    w.writeRaw(0x85);
    key(w, "fw");
    w.writeString(fw);
    key(w, "pv");
    w.writeUInt16(pv);
    key(w, "pw");
    w.writeUInt16(pw);
    key(w, "ph");
    w.writeUInt16(ph);
    key(w, "psram");
    w.writeUInt32(psram);
}

HelloPayload HelloPayload::decode(MsgpackReader& r)
{
    begin(r, "HelloPayload", 5);
    HelloPayload p;
    r.expectKey("fw");
    p.fw = r.readString();
    r.expectKey("pv");
    p.pv = r.readUInt16();
    r.expectKey("pw");
    p.pw = r.readUInt16();
    r.expectKey("ph");
    p.ph = r.readUInt16();
    r.expectKey("psram");
    p.psram = r.readUInt32();
    return p;
}

void TouchPayload::encode(MsgpackWriter& w) const
{
    w.writeRaw(0x83);
    key(w, "x");
    w.writeUInt16(x);
    key(w, "y");
    w.writeUInt16(y);
    key(w, "phase");
    w.writeUInt8(std::uint8_t(phase));
}

TouchPayload TouchPayload::decode(MsgpackReader& r)
{
    begin(r, "TouchPayload", 3);
    TouchPayload p;
    r.expectKey("x");
    p.x = r.readUInt16();
    r.expectKey("y");
    p.y = r.readUInt16();
    r.expectKey("phase");
    p.phase = readEnum<TouchPhase>(r, "TouchPhase", 2);
    return p;
}

void ButtonPayload::encode(MsgpackWriter& w) const
{
    w.writeRaw(0x82);
    key(w, "id");
    w.writeUInt16(id);
    key(w, "phase");
    w.writeUInt8(std::uint8_t(phase));
}

ButtonPayload ButtonPayload::decode(MsgpackReader& r)
{
    begin(r, "ButtonPayload", 2);
    ButtonPayload p;
    r.expectKey("id");
    p.id = r.readUInt16();
    r.expectKey("phase");
    p.phase = readEnum<ButtonPhase>(r, "ButtonPhase", 1);
    return p;
}

void AckPayload::encode(MsgpackWriter& w) const
{
    w.writeRaw(0x81);
    key(w, "seq");
    w.writeUInt16(seq);
}

AckPayload AckPayload::decode(MsgpackReader& r)
{
    begin(r, "AckPayload", 1);
    AckPayload p;
    r.expectKey("seq");
    p.seq = r.readUInt16();
    return p;
}

void LogPayload::encode(MsgpackWriter& w) const
{
    w.writeRaw(0x82);
    key(w, "level");
    w.writeUInt8(std::uint8_t(level));
    key(w, "text");
    w.writeString(text);
}

LogPayload LogPayload::decode(MsgpackReader& r)
{
    begin(r, "LogPayload", 2);
    LogPayload p;
    r.expectKey("level");
    p.level = readEnum<LogLevel>(r, "LogLevel", 3);
    r.expectKey("text");
    p.text = r.readString();
    return p;
}

void HelloAckPayload::encode(MsgpackWriter& w) const
{
    w.writeRaw(0x83);
    key(w, "pv");
    w.writeUInt16(pv);
    key(w, "ok");
    w.writeBool(ok);
    key(w, "msg");
    w.writeString(msg);
}

HelloAckPayload HelloAckPayload::decode(MsgpackReader& r)
{
    begin(r, "HelloAckPayload", 3);
    HelloAckPayload p;
    r.expectKey("pv");
    p.pv = r.readUInt16();
    r.expectKey("ok");
    p.ok = r.readBool();
    r.expectKey("msg");
    p.msg = r.readString();
    return p;
}

void PatchPayload::encode(MsgpackWriter& w) const
{
    w.writeRaw(0x81);
    key(w, "ops");
    w.writeArrayHeader(std::uint32_t(ops.size()));
    if (ops.size() > maxPatchOps)
        throw MsgpackError::tooManyElements(QStringLiteral("ops"), maxPatchOps);
    for (const PatchOp& op : ops)
        op.encode(w);
}

PatchPayload PatchPayload::decode(MsgpackReader& r)
{
    begin(r, "PatchPayload", 1);
    r.expectKey("ops");
    const std::uint32_t count = r.readArrayHeader();
    if (count > maxPatchOps)
        throw MsgpackError::tooManyElements(QStringLiteral("ops"), maxPatchOps);
    PatchPayload p;
    p.ops.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i)
        p.ops.append(PatchOp::decode(r));
    return p;
}

void AssetBeginPayload::encode(MsgpackWriter& w) const
{
    w.writeRaw(0x83);
    key(w, "id");
    w.writeUInt32(id);
    key(w, "size");
    w.writeUInt32(size);
    key(w, "name");
    w.writeString(name);
}

AssetBeginPayload AssetBeginPayload::decode(MsgpackReader& r)
{
    begin(r, "AssetBeginPayload", 3);
    AssetBeginPayload p;
    r.expectKey("id");
    p.id = r.readUInt32();
    r.expectKey("size");
    p.size = r.readUInt32();
    r.expectKey("name");
    p.name = r.readString();
    return p;
}

void AssetChunkPayload::encode(MsgpackWriter& w) const
{
    w.writeRaw(0x83);
    key(w, "id");
    w.writeUInt32(id);
    key(w, "offset");
    w.writeUInt32(offset);
    key(w, "data");
    w.writeBinary(data);
}

AssetChunkPayload AssetChunkPayload::decode(MsgpackReader& r)
{
    begin(r, "AssetChunkPayload", 3);
    AssetChunkPayload p;
    r.expectKey("id");
    p.id = r.readUInt32();
    r.expectKey("offset");
    p.offset = r.readUInt32();
    r.expectKey("data");
    p.data = r.readBinary();
    return p;
}

void AssetEndPayload::encode(MsgpackWriter& w) const
{
    w.writeRaw(0x82);
    key(w, "id");
    w.writeUInt32(id);
    key(w, "crc32");
    w.writeUInt32(crc32);
}

AssetEndPayload AssetEndPayload::decode(MsgpackReader& r)
{
    begin(r, "AssetEndPayload", 2);
    AssetEndPayload p;
    r.expectKey("id");
    p.id = r.readUInt32();
    r.expectKey("crc32");
    p.crc32 = r.readUInt32();
    return p;
}

void HidEmitPayload::encode(MsgpackWriter& w) const
{
    w.writeRaw(0x83);
    key(w, "report");
    w.writeUInt8(std::uint8_t(report));
    key(w, "mods");
    w.writeUInt8(mods);
    key(w, "keys");
    w.writeArrayHeader(std::uint32_t(keys.size()));
    if (keys.size() > maxHidKeys)
        throw MsgpackError::tooManyElements(QStringLiteral("keys"), maxHidKeys);
    for (std::uint16_t usage : keys)
        w.writeUInt16(usage);
}

HidEmitPayload HidEmitPayload::decode(MsgpackReader& r)
{
    begin(r, "HidEmitPayload", 3);
    HidEmitPayload p;
    r.expectKey("report");
    p.report = readEnum<HidReport>(r, "HidReport", 1);
    r.expectKey("mods");
    p.mods = r.readUInt8();
    r.expectKey("keys");
    const std::uint32_t count = r.readArrayHeader();
    if (count > maxHidKeys)
        throw MsgpackError::tooManyElements(QStringLiteral("keys"), maxHidKeys);
    p.keys.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i)
        p.keys.append(r.readUInt16());
    return p;
}

void BacklightPayload::encode(MsgpackWriter& w) const
{
    w.writeRaw(0x81);
    key(w, "level");
    w.writeUInt8(level);
}

BacklightPayload BacklightPayload::decode(MsgpackReader& r)
{
    begin(r, "BacklightPayload", 1);
    BacklightPayload p;
    r.expectKey("level");
    p.level = r.readUInt8();
    return p;
}

void PingPayload::encode(MsgpackWriter& w) const
{
    w.writeRaw(0x81);
    key(w, "nonce");
    w.writeUInt16(nonce);
}

PingPayload PingPayload::decode(MsgpackReader& r)
{
    begin(r, "PingPayload", 1);
    PingPayload p;
    r.expectKey("nonce");
    p.nonce = r.readUInt16();
    return p;
}

void SnapshotRequestPayload::encode(MsgpackWriter& w) const
{
    w.writeRaw(0x81);
    key(w, "id");
    w.writeUInt16(id);
}

SnapshotRequestPayload SnapshotRequestPayload::decode(MsgpackReader& r)
{
    begin(r, "SnapshotRequestPayload", 1);
    SnapshotRequestPayload p;
    r.expectKey("id");
    p.id = r.readUInt16();
    return p;
}

void SnapshotBeginPayload::encode(MsgpackWriter& w) const
{
    w.writeRaw(0x85);
    key(w, "id");
    w.writeUInt16(id);
    key(w, "w");
    w.writeUInt16(this->w);
    key(w, "h");
    w.writeUInt16(h);
    key(w, "format");
    w.writeUInt8(0);  // the one format there is
    key(w, "size");
    w.writeUInt32(size);
}

SnapshotBeginPayload SnapshotBeginPayload::decode(MsgpackReader& r)
{
    begin(r, "SnapshotBeginPayload", 5);
    SnapshotBeginPayload p;
    r.expectKey("id");
    p.id = r.readUInt16();
    r.expectKey("w");
    p.w = r.readUInt16();
    r.expectKey("h");
    p.h = r.readUInt16();
    r.expectKey("format");
    p.format = readEnum<SnapshotFormat>(r, "SnapshotFormat", 0);
    r.expectKey("size");
    p.size = r.readUInt32();
    return p;
}

void SnapshotChunkPayload::encode(MsgpackWriter& w) const
{
    w.writeRaw(0x83);
    key(w, "id");
    w.writeUInt16(id);
    key(w, "offset");
    w.writeUInt32(offset);
    key(w, "data");
    w.writeBinary(data);
}

SnapshotChunkPayload SnapshotChunkPayload::decode(MsgpackReader& r)
{
    begin(r, "SnapshotChunkPayload", 3);
    SnapshotChunkPayload p;
    r.expectKey("id");
    p.id = r.readUInt16();
    r.expectKey("offset");
    p.offset = r.readUInt32();
    r.expectKey("data");
    p.data = r.readBinary();
    return p;
}

void SnapshotEndPayload::encode(MsgpackWriter& w) const
{
    w.writeRaw(0x83);
    key(w, "id");
    w.writeUInt16(id);
    key(w, "ok");
    w.writeBool(ok);
    key(w, "crc32");
    w.writeUInt32(crc32);
}

SnapshotEndPayload SnapshotEndPayload::decode(MsgpackReader& r)
{
    begin(r, "SnapshotEndPayload", 3);
    SnapshotEndPayload p;
    r.expectKey("id");
    p.id = r.readUInt16();
    r.expectKey("ok");
    p.ok = r.readBool();
    r.expectKey("crc32");
    p.crc32 = r.readUInt32();
    return p;
}

void OrientationPayload::encode(MsgpackWriter& w) const
{
    w.writeRaw(0x81);
    key(w, "flipped");
    w.writeBool(flipped);
}

OrientationPayload OrientationPayload::decode(MsgpackReader& r)
{
    begin(r, "OrientationPayload", 1);
    OrientationPayload p;
    r.expectKey("flipped");
    p.flipped = r.readBool();
    return p;
}

}  // namespace TarvUSB

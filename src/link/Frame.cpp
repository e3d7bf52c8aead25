#include "link/Frame.h"

#include <array>

namespace TarvUSB {

std::optional<MessageType> messageTypeFromRaw(std::uint8_t raw)
{
    if (raw < 1 || raw > 18)
        return std::nullopt;
    return MessageType(raw);
}

const char* messageTypeName(MessageType type)
{
    static constexpr std::array<const char*, 19> names = {
        "?",           "HELLO",         "TOUCH",         "BUTTON",         "ACK",
        "LOG",         "HELLO_ACK",     "PATCH",         "ASSET_BEGIN",    "ASSET_CHUNK",
        "ASSET_END",   "HID_EMIT",      "BACKLIGHT",     "PING",           "SNAPSHOT_REQUEST",
        "SNAPSHOT_BEGIN", "SNAPSHOT_CHUNK", "SNAPSHOT_END", "ORIENTATION",
    };
    const auto raw = std::size_t(type);
    return raw < names.size() ? names[raw] : names[0];
}

MessageType Frame::messageType() const
{
    return std::visit([](const auto& payload) { return messageTypeOf<std::decay_t<decltype(payload)>>; },
                      p);
}

QByteArray Frame::encode(const Frame& frame)
{
    MsgpackWriter w(64);
    w.writeRaw(0x83);
    w.writeString(std::string_view("t"));
    w.writeUInt8(std::uint8_t(frame.messageType()));
    w.writeString(std::string_view("q"));
    w.writeUInt16(frame.q);
    w.writeString(std::string_view("p"));
    std::visit([&](const auto& payload) { payload.encode(w); }, frame.p);
    return w.take();
}

namespace {

template <class P>
Frame decodeAs(std::uint16_t q, MsgpackReader& r)
{
    return Frame{q, P::decode(r)};
}

using Decoder = Frame (*)(std::uint16_t, MsgpackReader&);

// Indexed by wire code.
constexpr std::array<Decoder, 19> decoders = {
    nullptr,
    decodeAs<HelloPayload>,
    decodeAs<TouchPayload>,
    decodeAs<ButtonPayload>,
    decodeAs<AckPayload>,
    decodeAs<LogPayload>,
    decodeAs<HelloAckPayload>,
    decodeAs<PatchPayload>,
    decodeAs<AssetBeginPayload>,
    decodeAs<AssetChunkPayload>,
    decodeAs<AssetEndPayload>,
    decodeAs<HidEmitPayload>,
    decodeAs<BacklightPayload>,
    decodeAs<PingPayload>,
    decodeAs<SnapshotRequestPayload>,
    decodeAs<SnapshotBeginPayload>,
    decodeAs<SnapshotChunkPayload>,
    decodeAs<SnapshotEndPayload>,
    decodeAs<OrientationPayload>,
};

}  // namespace

Frame Frame::decode(const QByteArray& bytes)
{
    MsgpackReader r(bytes);
    const std::uint32_t n = r.readMapHeader();
    if (n != 3)
        throw MsgpackError::wrongFieldCount(QStringLiteral("Frame"), 3, n);
    r.expectKey("t");
    const std::uint8_t code = r.readUInt8();
    if (!messageTypeFromRaw(code))
        throw MsgpackError::unknownEnumCase(QStringLiteral("MessageType"), code);
    r.expectKey("q");
    const std::uint16_t q = r.readUInt16();
    r.expectKey("p");
    return decoders[code](q, r);
}

}  // namespace TarvUSB

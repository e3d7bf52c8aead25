#pragma once
// The frame envelope {"t", "q", "p"} of every message between the desktop and the device,
// the message types with their wire codes, and the protocol's fixed numbers.

#include "link/Payloads.h"

#include <QByteArray>

#include <cstdint>
#include <optional>
#include <variant>

namespace TarvUSB {

inline constexpr std::uint16_t vendorID = 0x303A;
inline constexpr std::uint16_t productID = 0x4005;
inline constexpr std::uint16_t protocolVersion = 1;

enum class MessageType : std::uint8_t {
    hello = 1,
    touch = 2,
    button = 3,
    ack = 4,
    log = 5,
    helloAck = 6,
    patch = 7,
    assetBegin = 8,
    assetChunk = 9,
    assetEnd = 10,
    hidEmit = 11,
    backlight = 12,
    ping = 13,
    snapshotRequest = 14,
    snapshotBegin = 15,
    snapshotChunk = 16,
    snapshotEnd = 17,
    orientation = 18,
};

// 1 to 18; nothing for any other code.
std::optional<MessageType> messageTypeFromRaw(std::uint8_t raw);
// The protocol's name of a type: "HELLO", "HELLO_ACK", "SNAPSHOT_BEGIN" …
const char* messageTypeName(MessageType type);

// The message type each payload record travels as.
template <class P> inline constexpr MessageType messageTypeOf = MessageType(0);
template <> inline constexpr MessageType messageTypeOf<HelloPayload> = MessageType::hello;
template <> inline constexpr MessageType messageTypeOf<TouchPayload> = MessageType::touch;
template <> inline constexpr MessageType messageTypeOf<ButtonPayload> = MessageType::button;
template <> inline constexpr MessageType messageTypeOf<AckPayload> = MessageType::ack;
template <> inline constexpr MessageType messageTypeOf<LogPayload> = MessageType::log;
template <> inline constexpr MessageType messageTypeOf<HelloAckPayload> = MessageType::helloAck;
template <> inline constexpr MessageType messageTypeOf<PatchPayload> = MessageType::patch;
template <> inline constexpr MessageType messageTypeOf<AssetBeginPayload> = MessageType::assetBegin;
template <> inline constexpr MessageType messageTypeOf<AssetChunkPayload> = MessageType::assetChunk;
template <> inline constexpr MessageType messageTypeOf<AssetEndPayload> = MessageType::assetEnd;
template <> inline constexpr MessageType messageTypeOf<HidEmitPayload> = MessageType::hidEmit;
template <> inline constexpr MessageType messageTypeOf<BacklightPayload> = MessageType::backlight;
template <> inline constexpr MessageType messageTypeOf<PingPayload> = MessageType::ping;
template <> inline constexpr MessageType messageTypeOf<SnapshotRequestPayload> = MessageType::snapshotRequest;
template <> inline constexpr MessageType messageTypeOf<SnapshotBeginPayload> = MessageType::snapshotBegin;
template <> inline constexpr MessageType messageTypeOf<SnapshotChunkPayload> = MessageType::snapshotChunk;
template <> inline constexpr MessageType messageTypeOf<SnapshotEndPayload> = MessageType::snapshotEnd;
template <> inline constexpr MessageType messageTypeOf<OrientationPayload> = MessageType::orientation;

struct Frame {
    // The device's messages first, then the desktop's. A frame's code always comes from
    // messageTypeOf, never from the position of its alternative.
    using Payload = std::variant<HelloPayload, TouchPayload, ButtonPayload, AckPayload, LogPayload,
                                 SnapshotBeginPayload, SnapshotChunkPayload, SnapshotEndPayload,
                                 HelloAckPayload, PatchPayload, AssetBeginPayload, AssetChunkPayload,
                                 AssetEndPayload, HidEmitPayload, BacklightPayload, PingPayload,
                                 SnapshotRequestPayload, OrientationPayload>;

    std::uint16_t q = 0;
    Payload p;

    MessageType messageType() const;

    template <class P> const P* get() const { return std::get_if<P>(&p); }

    // The MessagePack bytes of the frame, without COBS and delimiter. Throws MsgpackError
    // (tooManyElements) when a list exceeds its limit.
    static QByteArray encode(const Frame& frame);
    // The frame held by one COBS-decoded piece of the stream. Throws MsgpackError. Bytes
    // after the payload are ignored.
    static Frame decode(const QByteArray& bytes);

    friend bool operator==(const Frame&, const Frame&) = default;
};

}  // namespace TarvUSB

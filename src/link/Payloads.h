#pragma once
// The payload record of each of the 18 message types, with the exact wire form of its map:
// keys in a fixed order, integers at their declared width, two bounded lists.

#include "link/MsgpackReader.h"
#include "link/MsgpackWriter.h"
#include "link/PatchOp.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>

namespace TarvUSB {

enum class TouchPhase : std::uint8_t { down = 0, move = 1, up = 2 };
enum class ButtonPhase : std::uint8_t { down = 0, up = 1 };
enum class LogLevel : std::uint8_t { debug = 0, info = 1, warn = 2, error = 3 };
enum class HidReport : std::uint8_t { keyboard = 0, consumer = 1 };
enum class SnapshotFormat : std::uint8_t { rgb565Packbits = 0 };

inline constexpr int maxPatchOps = 64;
inline constexpr int maxHidKeys = 6;

#define TARV_PAYLOAD_CODEC(Type)                             \
    void encode(MsgpackWriter& w) const;                     \
    static Type decode(MsgpackReader& r);                    \
    friend bool operator==(const Type&, const Type&) = default

struct HelloPayload {
    QString fw;
    std::uint16_t pv = 0;
    std::uint16_t pw = 0;
    std::uint16_t ph = 0;
    std::uint32_t psram = 0;
    TARV_PAYLOAD_CODEC(HelloPayload);
};

struct TouchPayload {
    std::uint16_t x = 0;
    std::uint16_t y = 0;
    TouchPhase phase = TouchPhase::down;
    TARV_PAYLOAD_CODEC(TouchPayload);
};

struct ButtonPayload {
    std::uint16_t id = 0;
    ButtonPhase phase = ButtonPhase::down;
    TARV_PAYLOAD_CODEC(ButtonPayload);
};

struct AckPayload {
    std::uint16_t seq = 0;
    TARV_PAYLOAD_CODEC(AckPayload);
};

struct LogPayload {
    LogLevel level = LogLevel::info;
    QString text;
    TARV_PAYLOAD_CODEC(LogPayload);
};

struct HelloAckPayload {
    std::uint16_t pv = 0;
    bool ok = false;
    QString msg;
    TARV_PAYLOAD_CODEC(HelloAckPayload);
};

struct PatchPayload {
    QList<PatchOp> ops;  // at most 64
    TARV_PAYLOAD_CODEC(PatchPayload);
};

struct AssetBeginPayload {
    std::uint32_t id = 0;
    std::uint32_t size = 0;
    QString name;
    TARV_PAYLOAD_CODEC(AssetBeginPayload);
};

struct AssetChunkPayload {
    std::uint32_t id = 0;
    std::uint32_t offset = 0;
    QByteArray data;
    TARV_PAYLOAD_CODEC(AssetChunkPayload);
};

struct AssetEndPayload {
    std::uint32_t id = 0;
    std::uint32_t crc32 = 0;
    TARV_PAYLOAD_CODEC(AssetEndPayload);
};

struct HidEmitPayload {
    HidReport report = HidReport::keyboard;
    std::uint8_t mods = 0;
    QList<std::uint16_t> keys;  // at most 6
    TARV_PAYLOAD_CODEC(HidEmitPayload);
};

struct BacklightPayload {
    std::uint8_t level = 0;
    TARV_PAYLOAD_CODEC(BacklightPayload);
};

struct PingPayload {
    std::uint16_t nonce = 0;
    TARV_PAYLOAD_CODEC(PingPayload);
};

struct SnapshotRequestPayload {
    std::uint16_t id = 0;
    TARV_PAYLOAD_CODEC(SnapshotRequestPayload);
};

struct SnapshotBeginPayload {
    std::uint16_t id = 0;
    std::uint16_t w = 0;
    std::uint16_t h = 0;
    SnapshotFormat format = SnapshotFormat::rgb565Packbits;
    std::uint32_t size = 0;
    TARV_PAYLOAD_CODEC(SnapshotBeginPayload);
};

struct SnapshotChunkPayload {
    std::uint16_t id = 0;
    std::uint32_t offset = 0;
    QByteArray data;
    TARV_PAYLOAD_CODEC(SnapshotChunkPayload);
};

struct SnapshotEndPayload {
    std::uint16_t id = 0;
    bool ok = false;
    std::uint32_t crc32 = 0;
    TARV_PAYLOAD_CODEC(SnapshotEndPayload);
};

struct OrientationPayload {
    bool flipped = false;
    TARV_PAYLOAD_CODEC(OrientationPayload);
};

#undef TARV_PAYLOAD_CODEC

}  // namespace TarvUSB

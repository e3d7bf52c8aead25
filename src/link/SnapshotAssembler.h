#pragma once
// Reassembles one screen capture from SNAPSHOT_BEGIN, SNAPSHOT_CHUNK and SNAPSHOT_END,
// checks it, and unpacks its PackBits RGB565 stream. Input is the device's and is checked
// before anything is reserved beyond the announced, bounded size.

#include "link/DeviceSnapshot.h"
#include "link/Payloads.h"
#include "link/SnapshotFailure.h"

#include <QByteArray>
#include <QDateTime>

#include <cstdint>
#include <optional>
#include <variant>
#include <vector>

namespace TarvUSB {

// The largest picture a device may announce, in pixels.
inline constexpr std::uint32_t maxSnapshotPixels = 1u << 20;

std::variant<std::vector<std::uint16_t>, SnapshotFailure> unpackPackBitsRGB565(const QByteArray& packed,
                                                                                std::size_t pixelCount);

struct SnapshotAssembler {
    std::uint16_t id = 0;
    std::optional<SnapshotBeginPayload> header;
    QByteArray packed;

    explicit SnapshotAssembler(std::uint16_t captureId) : id(captureId) {}

    std::optional<SnapshotFailure> begin(const SnapshotBeginPayload& payload);
    std::optional<SnapshotFailure> addChunk(const SnapshotChunkPayload& payload);
    // Nothing (monostate) when the end belongs to another capture.
    std::variant<std::monostate, DeviceSnapshot, SnapshotFailure> finish(const SnapshotEndPayload& payload,
                                                                         const QDateTime& now);
    // 0 to 1: the share of the announced bytes received.
    double progress() const;
    // Data is flowing once the header announced bytes and some arrived.
    bool isFlowing() const { return header && header->size > 0 && !packed.isEmpty(); }
};

}  // namespace TarvUSB

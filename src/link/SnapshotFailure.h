#pragma once
// The ways a capture of the device screen ends without a picture; the message is shown to
// the user and logged after "Snapshot failed: ".

#include <QString>

#include <cstdint>

namespace TarvUSB {

struct SnapshotFailure {
    enum class Kind : std::uint8_t { corrupt, notConnected, noAnswer, stalled, deviceRefused, disconnected };

    Kind kind = Kind::corrupt;
    QString reason;  // corrupt only

    static SnapshotFailure corrupt(QString reason) { return {Kind::corrupt, std::move(reason)}; }
    static SnapshotFailure of(Kind kind) { return {kind, {}}; }

    QString message() const;

    friend bool operator==(const SnapshotFailure&, const SnapshotFailure&) = default;
};

}  // namespace TarvUSB

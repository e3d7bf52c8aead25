#pragma once
// Saving a captured screen as a PNG file where the snapshot command of the command channel
// asks for it.

#include "link/DeviceSnapshot.h"

#include <QString>

#include <variant>

struct SnapshotSaveError {
    QString message;
};

// `requested` empty: "tarv-yyyyMMdd-HHmmss.png" for the snapshot's date in the Snapshots
// folder, which is created as needed; an existing folder: that name in it; anything else: the
// file path itself (a relative one against the current folder). Written atomically. The path
// written, or why nothing was. Reads and writes files: never on the GUI thread.
std::variant<QString, SnapshotSaveError> saveSnapshotPNG(const TarvUSB::DeviceSnapshot& snapshot,
                                                         const QString& requested);

#pragma once
// Saving a captured screen as a PNG file in the Snapshots folder, as the snapshot command
// of the command channel does.

#include "link/DeviceSnapshot.h"

#include <QString>

#include <variant>

struct SnapshotSaveError {
    QString message;
};

// Creates the folder as needed and writes "tarv-yyyyMMdd-HHmmss.png" for the snapshot's
// date; the path written, or why nothing was.
std::variant<QString, SnapshotSaveError> saveSnapshotPNG(const TarvUSB::DeviceSnapshot& snapshot, const QString& folder);

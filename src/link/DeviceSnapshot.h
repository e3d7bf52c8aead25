#pragma once
// A captured picture of the device screen (RGB565 pixels), its conversion to an image and
// PNG, and where snapshots are saved.

#include <QByteArray>
#include <QDateTime>
#include <QImage>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace TarvUSB {

struct DeviceSnapshot {
    int width = 0;
    int height = 0;
    std::vector<std::uint16_t> pixels;  // row by row, RGB565
    QDateTime date;
    qsizetype packedBytes = 0;

    // Opaque RGB image, each channel widened by bit replication; null when the pixels do
    // not fill width × height.
    QImage makeImage() const;
    std::optional<QByteArray> pngData() const;

    friend bool operator==(const DeviceSnapshot&, const DeviceSnapshot&) = default;
};

// "tarv-yyyyMMdd-HHmmss.png" in local time, Gregorian whatever the user's locale.
QString snapshotFileName(const QDateTime& at);
// ~/.local/share/Tarv/Snapshots (not created here).
QString snapshotsFolderPath();

}  // namespace TarvUSB

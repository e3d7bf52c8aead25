#pragma once
// The device's snapshot compression: PackBits packets over 16-bit RGB565 pixels, each pixel
// stored low byte first.

#include <QByteArray>
#include <QList>

#include <cstdint>

namespace TarvFake {

// Runs of 2 to 129 equal pixels become one repeat packet, everything else literal packets
// of up to 128 pixels.
QByteArray packBitsRGB565(const QList<std::uint16_t>& pixels);

}  // namespace TarvFake

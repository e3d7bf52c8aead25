#pragma once
// The device's image form with transparency: an RGB565 plane (2 bytes a pixel, low byte
// first) followed by an A8 plane, converted from premultiplied RGBA.

#include <cstddef>
#include <cstdint>

// Converts `count` premultiplied RGBA pixels into `rgb565` (2 bytes each) and `alpha`
// (1 byte each). A pixel without coverage packs to zero whatever its channels hold.
void packPremultipliedPixels(const std::uint8_t* rgba, std::size_t count, std::uint8_t* rgb565, std::uint8_t* alpha);

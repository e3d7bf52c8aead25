#include "device/DevicePixels.h"

#include <algorithm>

void packPremultipliedPixels(const std::uint8_t* rgba, std::size_t count, std::uint8_t* rgb565, std::uint8_t* alpha)
{
    for (std::size_t i = 0; i < count; ++i, rgba += 4) {
        const unsigned a = rgba[3];
        alpha[i] = std::uint8_t(a);
        if (a == 0) {
            rgb565[2 * i] = 0;
            rgb565[2 * i + 1] = 0;
            continue;
        }
        // Rounding in the premultiplied channels can leave one above its alpha.
        const auto unpremultiply = [a](unsigned c) { return std::min(c * 255 / a, 255u); };
        const unsigned r = unpremultiply(rgba[0]);
        const unsigned g = unpremultiply(rgba[1]);
        const unsigned b = unpremultiply(rgba[2]);
        rgb565[2 * i] = std::uint8_t(((g << 3) & 0xE0) | (b >> 3));
        rgb565[2 * i + 1] = std::uint8_t((r & 0xF8) | (g >> 5));
    }
}

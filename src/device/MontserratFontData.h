#pragma once
// The metrics of one of the device's built-in fonts, as compiled in from
// data/device-font-metrics.json by tools/GenerateFontMetrics at build time.

#include <array>
#include <cstdint>
#include <span>

struct MontserratFontData {
    int pointSize;
    int lineHeight;                               // pixels
    std::span<const char32_t> codePoints;         // ascending; position = glyph index
    std::span<const std::uint16_t> advances;      // sixteenths of a pixel, one per glyph
    std::span<const std::uint8_t> leftClasses;    // 0 = none, else 1 … leftClassCount
    std::span<const std::uint8_t> rightClasses;   // 0 = none, else 1 … rightClassCount
    int leftClassCount;
    int rightClassCount;
    std::span<const std::int8_t> kerning;         // sixteenths; row by left, column by right class
};

// The four fonts, by ascending point size (14, 18, 24, 34). Defined in the generated source.
extern const std::array<MontserratFontData, 4> montserratFontData;

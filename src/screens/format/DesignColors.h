#pragma once
// The named colours of the device's design, accepted in screen files besides "#RRGGBB".

#include <QString>

#include <cstdint>
#include <optional>

namespace DesignColors {

constexpr std::uint32_t background = 0x0A0B0C; // "bg"
constexpr std::uint32_t accent = 0xFFB020;      // "accent"

// The colour of a name as written in a file (compared lower-cased), or none.
std::optional<std::uint32_t> named(const QString& name);

// The names sorted ascending and joined with ", ", as messages list them.
const QString& namesText();

} // namespace DesignColors

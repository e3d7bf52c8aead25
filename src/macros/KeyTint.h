#pragma once
// The colour accent of a key; the colours themselves belong to whoever draws the key.

#include <QString>
#include <QStringView>

#include <array>
#include <cstdint>
#include <optional>

enum class KeyTint : std::uint8_t { neutral, amber, blue, green, red };

inline constexpr std::array<KeyTint, 5> allKeyTints = {
    KeyTint::neutral, KeyTint::amber, KeyTint::blue, KeyTint::green, KeyTint::red,
};

// The stored name of a tint, equal to its case name.
QString keyTintRawValue(KeyTint tint);

// Exact, case-sensitive match of a stored name; none for anything else.
std::optional<KeyTint> keyTintFromRawValue(QStringView text);

#pragma once
// One keystroke as the device emits it: a HID keyboard usage (page 0x07) and its modifiers.

#include "macros/HIDModifiers.h"

#include <cstdint>

struct KeyChord {
    std::uint16_t usage = 0;
    HIDModifiers modifiers;

    friend bool operator==(const KeyChord&, const KeyChord&) = default;
};

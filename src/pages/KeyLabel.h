#pragma once
// The label of a home key as the device draws it, for views that show a key as the device will.

#include "macros/MacroButton.h"

#include <QString>

namespace DynamicUIDemo {

// The room the device gives a key's label, in its pixels.
inline constexpr int keyLabelRoom = 108;

// The key's label as it is sent to the device: folded, at most 12 characters.
QString deviceKeyLabel(const MacroButton& button);
// The size of the device font the label is drawn in: smaller under an emoji or an icon.
int keyLabelFontSize(const MacroButton& button);

// What of the key's label shows on the device: folded, at most 12 characters, cut after the
// last character that still fits the key's width in the device's font, and a blank in place
// of each character that font has no glyph for (the device leaves its room empty).
QString visibleKeyLabel(const MacroButton& button);

}  // namespace DynamicUIDemo

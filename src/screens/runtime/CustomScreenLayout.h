#pragma once
// What a drawn custom page holds that touches reach: its buttons with their device
// rectangles, and the hit test that finds the button under a finger.

#include "macros/MacroAction.h"
#include "screens/format/CustomScreen.h"

#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

namespace CustomScreenRenderer {

struct Button {
    CustomScreen::Rect rect;  // device pixels
    MacroAction action;
    QString title;

    friend bool operator==(const Button&, const Button&) = default;
};

struct Layout {
    QList<Button> buttons;  // in drawing order

    friend bool operator==(const Layout&, const Layout&) = default;
};

// The button under the point, the last drawn first; none outside every button.
std::optional<Button> hitTestButton(std::uint16_t x, std::uint16_t y, const QList<Button>& buttons);

}  // namespace CustomScreenRenderer

#include "screens/runtime/CustomScreenLayout.h"

namespace CustomScreenRenderer {

std::optional<Button> hitTestButton(std::uint16_t x, std::uint16_t y, const QList<Button>& buttons)
{
    // The last drawn lies on top where buttons overlap.
    for (auto it = buttons.crbegin(); it != buttons.crend(); ++it) {
        const CustomScreen::Rect& r = it->rect;
        if (r.x <= x && x < r.x + r.w && r.y <= y && y < r.y + r.h)
            return *it;
    }
    return std::nullopt;
}

}  // namespace CustomScreenRenderer

#include "pages/KeyLabel.h"

#include "device/FoldForDevice.h"
#include "device/MontserratMetrics.h"
#include "platform/Graphemes.h"

namespace DynamicUIDemo {

QString visibleKeyLabel(const MacroButton& button)
{
    const QString label = firstGraphemes(foldForDevice(button.label), 12);
    const bool graphic = (button.emoji && !button.emoji->isEmpty()) || button.icon.has_value();
    const MontserratMetrics::Font& font = MontserratMetrics::fontForSize(graphic ? 14 : 18);
    QString measured;
    QString shown;
    for (const QString& character : graphemes(label)) {
        measured += character;
        // A wider label starts at the key's left edge and is cut at its right one.
        if (MontserratMetrics::textWidth(measured, font) > keyLabelRoom)
            break;
        bool drawn = true;
        for (char32_t scalar : character.toUcs4())
            drawn = drawn && font.glyphIndex(scalar).has_value();
        shown += drawn ? character : QStringLiteral(" ");
    }
    return shown;
}

}  // namespace DynamicUIDemo

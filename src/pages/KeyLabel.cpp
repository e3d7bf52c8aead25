#include "pages/KeyLabel.h"

#include "device/FoldForDevice.h"
#include "device/MontserratMetrics.h"
#include "platform/Graphemes.h"

namespace DynamicUIDemo {

QString deviceKeyLabel(const MacroButton& button)
{
    return firstGraphemes(foldForDevice(button.label), 12);
}

int keyLabelFontSize(const MacroButton& button)
{
    const bool graphic = (button.emoji && !button.emoji->isEmpty()) || button.icon.has_value();
    return graphic ? 14 : 18;
}

QString visibleKeyLabel(const MacroButton& button)
{
    const QString label = deviceKeyLabel(button);
    const MontserratMetrics::Font& font = MontserratMetrics::fontForSize(keyLabelFontSize(button));
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

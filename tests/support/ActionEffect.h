#pragma once
// What an action does, as the device or the desktop sees it: the chord or key it sends, the
// address it opens (or, while its values are to come, the text they fill), what it starts,
// types or shows. Two actions with one effect may read alike; two with different ones never.

#include "macros/MacroAction.h"

#include <QString>

inline QString effectOf(const MacroAction& action)
{
    const QString kind = MacroAction::kindRawValue(action.kind()) + u'\0';
    if (const auto* chord = action.as<KeyChord>())
        return kind + QString::number(chord->usage) + u' ' + QString::number(chord->modifiers.rawValue);
    if (const auto* key = action.as<MediaKey>())
        return kind + QString::number(mediaKeyUsage(*key));
    if (const auto* app = action.as<AppTarget>())
        return kind + app->bundleID + u'\0' + app->name;
    if (const auto* open = action.as<MacroAction::OpenURL>())
        return kind + (open->address.isValid() ? QStringLiteral("opens ") + open->address.toString(QUrl::FullyEncoded)
                                               : QStringLiteral("fills ") + open->url);
    if (const auto* shortcut = action.as<MacroAction::RunShortcut>())
        return kind + shortcut->name;
    if (const auto* type = action.as<MacroAction::TypeText>())
        return kind + type->text;
    if (const auto* shot = action.as<ScreenshotOptions>())
        return kind + shot->summary();
    if (const auto* show = action.as<MacroAction::ShowScreen>())
        return kind + show->screen;
    return kind;
}

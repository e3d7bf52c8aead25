#pragma once
// Issues of a screen file as "E path: message" / "W path: message" lines, for comparing whole
// lists in tests.

#include "screens/format/ScreenIssue.h"

#include <QList>
#include <QStringList>

inline QStringList issueTexts(const QList<ScreenIssue>& issues)
{
    QStringList out;
    for (const ScreenIssue& issue : issues)
        out.append((issue.severity == ScreenIssue::Severity::error ? QStringLiteral("E ") : QStringLiteral("W ")) +
                   issue.displayText());
    return out;
}

inline const QString designColourNames = QStringLiteral(
    "accent, accent-fill, bg, border, down, surface, surface-alt, text, text-dim, text-mute, up");

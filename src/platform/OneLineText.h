#pragma once
// A title or name that came from outside (a screen file, a file name, a player, a desktop
// entry) as one line of its own wherever it is shown. A tab in a menu entry's text starts its
// shortcut column, a line break adds a line to a list row, and a bidirectional override turns
// "exe.TXT" into "TXT.exe" and reaches into the text around it.

#include <QString>

// Control characters and line or paragraph separators become spaces; bidirectional
// embeddings, overrides and isolates are removed. The text is returned unchanged (shared,
// not copied) when it holds none of them.
QString oneLineText(const QString& text);

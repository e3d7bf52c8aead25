#pragma once
// The symbols the views name, drawn as the desktop's icon theme draws them. Each name maps to
// a freedesktop icon name; where the theme lacks it (no theme at all, or the offscreen
// platform of the tests) a bundled drawing of our own stands in.

#include <QIcon>
#include <QString>

#include <optional>

// The freedesktop icon name for a symbol name; none for a name the table does not hold.
std::optional<QString> freedesktopIconName(const QString& symbol);
// The bundled drawing's resource path; empty when the symbol has none.
QString bundledSymbolPath(const QString& symbol);
// The theme's icon, else the bundled one; an empty icon for a name the table does not hold.
QIcon symbolIcon(const QString& symbol);
// Every symbol name the table holds, for checking the table as a whole.
QStringList knownSymbols();

#pragma once
// What may name a shortcut: the name of a file directly inside the Shortcuts folder, which the
// folder's listing shows. A "/" would reach another folder, and a name beginning with "." is
// "..", or a hidden file the listing leaves out.

#include <QStringView>

bool isShortcutName(QStringView name);

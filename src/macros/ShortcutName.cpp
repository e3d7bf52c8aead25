#include "macros/ShortcutName.h"

#include <QChar>

bool isShortcutName(QStringView name)
{
    return !name.isEmpty() && !name.startsWith(u'.') && !name.contains(u'/') && !name.contains(QChar(0));
}

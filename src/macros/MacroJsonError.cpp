#include "macros/MacroJsonError.h"

QString MacroJsonError::text() const
{
    if (codingPath.isEmpty())
        return description;
    return codingPath.join(u'.') + QStringLiteral(": ") + description;
}

#include "control/PushName.h"

#include <algorithm>

bool isValidPushName(QStringView name)
{
    // Every allowed character is ASCII, so the UTF-16 length is the UTF-8 length.
    if (name.isEmpty() || name.size() > 64)
        return false;
    return std::all_of(name.begin(), name.end(), [](QChar q) {
        const char16_t c = q.unicode();
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_'
               || c == u'.' || c == u'-';
    });
}

std::optional<QString> pushRefusal(QStringView name, QStringView value)
{
    if (!isValidPushName(name))
        return QStringLiteral("a name is up to 64 letters, digits, _ . and -");
    if (value.toUtf8().size() > maxPushValueBytes)
        return QStringLiteral("a value may be 8 KB at most");
    if (std::all_of(value.begin(), value.end(), [](QChar c) { return c.isSpace(); }))
        return QStringLiteral("the value is empty");
    return std::nullopt;
}

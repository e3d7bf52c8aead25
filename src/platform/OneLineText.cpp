#include "platform/OneLineText.h"

namespace {

enum class Kind { kept, space, removed };

Kind kindOf(char16_t c)
{
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029)
        return Kind::space;
    if ((c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069))
        return Kind::removed;
    return Kind::kept;
}

}  // namespace

QString oneLineText(const QString& text)
{
    // Every character concerned is in the Basic Multilingual Plane and never a surrogate, so
    // walking UTF-16 units leaves pairs whole.
    qsizetype i = 0;
    while (i < text.size() && kindOf(text[i].unicode()) == Kind::kept)
        ++i;
    if (i == text.size())
        return text;
    QString out = text.left(i);
    out.reserve(text.size());
    for (; i < text.size(); ++i) {
        switch (kindOf(text[i].unicode())) {
        case Kind::kept: out += text[i]; break;
        case Kind::space: out += u' '; break;
        case Kind::removed: break;
        }
    }
    return out;
}

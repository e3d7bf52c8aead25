#include "platform/VisibleText.h"

#include <QChar>

namespace {

bool isHidden(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Other_Format:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
    case QChar::Other_Surrogate:
        return true;
    default:
        return false;
    }
}

void appendHex(QString& out, char32_t c, int digits)
{
    constexpr char hex[] = "0123456789ABCDEF";
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
        out += QChar(hex[(c >> shift) & 0xF]);
}

}  // namespace

bool isControlCharacter(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

void appendVisibleEscape(QString& out, char32_t c)
{
    switch (c) {
    case U'\n': out += QStringLiteral("\\n"); return;
    case U'\r': out += QStringLiteral("\\r"); return;
    case U'\t': out += QStringLiteral("\\t"); return;
    default: break;
    }
    if (isControlCharacter(c)) {
        out += QStringLiteral("\\x");
        appendHex(out, c, 2);
    } else if (c <= 0xFFFF) {
        out += QStringLiteral("\\u");
        appendHex(out, c, 4);
    } else {
        out += QStringLiteral("\\U");
        appendHex(out, c, 8);
    }
}

QString visibleText(const QString& text, VisibleTabs tabs)
{
    const auto shown = [tabs](char32_t c) {
        if (c == U'\t')
            return tabs == VisibleTabs::kept;
        return !isControlCharacter(c) && !isHidden(c);
    };
    // A lone surrogate is taken as the code point it names, so it is escaped like the rest.
    const auto codePointAt = [&text](qsizetype i, qsizetype& length) -> char32_t {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            length = 2;
            return QChar::surrogateToUcs4(c, text[i + 1]);
        }
        length = 1;
        return c.unicode();
    };

    qsizetype i = 0;
    qsizetype length = 1;
    while (i < text.size() && shown(codePointAt(i, length)))
        i += length;
    if (i == text.size())
        return text;
    QString out = text.left(i);
    out.reserve(text.size() + 16);
    for (; i < text.size(); i += length) {
        const char32_t c = codePointAt(i, length);
        if (shown(c))
            out += QStringView(text).sliced(i, length);
        else
            appendVisibleEscape(out, c);
    }
    return out;
}

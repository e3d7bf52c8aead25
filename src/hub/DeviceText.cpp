#include "hub/DeviceText.h"

#include <algorithm>

namespace {

bool isControl(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

void appendEscape(QString& out, char32_t c)
{
    switch (c) {
    case U'\n': out += QStringLiteral("\\n"); return;
    case U'\r': out += QStringLiteral("\\r"); return;
    case U'\t': out += QStringLiteral("\\t"); return;
    default: break;
    }
    constexpr char digits[] = "0123456789ABCDEF";
    out += QStringLiteral("\\x");
    out += QChar(digits[(c >> 4) & 0xF]);
    out += QChar(digits[c & 0xF]);
}

}  // namespace

QString escapedDeviceText(QStringView text, qsizetype limit)
{
    // Code points rather than characters: one grapheme cluster can run on without end, so
    // only a count of code points bounds the line.
    QString out;
    out.reserve(std::min(text.size(), limit) + 8);
    qsizetype taken = 0;
    for (qsizetype i = 0; i < text.size(); ++i, ++taken) {
        if (taken == limit) {
            out += QChar(0x2026);
            break;
        }
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            // A pair is one code point and is never cut in two.
            out += c;
            out += text[++i];
        } else if (isControl(c.unicode())) {
            appendEscape(out, c.unicode());
        } else if (c == u'\\') {
            out += QStringLiteral("\\\\");
        } else {
            out += c;
        }
    }
    return out;
}

#include "hub/DeviceText.h"

#include "platform/VisibleText.h"

#include <algorithm>

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
        } else if (isControlCharacter(c.unicode())) {
            appendVisibleEscape(out, c.unicode());
        } else if (c == u'\\') {
            out += QStringLiteral("\\\\");
        } else {
            out += c;
        }
    }
    return out;
}

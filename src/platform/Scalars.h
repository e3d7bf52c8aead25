#pragma once
// Walking a UTF-16 text by Unicode scalar without copying it (QString::toUcs4 allocates).

#include <QString>
#include <QStringView>

// The scalar starting at position i, advancing i past it. A lone surrogate is one scalar,
// U+FFFD, so malformed text never stops a walk. Requires i < text.size().
inline char32_t nextScalar(QStringView text, qsizetype& i)
{
    const char16_t c = text[i++].unicode();
    if (c < 0xD800 || c > 0xDFFF)
        return c;
    if (c <= 0xDBFF && i < text.size()) {
        const char16_t low = text[i].unicode();
        if (low >= 0xDC00 && low <= 0xDFFF) {
            ++i;
            return 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(low) - 0xDC00);
        }
    }
    return 0xFFFD;
}

// The number of scalars of the text.
inline qsizetype scalarCount(QStringView text)
{
    qsizetype n = 0;
    for (qsizetype i = 0; i < text.size(); ++n)
        nextScalar(text, i);
    return n;
}

// Whether the text holds a surrogate without its partner.
inline bool hasLoneSurrogate(QStringView text)
{
    for (qsizetype i = 0; i < text.size();) {
        const char16_t c = text[i].unicode();
        if (nextScalar(text, i) == 0xFFFD && c != 0xFFFD)
            return true;
    }
    return false;
}

// The text with each lone surrogate replaced by U+FFFD. Such text cannot be written as UTF-8
// and makes regular expressions refuse to match it at all, so it is mended where it comes in.
inline QString replaceLoneSurrogates(const QString& text)
{
    if (!hasLoneSurrogate(text))
        return text;
    QString mended;
    mended.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype start = i;
        if (nextScalar(text, i) == 0xFFFD && text[start].unicode() != 0xFFFD)
            mended.append(QChar(0xFFFD));
        else
            mended.append(QStringView(text).sliced(start, i - start));
    }
    return mended;
}

#include "platform/VisibleText.h"

#include "platform/LookAlikes.h"

#include <QChar>

#include <unicode/uchar.h>

#include <vector>

namespace {

constexpr char32_t variationSelector16 = 0xFE0F;
constexpr char32_t zeroWidthJoiner = 0x200D;
// Two symbols that no property marks draw nothing all the same: the blank braille cell, and
// the character that Qt's text layout keeps for an embedded object.
constexpr char32_t brailleBlank = 0x2800;
constexpr char32_t objectReplacement = 0xFFFC;

// Characters that show as nothing, as a space that is not one or as no glyph of their own:
// whatever the font does with them, the reader could not tell which character stands there.
bool isHidden(char32_t c)
{
    if (c >= 0x20 && c < 0x7F)
        return false;
    const auto point = UChar32(c);
    switch (u_charType(point)) {
    case U_FORMAT_CHAR:
    case U_LINE_SEPARATOR:
    case U_PARAGRAPH_SEPARATOR:
    case U_SURROGATE:
    case U_SPACE_SEPARATOR:
    // Code points with no character yet, and those each font fills as it likes.
    case U_UNASSIGNED:
    case U_PRIVATE_USE_CHAR:
        return true;
    default:
        return c == brailleBlank || c == objectReplacement ||
               u_hasBinaryProperty(point, UCHAR_DEFAULT_IGNORABLE_CODE_POINT);
    }
}

void appendHex(QString& out, char32_t c, int digits)
{
    constexpr char hex[] = "0123456789ABCDEF";
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
        out += QChar(hex[(c >> shift) & 0xF]);
}

// A lone surrogate is taken as the code point it names, so it is escaped like the rest.
char32_t codePointAt(const QString& text, qsizetype i, qsizetype& length)
{
    const QChar c = text[i];
    if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
        length = 2;
        return QChar::surrogateToUcs4(c, text[i + 1]);
    }
    length = 1;
    return c.unicode();
}

enum class Emoji { escaped, kept };

constexpr char16_t openQuote = u'\u201C';
constexpr char16_t closeQuote = u'\u201D';

struct Escaping {
    VisibleTabs tabs = VisibleTabs::escaped;
    Emoji emoji = Emoji::escaped;
    // Characters that pass for others are written out as well.
    bool lookAlikes = false;
    // The quotes that frame the text are written out, so nothing in it ends the quotation.
    bool quotes = false;
};

// Marks drawn over or around the character before them, rather than beside it.
bool isOverlaidMark(char32_t c)
{
    if (c < 0x300)
        return false;
    const auto type = u_charType(UChar32(c));
    return type == U_NON_SPACING_MARK || type == U_ENCLOSING_MARK;
}

bool isHexDigit(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// Whether the text at `i` reads as the rest of an escape when a backslash stands before it:
// another backslash, n, r, t, or x, u, U with as many hex digits as their escapes have. Either
// letter case, as a reader takes "\x1b" for an escape as readily as "\x1B".
bool continuesEscape(const QString& text, qsizetype i)
{
    qsizetype digits = 0;
    switch (text[i].unicode()) {
    case u'\\':
    case u'n':
    case u'r':
    case u't':
        return true;
    case u'x': digits = 2; break;
    case u'u': digits = 4; break;
    case u'U': digits = 8; break;
    default: return false;
    }
    if (i + digits >= text.size())
        return false;
    for (qsizetype d = 1; d <= digits; ++d)
        if (!isHexDigit(text[i + d]))
            return false;
    return true;
}

// Each character is shown as it is or as its escape; a backslash is doubled exactly where the
// one after it would otherwise be read as part of an escape: before a character written as an
// escape, or before text that reads as the rest of one. So reading the shown text back (a
// doubled backslash is one backslash, an escape is its character, anything else itself) gives
// the text again, and two different texts never show the same.
QString escapedText(const QString& text, Escaping how)
{
    const VisibleTabs tabs = how.tabs;
    const Emoji emoji = how.emoji;
    std::vector<bool> passesForOther;
    if (how.lookAlikes)
        passesForOther = lookAlikeCharacters(text);
    if (how.quotes) {
        passesForOther.resize(std::size_t(text.size()), false);
        for (qsizetype i = 0; i < text.size(); ++i)
            if (text[i] == QChar(openQuote) || text[i] == QChar(closeQuote))
                passesForOther[std::size_t(i)] = true;
    }
    QString out;
    bool copying = false;
    const auto startCopying = [&](qsizetype upTo) {
        if (copying)
            return;
        out = text.left(upTo);
        out.reserve(text.size() + 16);
        copying = true;
    };
    // Columns that were each made visible already keep their backslashes: they are escapes.
    const bool doubleBackslashes = tabs == VisibleTabs::escaped;
    // Whether the code point before is an emoji, or the selector that asks for its emoji form.
    bool afterEmoji = false;
    // Whether the code point before was written as an escape, or there is none: a mark there has
    // no character of its own to sit on and would draw over what stands before the text.
    bool afterEscape = true;
    bool afterBackslash = false;
    // Marks drawn over the same character so far: more than two draw as one smudge.
    int overlaid = 0;
    qsizetype length = 1;
    for (qsizetype i = 0; i < text.size(); i += length) {
        // Most of a command is printable ASCII, which shows as it is and is no mark: a run of it
        // takes none of the checks below.
        if (!afterBackslash) {
            const qsizetype start = i;
            while (i < text.size() && text[i].unicode() >= 0x20 && text[i].unicode() < 0x7F && text[i] != u'\\')
                ++i;
            if (i > start) {
                if (copying)
                    out += QStringView(text).sliced(start, i - start);
                afterEscape = false;
                overlaid = 0;
                // The ASCII characters that begin an emoji keycap.
                const char16_t last = text[i - 1].unicode();
                afterEmoji = (last >= u'0' && last <= u'9') || last == u'#' || last == u'*';
                if (i == text.size())
                    break;
            }
        }
        const char32_t c = codePointAt(text, i, length);
        bool shown = c == U'\t' ? tabs == VisibleTabs::kept : !isControlCharacter(c) && !isHidden(c);
        if (!passesForOther.empty() && passesForOther[std::size_t(i)])
            shown = false;
        if (emoji == Emoji::kept && !shown) {
            if (c == variationSelector16) {
                shown = afterEmoji;
            } else if (c == zeroWidthJoiner && afterEmoji && i + length < text.size()) {
                qsizetype nextLength = 1;
                shown = u_hasBinaryProperty(UChar32(codePointAt(text, i + length, nextLength)),
                                            UCHAR_EXTENDED_PICTOGRAPHIC);
            }
        }
        if (isOverlaidMark(c)) {
            shown = shown && !afterEscape && overlaid < 2;
            overlaid = shown ? overlaid + 1 : overlaid;
        } else {
            overlaid = 0;
        }
        if (emoji == Emoji::kept)
            afterEmoji = shown && (c == variationSelector16 || u_hasBinaryProperty(UChar32(c), UCHAR_EMOJI));
        if (afterBackslash && doubleBackslashes && (!shown || continuesEscape(text, i))) {
            startCopying(i);
            out += u'\\';
        }
        afterBackslash = shown && c == U'\\';
        afterEscape = !shown;
        if (shown) {
            if (copying)
                out += QStringView(text).sliced(i, length);
            continue;
        }
        startCopying(i);
        appendVisibleEscape(out, c);
    }
    return copying ? out : text;
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
    return escapedText(text, {tabs, Emoji::escaped, false, false});
}

QString visibleTitle(const QString& text)
{
    return escapedText(text, {VisibleTabs::escaped, Emoji::kept, false, false});
}

QString approvalText(const QString& text)
{
    return escapedText(text, {VisibleTabs::escaped, Emoji::escaped, true, true});
}

QString approvalQuote(const QString& text)
{
    return QChar(openQuote) + approvalText(text) + QChar(closeQuote);
}

QString quotedTitle(const QString& text)
{
    return QChar(openQuote) + escapedText(text, {VisibleTabs::escaped, Emoji::kept, false, true}) + QChar(closeQuote);
}

bool showsLookAlikes(const QString& text)
{
    return approvalText(text) != visibleText(text);
}

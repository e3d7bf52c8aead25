#include "platform/VisibleText.h"

#include <QList>

#include <random>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

QString escape(char32_t c)
{
    QString out;
    appendVisibleEscape(out, c);
    return out;
}

}  // namespace

// A command that ends in a character the reader cannot see runs a file other than the one
// it names: each such character, and each space that is not U+0020, is written out.
TEST(VisibleText, CharactersThatShowAsNothingOrAsAnotherSpaceAreWrittenOut)
{
    const QString command = u"sh ~/bin/stats.sh"_s;
    QList<char32_t> hidden{0x034F, 0x115F, 0x1160, 0x3164, 0xFFA0, 0x17B4, 0x17B5, 0xFE0F, 0xE0100, 0x2065,
                           0x00A0, 0x202F, 0x205F, 0x3000,
                           // Also: symbols that draw nothing, a private-use, an unassigned and a
                           // noncharacter code point.
                           0x2800, 0xFFFC, 0xE000, 0x0378, 0xFFFE};
    for (char32_t c = 0x2000; c <= 0x200A; ++c)
        hidden.append(c);
    for (const char32_t c : hidden) {
        const QString shown = visibleText(command + QString::fromUcs4(&c, 1));
        EXPECT_EQ(shown, command + escape(c)) << shown.toStdString();
    }
    EXPECT_EQ(escape(0x3164), u"\\u3164"_s);
    EXPECT_EQ(escape(0xE0100), u"\\U000E0100"_s);
    // A plain space, letters of any script, accents and emoji show as they are.
    for (const QString& kept : {command, u"caf\u00E9 cafe\u0301 \uD55C \u65E5\u672C \U0001F600"_s})
        EXPECT_EQ(visibleText(kept), kept);
}

// A title is read, not run: an emoji keeps what draws it as one, and nothing else hides.
TEST(VisibleText, TitlesKeepEmojiSequencesAsTheyAreDrawn)
{
    const QString heart = u"\u2764\uFE0F"_s;
    const QString family = u"\U0001F468\u200D\U0001F469\u200D\U0001F467"_s;
    const QString rainbow = u"\U0001F3F3\uFE0F\u200D\U0001F308"_s;
    const QString keycap = u"1\uFE0F\u20E3"_s;
    for (const QString& emoji : {heart, family, rainbow, keycap}) {
        EXPECT_EQ(visibleTitle(u"Button \u201C"_s + emoji + u"\u201D"_s), u"Button \u201C"_s + emoji + u"\u201D"_s);
        EXPECT_NE(visibleText(emoji), emoji);
    }
    // Not after an emoji, or a joiner with no emoji after it: written out as in a command.
    EXPECT_EQ(visibleTitle(u"a\uFE0F b\u200D\U0001F600 \U0001F600\u200D \U0001F600\u200Dc \U0001F600\u3164"_s),
              u"a\\uFE0F b\\u200D\U0001F600 \U0001F600\\u200D \U0001F600\\u200Dc \U0001F600\\u3164"_s);
}

namespace {

bool isHex(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// One character of a shown text as a reader takes it, and whether it was written as an escape.
struct ReadCharacter {
    QString text;
    bool escaped = false;
};

// Reads a shown text back as a reader would: a doubled backslash is one backslash, an escape is
// the character it names, and anything else is itself.
QList<ReadCharacter> readBack(const QString& shown)
{
    QList<ReadCharacter> read;
    for (qsizetype i = 0; i < shown.size();) {
        const QChar c = shown[i];
        const QChar next = i + 1 < shown.size() ? shown[i + 1] : QChar();
        const qsizetype digits = next == u'x' ? 2 : next == u'u' ? 4 : next == u'U' ? 8 : 0;
        bool isEscape = c == u'\\' && digits > 0 && i + 2 + digits <= shown.size();
        for (qsizetype d = 0; isEscape && d < digits; ++d)
            isEscape = isHex(shown[i + 2 + d]);
        if (c == u'\\' && (next == u'\\' || next == u'n' || next == u'r' || next == u't')) {
            const QChar meant = next == u'\\' ? u'\\' : next == u'n' ? u'\n' : next == u'r' ? u'\r' : u'\t';
            read.append({QString(meant), next != u'\\'});
            i += 2;
        } else if (isEscape) {
            const char32_t code = QStringView(shown).sliced(i + 2, digits).toUInt(nullptr, 16);
            read.append({code > 0xFFFF ? QString::fromUcs4(&code, 1) : QString(QChar(char16_t(code))), true});
            i += 2 + digits;
        } else {
            read.append({QString(c), false});
            ++i;
        }
    }
    return read;
}

QString joined(const QList<ReadCharacter>& read)
{
    QString text;
    for (const ReadCharacter& c : read)
        text += c.text;
    return text;
}

bool isOverlaidMark(const QString& c)
{
    return c.size() == 1 && (c[0].category() == QChar::Mark_NonSpacing || c[0].category() == QChar::Mark_Enclosing);
}

}  // namespace

// Whatever a text holds, what is shown reads back as that text and nothing else, so two texts
// that differ never look the same: a typed backslash and n never passes for a line break.
// Texts are drawn from pieces that meet there: backslashes, letters and digits that follow
// one in an escape, controls, whole escapes typed out, marks, invisible characters, emoji.
TEST(VisibleText, EveryShownTextReadsBackAsTheTextItCameFrom)
{
    const QStringList pieces{
        u"\\"_s, u"\\"_s, u"n"_s, u"t"_s, u"x"_s, u"u"_s, u"U"_s, u"0"_s, u"1"_s, u"B"_s, u"f"_s, u"a"_s,
        u" "_s, u"'"_s, u"#"_s, u"|"_s, u"\n"_s, u"\r"_s, u"\t"_s, u"\u000B"_s, u"\u001B"_s, u"\u0000"_s,
        u"\u007F"_s, u"\u0085"_s, u"\\n"_s, u"\\x1B"_s, u"\\x1b"_s, u"\\u200B"_s, u"\\U0001F600"_s,
        u"\\\\"_s, u"\u0301"_s, u"\u0301"_s, u"\u0308"_s, u"\u20DD"_s, u"\u20E3"_s, u"\u200B"_s, u"\u200D"_s,
        u"\uFE0F"_s, u"\u3164"_s, u"\u00A0"_s, u"\u202E"_s, u"\u034F"_s, u"\U000E0100"_s, u"\u2800"_s,
        u"\U0001F600"_s, u"\u2764"_s, u"\U0001F468"_s, u"\u00E9"_s, u"\u65E5"_s, QString(QChar(0xD800)),
        QString(QChar(0xDC00)), u"\uE000"_s, u"\u0378"_s};
    std::mt19937 random(62);
    std::uniform_int_distribution<qsizetype> pick(0, pieces.size() - 1);
    std::uniform_int_distribution<int> length(0, 12);
    for (int round = 0; round < 40000; ++round) {
        QString text;
        for (int n = length(random); n > 0; --n)
            text += pieces[pick(random)];
        for (const QString& shown : {visibleText(text), visibleTitle(text)}) {
            const QList<ReadCharacter> read = readBack(shown);
            ASSERT_EQ(joined(read), text) << shown.toStdString();
            // What shows as itself is no control, and a mark that shows sits on a character
            // that shows, with at most one other mark.
            int marks = 0;
            for (qsizetype i = 0; i < read.size(); ++i) {
                if (read[i].escaped) {
                    marks = 0;
                    continue;
                }
                ASSERT_NE(read[i].text[0].category(), QChar::Other_Control) << shown.toStdString();
                marks = isOverlaidMark(read[i].text) ? marks + 1 : 0;
                ASSERT_LE(marks, 2) << shown.toStdString();
                ASSERT_FALSE(marks > 0 && (i == marks - 1 || read[i - marks].escaped)) << shown.toStdString();
            }
        }
    }
}

// A word keeps its accents, but marks heaped on one letter draw as one: the rest are written out.
TEST(VisibleText, MarksPiledOnOneCharacterAreWrittenOutPastTheSecond)
{
    const QString acute = u"\u0301"_s;
    EXPECT_EQ(visibleText(u"echo hello"_s + acute), u"echo hello"_s + acute);
    const QString shown = visibleText(u"echo hello"_s + acute.repeated(400));
    EXPECT_EQ(shown, u"echo hello"_s + acute.repeated(2) + u"\\u0301"_s.repeated(398));
}

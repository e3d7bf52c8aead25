#include "platform/VisibleText.h"

#include <QList>

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

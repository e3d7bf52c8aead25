#include "device/FoldForDevice.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

TEST(FoldForDevice, DrawableTextIsReturnedAsItIs)
{
    const QString text = u"Play \uF04B 12\u00B0"_s;
    const QString folded = foldForDevice(text);
    EXPECT_EQ(folded, text);
    EXPECT_EQ(folded.constData(), text.constData());  // shared, not copied
    EXPECT_EQ(foldForDevice(QString()), QString());
}

TEST(FoldForDevice, ReplacementTableWhiteSpaceAndTransliteration)
{
    EXPECT_EQ(foldForDevice(u"caf\u00E9"_s), u"cafe");
    EXPECT_EQ(foldForDevice(u"3\u00D74"_s), u"3x4");
    EXPECT_EQ(foldForDevice(u"Tarv\u2122"_s), u"Tarv(TM)");
    EXPECT_EQ(foldForDevice(u"a\u200Bb\u200Cc\u200Dd\uFEFF"_s), u"abcd");
    EXPECT_EQ(foldForDevice(u"10\u00A0kg"_s), u"10 kg");
    EXPECT_EQ(foldForDevice(u"a\u00B7b"_s), u"a\u2022b"_s);
    EXPECT_EQ(foldForDevice(u"tab\there\nnext"_s), u"tab here next");
    EXPECT_EQ(foldForDevice(u"Stra\u00DFe \u00C5ngstr\u00F6m"_s), u"Strasse Angstrom");
    EXPECT_EQ(foldForDevice(u"\u201CHi\u201D \u2026"_s), u"\"Hi\" ...");
}

TEST(FoldForDevice, UndrawableScalarsStayUnchanged)
{
    // No drawable transliteration: the scalar stays and is measured as a missing glyph.
    EXPECT_EQ(foldForDevice(u"\u4E2D\u6587 ok"_s), u"\u4E2D\u6587 ok"_s);
    const QString emoji = u"Go \U0001F680 \U0001F468\u200D\U0001F469\u200D\U0001F467"_s;
    // The joiners inside the family are zero-width joiners and are dropped like any other;
    // the emoji scalars themselves pass through.
    EXPECT_EQ(foldForDevice(u"Go \U0001F680"_s), u"Go \U0001F680"_s);
    EXPECT_EQ(foldForDevice(emoji), u"Go \U0001F680 \U0001F468\U0001F469\U0001F467"_s);
    // A combining accent on its own is nothing drawable: it stays after the "e".
    EXPECT_EQ(foldForDevice(u"e\u0301"_s), u"e\u0301"_s);
    // Malformed UTF-16 is kept as it was.
    const QString lone = u"a"_s + QChar(0xD800) + u"\u00E9"_s;
    EXPECT_EQ(foldForDevice(lone), u"a"_s + QChar(0xD800) + u"e"_s);
}

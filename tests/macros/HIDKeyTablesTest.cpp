#include "macros/HIDKeyTables.h"

#include <QSet>

#include <gtest/gtest.h>

namespace {

std::optional<KeyChord> chord(const QString& character)
{
    return hidChordForCharacter(character);
}

KeyChord plain(std::uint16_t usage) { return {usage, HIDModifiers::none()}; }
KeyChord shifted(std::uint16_t usage) { return {usage, HIDModifiers::shift()}; }

} // namespace

TEST(HIDKeyTables, ChordForCharacter)
{
    EXPECT_EQ(chord(QStringLiteral("a")), plain(4));
    EXPECT_EQ(chord(QStringLiteral("z")), plain(29));
    EXPECT_EQ(chord(QStringLiteral("Z")), shifted(29));
    EXPECT_EQ(chord(QStringLiteral("1")), plain(30));
    EXPECT_EQ(chord(QStringLiteral("0")), plain(39));
    EXPECT_EQ(chord(QStringLiteral("!")), shifted(30));
    EXPECT_EQ(chord(QStringLiteral("?")), shifted(56));
    EXPECT_EQ(chord(QStringLiteral("/")), plain(56));
    EXPECT_EQ(chord(QStringLiteral("|")), shifted(49));
    EXPECT_EQ(chord(QStringLiteral("\"")), shifted(52));
    EXPECT_EQ(chord(QStringLiteral("\t")), plain(43));
    EXPECT_EQ(chord(QStringLiteral(" ")), plain(44));
    EXPECT_EQ(chord(QStringLiteral("\n")), plain(40));
    EXPECT_EQ(chord(QStringLiteral("\r\n")), plain(40));
    EXPECT_FALSE(chord(QStringLiteral("\u00E9")));
    EXPECT_FALSE(chord(QStringLiteral("e\u0301")));
    EXPECT_FALSE(chord(QStringLiteral("\U0001F600")));
    EXPECT_FALSE(chord(QStringLiteral("\x7f")));
    EXPECT_FALSE(chord(QStringLiteral("\x01")));
    EXPECT_FALSE(chord(QString()));
}

TEST(HIDKeyTables, EveryPrintableASCIICharacterHasAChordThatLabelsBack)
{
    for (char16_t c = 0x21; c < 0x7f; ++c) {
        const auto result = chord(QString(QChar(c)));
        ASSERT_TRUE(result) << char(c);
        const bool needsShift = (c >= u'A' && c <= u'Z') || QStringView(u"!@#$%^&*()_+{}|:\"~<>?").contains(QChar(c));
        EXPECT_EQ(result->modifiers == HIDModifiers::shift(), needsShift) << char(c);
        if (!needsShift && !(c >= u'a' && c <= u'z')) {
            EXPECT_EQ(hidKeyLabel(result->usage), QString(QChar(c))) << char(c);
        }
    }
}

TEST(HIDKeyTables, KeyLabels)
{
    EXPECT_EQ(hidKeyLabel(4), QStringLiteral("A"));
    EXPECT_EQ(hidKeyLabel(29), QStringLiteral("Z"));
    EXPECT_EQ(hidKeyLabel(30), QStringLiteral("1"));
    EXPECT_EQ(hidKeyLabel(39), QStringLiteral("0"));
    EXPECT_EQ(hidKeyLabel(40), QStringLiteral("\u21A9"));
    EXPECT_EQ(hidKeyLabel(44), QStringLiteral("Space"));
    EXPECT_EQ(hidKeyLabel(69), QStringLiteral("F12"));
    EXPECT_EQ(hidKeyLabel(104), QStringLiteral("F13"));
    EXPECT_EQ(hidKeyLabel(115), QStringLiteral("F24"));
    EXPECT_EQ(hidKeyLabel(89), QStringLiteral("Pad 1"));
    EXPECT_EQ(hidKeyLabel(97), QStringLiteral("Pad 9"));
    EXPECT_EQ(hidKeyLabel(98), QStringLiteral("Pad 0"));
    EXPECT_EQ(hidKeyLabel(50), QStringLiteral("0x32"));
    EXPECT_EQ(hidKeyLabel(0), QStringLiteral("0x00"));
    EXPECT_EQ(hidKeyLabel(300), QStringLiteral("0x12C"));
    // The keys of the common desktop shortcuts read by name, not as numbers.
    EXPECT_EQ(hidKeyLabel(0x46), QStringLiteral("Print"));
    EXPECT_EQ(hidKeyLabel(0xE3), QStringLiteral("Super"));
    EXPECT_EQ(hidKeyNames().size(), 38);
}

TEST(HIDKeyTables, DisplayNames)
{
    EXPECT_EQ(hidKeyDisplayName(40), QStringLiteral("Return \u21A9"));
    EXPECT_EQ(hidKeyDisplayName(76), QStringLiteral("Forward Delete \u2326"));
    EXPECT_EQ(hidKeyDisplayName(44), QStringLiteral("Space"));
    EXPECT_EQ(hidKeyDisplayName(45), QStringLiteral("-"));
    EXPECT_EQ(hidKeyDisplayName(73), QStringLiteral("Insert"));
    EXPECT_EQ(hidKeyDisplayName(83), QStringLiteral("Clear"));
    EXPECT_EQ(hidKeyDisplayName(58), QStringLiteral("F1"));
}

TEST(HIDKeyTables, ModifierGlyphsInFixedOrder)
{
    const HIDModifiers all = HIDModifiers::control() | HIDModifiers::shift() | HIDModifiers::option() |
                             HIDModifiers::command();
    EXPECT_EQ(modifierGlyphs(all), QStringLiteral("Ctrl+Alt+Shift+Super+"));
    EXPECT_EQ(modifierGlyphs(HIDModifiers::command() | HIDModifiers::shift()), QStringLiteral("Shift+Super+"));
    // The right-hand keys of the byte's high half are pressed too: each is named.
    EXPECT_EQ(modifierGlyphs(HIDModifiers{0x10}), QStringLiteral("Right Ctrl+"));
    EXPECT_EQ(modifierGlyphs(HIDModifiers{0xF4}),
              QStringLiteral("Alt+Right Ctrl+Right Alt+Right Shift+Right Super+"));
}

TEST(HIDKeyTables, LinuxKeyCodes)
{
    // Each usage is reached from at most one code, so a key never records as another.
    QSet<std::uint16_t> usages;
    for (std::uint16_t usage : evdevKeyTable())
        usages.insert(usage);
    EXPECT_EQ(usages.size(), evdevKeyTable().size());
    // Every key the picker offers can be recorded.
    for (const HIDKeyGroup& group : hidKeyGroups()) {
        for (std::uint16_t usage : group.usages)
            EXPECT_TRUE(usages.contains(usage)) << usage;
    }
    EXPECT_EQ(hidUsageForEvdevCode(30), 4);      // A
    EXPECT_EQ(hidUsageForEvdevCode(44), 29);     // Z
    EXPECT_EQ(hidUsageForEvdevCode(11), 39);     // 0
    EXPECT_EQ(hidUsageForEvdevCode(1), 0x29);    // Escape
    EXPECT_EQ(hidUsageForEvdevCode(99), 0x46);   // Print
    EXPECT_EQ(hidUsageForEvdevCode(111), 0x4C);  // Delete
    EXPECT_EQ(hidUsageForEvdevCode(194), 115);   // F24
    EXPECT_EQ(hidUsageForEvdevCode(125), 0xE3);  // left Super
    EXPECT_FALSE(hidUsageForEvdevCode(140));     // the calculator launch key
    // The native scan code is the XKB key code: 8 above the evdev code.
    EXPECT_EQ(hidUsageForNativeScanCode(38), 4);
    EXPECT_EQ(hidUsageForNativeScanCode(9), 0x29);
    EXPECT_FALSE(hidUsageForNativeScanCode(0));
    EXPECT_FALSE(hidUsageForNativeScanCode(7));
    EXPECT_FALSE(hidUsageForNativeScanCode(0x10008));
}

TEST(HIDKeyTables, KeyGroups)
{
    const auto& groups = hidKeyGroups();
    ASSERT_EQ(groups.size(), 6);
    EXPECT_EQ(groups[0].title, QStringLiteral("Letters"));
    EXPECT_EQ(groups[0].usages.size(), 26);
    EXPECT_EQ(groups[2].usages.size(), 20);
    EXPECT_EQ(groups[2].usages.last(), 111);
    EXPECT_EQ(groups[3].usages, (QList<std::uint16_t>{82, 81, 80, 79, 74, 77, 75, 78}));
    EXPECT_EQ(groups[5].title, QStringLiteral("Punctuation"));
}

TEST(HIDModifiers, SetOperationsKeepUnnamedBits)
{
    HIDModifiers m{0x80};
    m.insert(HIDModifiers::shift());
    EXPECT_EQ(m.rawValue, 0x82);
    EXPECT_TRUE(m.contains(HIDModifiers::shift()));
    EXPECT_FALSE(m.contains(HIDModifiers::shift() | HIDModifiers::command()));
    m.remove(HIDModifiers::shift());
    EXPECT_EQ(m, HIDModifiers{0x80});
    EXPECT_TRUE(HIDModifiers::shift().isSubset(HIDModifiers{0x0A}));
    EXPECT_TRUE(HIDModifiers::shift().isDisjoint(HIDModifiers::command()));
    EXPECT_EQ((HIDModifiers{0x0A} ^ HIDModifiers{0x03}).rawValue, 0x09);
    EXPECT_TRUE(HIDModifiers{}.isEmpty());
}

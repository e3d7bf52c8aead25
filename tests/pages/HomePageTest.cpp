#include "PageOps.h"
#include "device/DeviceIcon.h"
#include "device/MontserratMetrics.h"
#include "pages/HomePage.h"
#include "pages/TopBar.h"

#include <gtest/gtest.h>

namespace {

using namespace DynamicUIDemo;
using namespace PageOps;
using TarvUSB::PatchOp;

const PageIndicator fourPages{4, 0};

MacroButton key(QString label, std::optional<DeviceIcon> icon = std::nullopt, std::optional<QString> emoji = std::nullopt)
{
    MacroButton b;
    b.label = std::move(label);
    b.action = MacroAction::typeText("x");
    b.icon = icon;
    b.emoji = std::move(emoji);
    return b;
}

MacroProfile profileOf(QList<MacroButton> keys)
{
    MacroProfile p = MacroProfile::named("Test");
    p.buttons = std::move(keys);
    return p;
}

TEST(HomePage, DefaultProfileListSizes)
{
    const auto lists = homePageOps(MacroProfile::defaultProfile(), "9:41 AM", fourPages);
    ASSERT_EQ(lists.size(), 3);
    // Prefix 3, time 3, USB icon 3, four dots 8.
    EXPECT_EQ(lists[0].size(), 17);
    // Four keys with icon and label (8 operations each) and two letter keys (5 each).
    EXPECT_EQ(lists[1].size(), 42);
    // Five letter keys; key 11 is unassigned and absent.
    EXPECT_EQ(lists[2].size(), 25);
    EXPECT_FALSE(createOf(lists[2], 211));
    for (const auto& list : lists)
        expectSendable(list);
}

TEST(HomePage, TopBarPutsTheUsbIconAt450)
{
    const QList<PatchOp> ops = topBarOps("9:41 AM", fourPages);
    EXPECT_EQ(createOf(ops, 101), (TarvUSB::PatchOpCreate{101, "label", 100, 0}));
    EXPECT_EQ(textOf(ops, 101), "9:41 AM");
    EXPECT_EQ(intOf(ops, 102, "x"), 450);
    EXPECT_EQ(intOf(ops, 102, "w"), 18);
    EXPECT_EQ(colorOf(ops, 102, "textColor"), 0xFFB020u);
    EXPECT_EQ(textOf(ops, 102), DeviceIcon(DeviceIcon::usb).glyph());
    EXPECT_EQ(createOf(ops, 110), (TarvUSB::PatchOpCreate{110, "cont", 100, 2}));
}

TEST(HomePage, KeysTakeRunningChildIndexesAfterTheDots)
{
    MacroProfile p = MacroProfile::defaultProfile();
    const auto lists = homePageOps(p, "", fourPages);
    EXPECT_EQ(createOf(lists[1], 200)->index, 6);
    EXPECT_EQ(createOf(lists[1], 205)->index, 11);
    EXPECT_EQ(createOf(lists[2], 206)->index, 12);

    p.buttons[1].action = MacroAction::unassigned();
    const auto gap = homePageOps(p, "", fourPages);
    EXPECT_FALSE(createOf(gap[1], 201));
    EXPECT_FALSE(createOf(gap[1], 301));
    EXPECT_EQ(createOf(gap[1], 202)->index, 7);
    EXPECT_EQ(createOf(gap[2], 206)->index, 11);
}

TEST(HomePage, KeyElevenFrame)
{
    QList<MacroButton> keys(12, key("K"));
    const QList<PatchOp> ops = homePageOps(profileOf(keys), "", fourPages)[2];
    QList<TarvUSB::PropEntry> expected = ints({{"x", 362}, {"y", 206}, {"w", 110}, {"h", 77}});
    expected.append(keyStyleProps(false, KeyTint::neutral));
    EXPECT_EQ(propsOf(ops, 211), expected);
}

TEST(HomePage, ActiveAndInactiveKeyColours)
{
    MacroButton b = key("MIC", DeviceIcon::mute);
    b.isActive = true;
    QList<PatchOp> ops = keyGridOps({b}, 0, 6, 2);
    EXPECT_EQ(colorOf(ops, 200, "bg"), 0x2A2008u);
    EXPECT_EQ(colorOf(ops, 200, "borderColor"), 0xFFB020u);
    EXPECT_EQ(intOf(ops, 200, "borderWidth"), 2);
    EXPECT_EQ(colorOf(ops, 300, "textColor"), 0xFFB020u);
    EXPECT_EQ(colorOf(ops, 400, "textColor"), 0xFFB020u);

    b.isActive = false;
    ops = keyGridOps({b}, 0, 6, 2);
    EXPECT_EQ(colorOf(ops, 200, "bg"), 0x15171Au);
    EXPECT_EQ(colorOf(ops, 200, "borderColor"), 0x2A2E34u);
    EXPECT_EQ(intOf(ops, 200, "borderWidth"), 1);
    EXPECT_EQ(colorOf(ops, 300, "textColor"), 0xF2F4F6u);

    b.tint = KeyTint::blue;
    EXPECT_EQ(colorOf(keyGridOps({b}, 0, 6, 2), 300, "textColor"), 0x3B82F6u);
    b.isActive = true;
    EXPECT_EQ(colorOf(keyGridOps({b}, 0, 6, 2), 200, "bg"), 0x0B1A33u);
}

TEST(HomePage, LabelPlacementWithAndWithoutGraphic)
{
    // Plain label: size 18, centred vertically.
    QList<PatchOp> ops = keyGridOps({key("A")}, 0, 6, 2);
    EXPECT_EQ(createOf(ops, 300), (TarvUSB::PatchOpCreate{300, "label", 200, 0}));
    EXPECT_EQ(intOf(ops, 300, "y"), 27);
    EXPECT_EQ(intOf(ops, 300, "fontSize"), 18);
    EXPECT_EQ(intOf(ops, 300, "h"), 21);
    const int w = MontserratMetrics::textWidth(u"A", 18);
    EXPECT_EQ(intOf(ops, 300, "x"), (108 - w) / 2);

    // Icon: a size-24 glyph above a size-14 label.
    ops = keyGridOps({key("VOL+", DeviceIcon::volumeMax)}, 0, 6, 2);
    EXPECT_EQ(createOf(ops, 400), (TarvUSB::PatchOpCreate{400, "label", 200, 0}));
    EXPECT_EQ(intOf(ops, 400, "y"), 14);
    EXPECT_EQ(intOf(ops, 400, "h"), 27);
    EXPECT_EQ(textOf(ops, 400), DeviceIcon(DeviceIcon::volumeMax).glyph());
    EXPECT_EQ(createOf(ops, 300)->index, 1);
    EXPECT_EQ(intOf(ops, 300, "y"), 14 + 27 + 4);
    EXPECT_EQ(intOf(ops, 300, "fontSize"), 14);

    // The emoji wins over the icon.
    ops = keyGridOps({key(QString(), std::nullopt), key("GO", DeviceIcon::play, QStringLiteral("\U0001F680"))}, 0, 6, 2);
    EXPECT_EQ(createOf(ops, 401), (TarvUSB::PatchOpCreate{401, "image", 201, 0}));
    QList<TarvUSB::PropEntry> image = ints({{"x", 40}, {"y", 13}, {"w", 28}, {"h", 28}, {"assetId", 17}});
    EXPECT_EQ(propsOf(ops, 401), image);
    EXPECT_EQ(intOf(ops, 301, "y"), 13 + 28 + 4);
    EXPECT_FALSE(textOf(ops, 401));
}

TEST(HomePage, LabelsAreFoldedAndCutToTwelveCharacters)
{
    QList<PatchOp> ops = keyGridOps({key(QStringLiteral("Caf\u00E9 au lait avec sucre"))}, 0, 6, 2);
    EXPECT_EQ(textOf(ops, 300), "Cafe au lait");
    // An empty label gives no label node: the key is its button alone.
    EXPECT_EQ(keyGridOps({key("")}, 0, 6, 2).size(), 2);
    EXPECT_EQ(keyGridOps({key(QStringLiteral("\u200B"))}, 0, 6, 2).size(), 2);
}

TEST(HomePage, ShortProfilesBuildOnlyTheKeysTheyHave)
{
    const auto three = homePageOps(profileOf({key("A"), key("B"), key("C")}), "", fourPages);
    ASSERT_EQ(three.size(), 3);
    EXPECT_EQ(three[1].size(), 15);
    EXPECT_TRUE(three[2].isEmpty());

    const auto none = homePageOps(profileOf({}), "", fourPages);
    EXPECT_TRUE(none[1].isEmpty());
    EXPECT_TRUE(none[2].isEmpty());

    const auto eight = homePageOps(profileOf(QList<MacroButton>(8, key("K"))), "", fourPages);
    EXPECT_EQ(eight[2].size(), 10);
    EXPECT_EQ(createOf(eight[2], 206)->index, 12);

    const auto thirteen = homePageOps(profileOf(QList<MacroButton>(13, key("K"))), "", fourPages);
    EXPECT_FALSE(createOf(thirteen[2], 212));

    // A range past the end of the keys, or reversed, gives nothing.
    EXPECT_TRUE(keyGridOps({key("A")}, 6, 12, 2).isEmpty());
    EXPECT_TRUE(keyGridOps({key("A")}, 5, 0, 2).isEmpty());
}

TEST(HomePage, WorstCaseKeyListsStillFitOneFrame)
{
    MacroButton wide = key(QStringLiteral("\u4E2D\u6587\u4E2D\u6587\u4E2D\u6587\u4E2D\u6587\u4E2D\u6587\u4E2D\u6587"),
                           DeviceIcon::keyboard);
    QList<MacroButton> keys(12, wide);
    for (MacroButton& b : keys.mid(0, 6))
        b.emoji = QStringLiteral("\U0001F680");
    const auto lists = homePageOps(profileOf(keys), QStringLiteral("12:59 PM"), {20, 10});
    for (const auto& list : lists) {
        EXPECT_LE(list.size(), 64);
        expectSendable(list);
    }
}

TEST(HomePage, KeyStateFrameRestylesButtonLabelAndIcon)
{
    const TarvUSB::Frame frame = keyStateFrame(3, key("VOL-", DeviceIcon::volumeMid), true, 77);
    EXPECT_EQ(frame.q, 77);
    EXPECT_EQ(opsOf(frame),
              (QList<PatchOp>{PatchOp::setProps(203, keyStyleProps(true, KeyTint::neutral)),
                              PatchOp::setProps(303, {{"textColor", TarvUSB::PropValue::color(0xFFB020)}}),
                              PatchOp::setProps(403, {{"textColor", TarvUSB::PropValue::color(0xFFB020)}})}));
    // An emoji image has no text colour; a key without label has no label node.
    EXPECT_EQ(opsOf(keyStateFrame(3, key("", DeviceIcon::play, QStringLiteral("\U0001F680")), false, 1)).size(), 1);
    expectSendable(frame);
}

}  // namespace

// Fitting a notification to the device font and the card, and the card's patch operations.

#include "control/toast/NotificationToast.h"
#include "device/MontserratMetrics.h"
#include "platform/Graphemes.h"

#include <gtest/gtest.h>

using namespace TarvUSB;

namespace {

int width14(const QString& text)
{
    return MontserratMetrics::textWidth(text, 14);
}

std::optional<std::int32_t> intProp(const PatchOp& op, const QString& key)
{
    const auto* set = std::get_if<PatchOp::SetProps>(&op.op);
    if (!set)
        return std::nullopt;
    for (const PropEntry& entry : set->props)
        if (entry.key == key)
            if (const auto* value = std::get_if<std::int32_t>(&entry.value.value))
                return *value;
    return std::nullopt;
}

TEST(NotificationToast, AShortTextTakesOneLineAtEighteen)
{
    const std::optional<NotificationToast> toast = NotificationToast::fromText(QStringLiteral("Build finished"));
    ASSERT_TRUE(toast);
    EXPECT_EQ(*toast, (NotificationToast{{QStringLiteral("Build finished")}, 18}));
}

TEST(NotificationToast, BlanksLineBreaksAndUndrawableCharactersCollapse)
{
    EXPECT_EQ(NotificationToast::cleanText(QStringLiteral("  Build\r\n\n  finished \n now\t ")),
              QStringLiteral("Build finished now"));
    // A control character has no glyph and is dropped even though it is ASCII; what is left
    // around it joins without a blank.
    EXPECT_EQ(NotificationToast::cleanText(QStringLiteral("ab\u0007cd \u0001 ef")), QStringLiteral("abcd ef"));
    // Folding comes first: an accented letter survives as its base letter.
    EXPECT_EQ(NotificationToast::cleanText(QStringLiteral("Caf\u00E9")), QStringLiteral("Cafe"));

    for (const QString& nothing : {QString(), QStringLiteral(" \n\t \r\n "), QStringLiteral("\u0001\u0002 \u0003"),
                                   QStringLiteral("\uE000\uE001")})
        EXPECT_FALSE(NotificationToast::fromText(nothing)) << nothing.toStdString();
}

TEST(NotificationToast, ALongSentenceIsCutAndWrapsIntoTwoLinesEndingInDots)
{
    QString sentence;
    while (sentence.size() < 200)
        sentence += QStringLiteral("The nightly build of every target finished without a warning. ");
    sentence.truncate(200);
    EXPECT_EQ(graphemeCount(NotificationToast::cleanText(sentence)), 120);

    const std::optional<NotificationToast> toast = NotificationToast::fromText(sentence);
    ASSERT_TRUE(toast);
    EXPECT_EQ(toast->fontSize, 14);
    ASSERT_EQ(toast->lines.size(), 2);
    for (const QString& line : toast->lines)
        EXPECT_LE(width14(line), NotificationToast::lineWidth) << line.toStdString();
    EXPECT_TRUE(sentence.startsWith(toast->lines[0] + u' ')) << "the first line breaks between words";
    EXPECT_TRUE(toast->lines[1].endsWith(QStringLiteral("..."))) << toast->lines[1].toStdString();
    // A cut that ends at a blank leaves the blank out.
    EXPECT_EQ(NotificationToast::fitWithSuffix(QStringLiteral("Build done now"), QStringLiteral("..."), 14,
                                               width14(QStringLiteral("Build ..."))),
              QStringLiteral("Build..."));

    // Two lines that fit without the dots keep every word.
    const QString twoLines = QStringLiteral("Deploy to staging finished in four minutes and twelve seconds, all checks green");
    const std::optional<NotificationToast> wrapped = NotificationToast::fromText(twoLines);
    ASSERT_TRUE(wrapped);
    EXPECT_EQ(wrapped->fontSize, 14);
    EXPECT_EQ(wrapped->lines.join(u' '), twoLines);
}

TEST(NotificationToast, AWordWiderThanALineIsSplitAtItsLongestFittingHead)
{
    const QString word = QString(34, u'W');
    ASSERT_GT(width14(word), NotificationToast::lineWidth);
    ASSERT_LE(width14(word), 2 * NotificationToast::lineWidth);
    const std::optional<NotificationToast> toast = NotificationToast::fromText(word + QStringLiteral(" ok"));
    ASSERT_TRUE(toast);
    ASSERT_EQ(toast->lines.size(), 2);
    const QString& head = toast->lines[0];
    EXPECT_LE(width14(head), NotificationToast::lineWidth);
    EXPECT_GT(width14(head + u'W'), NotificationToast::lineWidth) << "the head is the longest that fits";
    EXPECT_EQ(head + toast->lines[1], word + QStringLiteral(" ok"));

    // What is left of a word after its head is cut with dots when it is still too wide.
    const QStringList cut = NotificationToast::wrapWords(QString(100, u'W'), 14, NotificationToast::lineWidth, 2);
    ASSERT_EQ(cut.size(), 2);
    EXPECT_TRUE(cut[1].endsWith(QStringLiteral("...")));
    EXPECT_LE(width14(cut[1]), NotificationToast::lineWidth);

    // A line too narrow for one character still moves on, a character at a time.
    EXPECT_EQ(NotificationToast::wrapWords(QStringLiteral("abc"), 14, 1, 5), (QStringList{"", "", ""}));
}

TEST(NotificationToast, AReplacementRemovesTheOldCardFirstAndCreatesTheNewOneInItsPlace)
{
    const NotificationToast toast{{QStringLiteral("first line"), QStringLiteral("second")}, 14};
    const QList<PatchOp> ops = NotificationToast::patchOps(6, true, toast);
    ASSERT_EQ(ops.size(), 1 + 5 + 2 * 3);
    EXPECT_EQ(ops[0], PatchOp::remove(9000));
    EXPECT_EQ(ops[1], PatchOp::create(9000, QStringLiteral("cont"), 100, 6));
    EXPECT_EQ(intProp(ops[2], QStringLiteral("h")), 60);
    EXPECT_EQ(ops[3], PatchOp::create(9001, QStringLiteral("label"), 9000, 0));
    EXPECT_EQ(ops[6], PatchOp::create(9002, QStringLiteral("label"), 9000, 1));
    EXPECT_EQ(ops[8], PatchOp::setText(9002, QStringLiteral("first line")));
    EXPECT_EQ(ops[9], PatchOp::create(9003, QStringLiteral("label"), 9000, 2));
    EXPECT_EQ(ops[11], PatchOp::setText(9003, QStringLiteral("second")));

    // Both lines lie inside the card's inner height, apart, and centred beside the bell.
    const int lineHeight = MontserratMetrics::fontForSize(14).lineHeight();
    const std::int32_t y0 = intProp(ops[7], QStringLiteral("y")).value_or(-1);
    const std::int32_t y1 = intProp(ops[10], QStringLiteral("y")).value_or(-1);
    EXPECT_GE(y0, 0);
    EXPECT_EQ(y1, y0 + lineHeight + 4);
    EXPECT_LE(y1 + lineHeight, 56);
    const std::int32_t w = intProp(ops[7], QStringLiteral("w")).value_or(-1);
    EXPECT_EQ(w, width14(QStringLiteral("first line")));
    EXPECT_EQ(intProp(ops[7], QStringLiteral("x")), 44 + (372 - w) / 2);

    const QList<PatchOp> first = NotificationToast::patchOps(0, false, NotificationToast{{QStringLiteral("Hi")}, 18});
    ASSERT_EQ(first.size(), 5 + 3);
    EXPECT_EQ(first[0], PatchOp::create(9000, QStringLiteral("cont"), 100, 0));
    EXPECT_EQ(intProp(first[1], QStringLiteral("h")), 44);
    // An over-wide line (only reachable by hand) is held to the line's width.
    const QList<PatchOp> wide = NotificationToast::patchOps(0, false, NotificationToast{{QString(80, u'W')}, 14});
    EXPECT_EQ(intProp(wide[6], QStringLiteral("w")), 372);
    EXPECT_EQ(intProp(wide[6], QStringLiteral("x")), 44);
}

}  // namespace

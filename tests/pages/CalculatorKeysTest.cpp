#include "PageOps.h"
#include "pages/CalculatorKeys.h"

#include <gtest/gtest.h>

namespace {

using namespace DynamicUIDemo;
using namespace PageOps;

TEST(CalculatorKeys, LabelWidthsComeFromTheFixedTablesRoundedUp)
{
    EXPECT_EQ(calculatorLabelWidth(u"AC", 18), 27);   // 13.19 + 13.0
    EXPECT_EQ(calculatorLabelWidth(u"DEL", 18), 38);  // 14.88 + 12.06 + 10.69
    EXPECT_EQ(calculatorLabelWidth(u"+/-", 18), 24);  // 10.5 + 6.31 + 6.88
    EXPECT_EQ(calculatorLabelWidth(u"%", 18), 16);
    EXPECT_EQ(calculatorLabelWidth(u"0", 24), 16);    // exactly 16.0 stays 16
    EXPECT_EQ(calculatorLabelWidth(u"1", 24), 9);
    EXPECT_EQ(calculatorLabelWidth(u"=", 24), 14);
    EXPECT_EQ(calculatorLabelWidth(u"", 24), 0);
    // Not in the table: size × 0.6 per character; one character even when it is several
    // code points.
    EXPECT_EQ(calculatorLabelWidth(u"Q", 24), 15);
    EXPECT_EQ(calculatorLabelWidth(u"e\u0301", 18), 11);
    // Every size other than 18 uses the size-24 table.
    EXPECT_EQ(calculatorLabelWidth(u"0", 14), 16);
}

TEST(CalculatorKeys, FunctionDigitAndOperatorColumns)
{
    const QList<TarvUSB::PatchOp> ops = calculatorKeyOps();
    ASSERT_EQ(ops.size(), 100);
    EXPECT_EQ(ops[0], TarvUSB::PatchOp::create(500, "btn", 100, 3));

    // "AC": function key.
    EXPECT_EQ(intOf(ops, 500, "x"), 9);
    EXPECT_EQ(intOf(ops, 500, "y"), 112);
    EXPECT_EQ(colorOf(ops, 500, "bg"), 0x1E2126u);
    EXPECT_EQ(colorOf(ops, 600, "textColor"), 0x9AA3ADu);
    EXPECT_EQ(intOf(ops, 600, "fontSize"), 18);
    EXPECT_EQ(intOf(ops, 600, "w"), 27);
    EXPECT_EQ(intOf(ops, 600, "x"), (86 - 27) / 2);
    EXPECT_EQ(intOf(ops, 600, "y"), 8);
    EXPECT_EQ(intOf(ops, 600, "h"), 21);

    // "7": digit key.
    EXPECT_EQ(colorOf(ops, 501, "bg"), 0x15171Au);
    EXPECT_EQ(colorOf(ops, 601, "textColor"), 0xF2F4F6u);
    EXPECT_EQ(intOf(ops, 601, "h"), 27);

    // "=" (key 18) is amber with dark text and a thin border; "+" beside it an operator.
    EXPECT_EQ(textOf(ops, 618), "=");
    EXPECT_EQ(colorOf(ops, 518, "bg"), 0xFFB020u);
    EXPECT_EQ(colorOf(ops, 518, "borderColor"), 0xFFB020u);
    EXPECT_EQ(intOf(ops, 518, "borderWidth"), 1);
    EXPECT_EQ(colorOf(ops, 618, "textColor"), 0x0A0B0Cu);
    EXPECT_EQ(textOf(ops, 619), "+");
    EXPECT_EQ(colorOf(ops, 519, "bg"), 0x2A2008u);
    EXPECT_EQ(colorOf(ops, 519, "borderColor"), 0xFFB020u);
    EXPECT_EQ(intOf(ops, 519, "borderWidth"), 2);
    EXPECT_EQ(intOf(ops, 519, "x"), 9 + 94 * 4);
    EXPECT_EQ(intOf(ops, 519, "y"), 112 + 46 * 3);
    EXPECT_EQ(createOf(ops, 519)->index, 22);
}

TEST(CalculatorKeys, TheTwoHalvesGoAsFramesOfFifty)
{
    const QList<TarvUSB::PatchOp> ops = calculatorKeyOps();
    expectSendable(ops.mid(0, 50));
    expectSendable(ops.mid(50));
    EXPECT_EQ(calculatorKeyLabels().size(), 20);
}

}  // namespace

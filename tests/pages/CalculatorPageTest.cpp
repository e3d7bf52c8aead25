#include "PageOps.h"
#include "pages/CalculatorPage.h"

#include <gtest/gtest.h>

namespace {

using namespace DynamicUIDemo;
using namespace PageOps;
using TarvUSB::PatchOp;

TEST(CalculatorPage, PanelTopBarAndDots)
{
    CalculatorState state;
    for (const char* key : {"1", "2", "+", "3", "="})
        state.pressKey(QString::fromLatin1(key));
    const QList<PatchOp> ops = calculatorPageOps(state, "9:41 AM", {4, 2});
    EXPECT_EQ(ops[3], PatchOp::create(400, "cont", 100, 0));
    EXPECT_EQ(keysOf(ops, 400), (QStringList{"x", "y", "w", "h", "bg", "borderColor", "borderWidth", "radius"}));
    EXPECT_EQ(createOf(ops, 401), (TarvUSB::PatchOpCreate{401, "label", 400, 0}));
    EXPECT_EQ(textOf(ops, 401), "12 + 3 =");
    EXPECT_EQ(colorOf(ops, 401, "textColor"), 0x6B747Eu);
    EXPECT_EQ(textOf(ops, 402), "15");
    EXPECT_EQ(intOf(ops, 402, "fontSize"), 34);
    EXPECT_EQ(intOf(ops, 402, "h"), 40);
    EXPECT_EQ(createOf(ops, 405)->index, 1);
    EXPECT_EQ(createOf(ops, 406)->index, 2);
    EXPECT_EQ(textOf(ops, 405), "9:41 AM");
    EXPECT_EQ(createOf(ops, 480)->index, 3);
    EXPECT_EQ(createOf(ops, 483)->index, 6);
    // Prefix 3, panel 2, two texts 6, top bar 6, four dots 8.
    EXPECT_EQ(ops.size(), 25);
    expectSendable(ops);
}

TEST(CalculatorPage, LongTextsShowTheirFirstTwelveCharacters)
{
    CalculatorState state;
    state.display = "0.3333333333333";
    state.expression = "Cannot divide by 0";
    const QList<PatchOp> ops = calculatorPageOps(state, "", {4, 2});
    EXPECT_EQ(textOf(ops, 402), "0.3333333333");
    EXPECT_EQ(textOf(ops, 401), "Cannot divid");
}

}  // namespace

#include "pages/CalculatorState.h"
#include "pages/DecimalPrinter.h"
#include "support/Bytes.h"

#include <gtest/gtest.h>

#include <QStringList>

using Op = CalculatorState::Operation;

namespace {

// Presses the space-separated keys in order.
void press(CalculatorState& s, const QString& keys)
{
    for (const QString& key : keys.split(u' ', Qt::SkipEmptyParts))
        s.pressKey(key);
}

CalculatorState after(const QString& keys)
{
    CalculatorState s;
    press(s, keys);
    return s;
}

Decimal num(const char* text)
{
    return Decimal::parse(text).value_or(Decimal::notANumber());
}

// Multiplies by 999999999999 fourteen times: the product outgrows the decimal range, so the
// display shows "Error" without the error state.
CalculatorState overflowed()
{
    CalculatorState s;
    for (int i = 0; i < 14; ++i)
        press(s, QStringLiteral("9 9 9 9 9 9 9 9 9 9 9 9 x"));
    return s;
}

TEST(CalculatorState, EqualsShowsResultAndExpression)
{
    const CalculatorState s = after("1 2 + 3 =");
    EXPECT_EQ(s.display, "15");
    EXPECT_EQ(s.expression, "12 + 3 =");
    EXPECT_EQ(s.accumulator, num("15"));
    EXPECT_FALSE(s.pendingOperation);
    EXPECT_TRUE(s.startsNewNumber);

    // With nothing pending "=" changes nothing, also right after a result.
    EXPECT_EQ(after("1 2 + 3 = ="), s);
    EXPECT_EQ(after("7 ="), after("7"));
    EXPECT_EQ(after("1 2 + 3 AC"), CalculatorState{});
}

TEST(CalculatorState, ChainsLeftToRightWithoutPrecedence)
{
    CalculatorState s = after("1 + 2 +");
    EXPECT_EQ(s.display, "3");
    EXPECT_EQ(s.expression, "3 +");
    EXPECT_EQ(s.pendingOperation, Op::add);
    press(s, "4 =");
    EXPECT_EQ(s.display, "7");
    EXPECT_EQ(s.expression, "3 + 4 =");

    EXPECT_EQ(after("2 + 3 x 4 =").display, "20");
    EXPECT_EQ(after("0 . 1 + 0 . 2 =").display, "0.3");
    // A result goes on as the left operand.
    EXPECT_EQ(after("2 x 3 = + 1 =").display, "7");
}

TEST(CalculatorState, SecondOperationKeyOnlyReplacesTheFirst)
{
    const CalculatorState s = after("5 + - x");
    EXPECT_EQ(s.expression, "5 x");
    EXPECT_EQ(s.accumulator, num("5"));
    EXPECT_EQ(after("5 + - 2 =").display, "3");
    EXPECT_EQ(after("5 + - 2 =").expression, "5 - 2 =");
}

TEST(CalculatorState, DivisionByZeroIsAnErrorClearedByTheNextKey)
{
    CalculatorState s = after("5 / 0 =");
    EXPECT_EQ(s.display, "Error");
    EXPECT_EQ(s.expression, "Cannot divide by 0");
    EXPECT_TRUE(s.hasError);
    EXPECT_FALSE(s.accumulator);
    EXPECT_FALSE(s.pendingOperation);

    press(s, "7");
    EXPECT_EQ(s.display, "7");
    EXPECT_EQ(s.expression, "");
    EXPECT_FALSE(s.hasError);

    // Chained, the failing operation ends the key; "AC" clears the error alone.
    EXPECT_EQ(after("5 / 0 +").expression, "Cannot divide by 0");
    EXPECT_EQ(after("5 / 0 = AC"), CalculatorState{});
    // Every other key, even one that means nothing, clears first and then takes effect.
    EXPECT_EQ(after("5 / 0 = +").expression, "0 +");
    EXPECT_EQ(after("5 / 0 = DEL").display, "0");
    EXPECT_EQ(after("5 / 0 = +/-").display, "0");
    EXPECT_EQ(after("5 / 0 = foo"), CalculatorState{});
    EXPECT_EQ(after("0 / 0 =").display, "Error");
}

TEST(CalculatorState, DivisionKeepsExactValueBehindRoundedDisplay)
{
    EXPECT_EQ(after("1 / 3 =").display, "0.33333333");
    EXPECT_EQ(after("2 / 3 =").display, "0.66666667");
    const CalculatorState s = after("1 / 3 x 3 =");
    EXPECT_EQ(s.expression, "0.33333333 x 3 =");
    EXPECT_EQ(s.display, "1");
}

TEST(CalculatorState, TwentyOneDigitProductIsExact)
{
    const CalculatorState s = after("1 2 3 4 5 6 7 8 9 0 1 2 x 9 8 7 6 5 4 3 2 1 =");
    EXPECT_EQ(s.display, "121932631124487120852");
    EXPECT_EQ(s.accumulator, num("121932631124487120852"));
    // A long result stays whole in the display; the next digit replaces it.
    EXPECT_EQ(after("9 9 9 9 9 9 9 9 9 9 9 9 x 9 9 9 9 9 9 9 9 9 9 9 9 =").display,
              "999999999998000000000001");
    EXPECT_EQ(after("9 9 9 9 9 9 9 9 9 9 9 9 x 9 9 9 9 9 9 9 9 9 9 9 9 = 4").display, "4");
}

TEST(CalculatorState, TypingStopsAtTwelveCharacters)
{
    EXPECT_EQ(after("1 2 3 4 5 6 7 8 9 0 1 2 3").display, "123456789012");
    EXPECT_EQ(after("1 2 3 4 5 6 7 8 9 0 1 2 .").display, "123456789012");
    EXPECT_EQ(after("1 2 3 4 5 6 7 8 9 0 1 . 5").display, "12345678901.");
    EXPECT_EQ(after("0 0 0 7").display, "7");
}

TEST(CalculatorState, DecimalPoint)
{
    EXPECT_EQ(after(".").display, "0.");
    EXPECT_EQ(after("1 . 5 . 2").display, "1.52");
    EXPECT_EQ(after("1 + 2 = .").display, "0.");
    EXPECT_EQ(after("1 + .").display, "0.");
}

TEST(CalculatorState, DeleteEditsOnlyTheNumberBeingTyped)
{
    EXPECT_EQ(after("1 2 3 DEL").display, "12");
    EXPECT_EQ(after("7 DEL").display, "0");
    EXPECT_EQ(after("5 +/- DEL").display, "0");
    EXPECT_EQ(after("DEL").display, "0");

    // A result waiting for the second operand is left alone ...
    const CalculatorState waiting = after("1 2 +");
    EXPECT_EQ(after("1 2 + DEL"), waiting);
    // ... but a final result can be edited like a typed number.
    CalculatorState s = after("1 2 + 3 = DEL");
    EXPECT_EQ(s.display, "1");
    EXPECT_FALSE(s.startsNewNumber);
    press(s, "9");
    EXPECT_EQ(s.display, "19");
}

TEST(CalculatorState, SignChange)
{
    EXPECT_EQ(after("+/-").display, "0");
    EXPECT_EQ(after("2 . 5 +/-").display, "-2.5");
    EXPECT_EQ(after("0 . +/-").display, "-0.");
    EXPECT_EQ(after("5 +/- + 3 =").expression, "-5 + 3 =");
    // It leaves startsNewNumber alone: a digit after a negated result starts anew.
    EXPECT_EQ(after("1 + 2 = +/-").display, "-3");
    EXPECT_EQ(after("1 + 2 = +/- 4").display, "4");
}

TEST(CalculatorState, Percent)
{
    EXPECT_EQ(after("5 0 %").display, "0.5");
    EXPECT_EQ(after("1 % 2").display, "2");
    EXPECT_EQ(after("2 0 0 + 5 % =").display, "200.05");
    // A tiny negative result rounds to a zero without a sign.
    EXPECT_EQ(after("0 . 0 0 0 0 0 0 4 +/- %").display, "0");
}

TEST(CalculatorState, OtherKeysChangeNothing)
{
    const CalculatorState s = after("1 2 + 3");
    for (const char16_t* key : {u"", u"10", u"*", u"\u0663", u"\u00BD", u"ac", u"=="}) {
        CalculatorState t = s;
        t.pressKey(key);
        EXPECT_EQ(t, s);
    }
}

TEST(CalculatorState, OverflowShowsErrorWithoutErrorState)
{
    CalculatorState s = overflowed();
    EXPECT_EQ(s.display, "Error");
    EXPECT_EQ(s.expression, "Error x");
    EXPECT_FALSE(s.hasError);
    EXPECT_TRUE(s.startsNewNumber);
    ASSERT_TRUE(s.accumulator);
    EXPECT_TRUE(s.accumulator->isNaN());

    // Keys that need the display's number do nothing.
    CalculatorState t = s;
    press(t, "% +");
    EXPECT_EQ(t, s);

    press(s, "5 =");
    EXPECT_EQ(s.display, "Error");
    EXPECT_EQ(s.expression, "Error x 5 =");
}

// The display of a failed result is no number: editing keys start from a cleared display
// rather than from the text "Error".
TEST(CalculatorState, EditingKeysNeverEditTheWordError)
{
    CalculatorState equalsError;
    for (int i = 0; i < 13; ++i)
        press(equalsError, QStringLiteral("9 9 9 9 9 9 9 9 9 9 9 9 x"));
    press(equalsError, QStringLiteral("9 9 9 9 9 9 9 9 9 9 9 9 ="));
    ASSERT_EQ(equalsError.display, "Error");
    ASSERT_FALSE(equalsError.pendingOperation);

    CalculatorState s = equalsError;
    press(s, "DEL");
    EXPECT_EQ(s.display, "0");
    press(s, "5");
    EXPECT_EQ(s.display, "5");

    s = equalsError;
    press(s, "+/-");
    EXPECT_EQ(s.display, "0");
    press(s, "DEL 5 6");
    EXPECT_EQ(s.display, "56");

    s = equalsError;
    press(s, ".");
    EXPECT_EQ(s.display, "0.");

    // With an operation pending, DEL on the cleared display has nothing to delete.
    s = overflowed();
    press(s, "DEL");
    EXPECT_EQ(s.display, "0");
    EXPECT_TRUE(s.startsNewNumber);
    press(s, "+/- 7");
    EXPECT_EQ(s.display, "7");
}

}  // namespace

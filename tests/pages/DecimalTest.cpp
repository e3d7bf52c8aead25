#include "pages/Decimal.h"
#include "pages/DecimalPrinter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace {

Decimal num(const std::string& text)
{
    const std::optional<Decimal> d = Decimal::parse(text);
    EXPECT_TRUE(d.has_value()) << text;
    return d.value_or(Decimal::notANumber());
}

std::string str(const Decimal& d)
{
    return d.toString();
}

const std::string nines38(38, '9');

TEST(Decimal, ParsesPlainDecimalTextOnly)
{
    EXPECT_EQ(str(num("007")), "7");
    EXPECT_EQ(str(num("-2.50")), "-2.5");
    EXPECT_EQ(str(num("0.")), "0");
    EXPECT_EQ(str(num("-0")), "0");
    EXPECT_FALSE(num("-0").isNegative());
    EXPECT_EQ(str(num("0.0000000001")), "0.0000000001");
    for (const char* bad : {"", "-", ".", "-.", "1.2.3", "1e5", " 1", "1 ", "1,5", "+1", "--1", "Error",
                            "0x10", "\xd9\xa3"}) {
        EXPECT_FALSE(Decimal::parse(bad).has_value()) << bad;
    }
}

TEST(Decimal, EqualValuesCompareEqualWhateverTheirSpelling)
{
    EXPECT_EQ(num("1.50"), num("1.5"));
    EXPECT_EQ(num("100"), Decimal::fromInteger(100));
    EXPECT_EQ(num("0.000"), Decimal{});
    EXPECT_NE(num("1.5"), num("-1.5"));
    EXPECT_EQ(Decimal::notANumber(), Decimal::notANumber());
    EXPECT_EQ(str(Decimal::fromInteger(std::numeric_limits<std::int64_t>::min())),
              "-9223372036854775808");
}

TEST(Decimal, ArithmeticIsExactWithinThirtyEightDigits)
{
    EXPECT_EQ(num("0.1") + num("0.2"), num("0.3"));
    EXPECT_EQ(str(num("123456789012") * num("987654321")), "121932631124487120852");
    EXPECT_EQ(str(num("1000000000000000000") + num("0.0000000000000000001")),
              "1000000000000000000.0000000000000000001");
    EXPECT_EQ(str(num(nines38) + num("1")), "1" + std::string(38, '0'));
    EXPECT_EQ(str(num("3") - num("5")), "-2");
    EXPECT_EQ(str(num("-2.5") * num("4")), "-10");
    EXPECT_EQ(str(num("1") / num("8")), "0.125");
    EXPECT_EQ(str(num("-7") / num("0.5")), "-14");
    // A difference that cancels out is an unsigned zero.
    EXPECT_EQ(str(num("-1.25") + num("1.25")), "0");
    EXPECT_FALSE((num("-1.25") + num("1.25")).isNegative());
    EXPECT_EQ(str(num("0") / num("-3")), "0");
}

TEST(Decimal, RoundsToThirtyEightDigitsHalfAwayFromZero)
{
    EXPECT_EQ(str(num("123456789012345678901234567890123456785")),
              "123456789012345678901234567890123456790");
    EXPECT_EQ(str(num("123456789012345678901234567890123456784")),
              "123456789012345678901234567890123456780");
    EXPECT_EQ(str(num("-123456789012345678901234567890123456785")),
              "-123456789012345678901234567890123456790");
    // Rounding up carries into a 39th digit.
    EXPECT_EQ(str(num(nines38 + ".5")), "1" + std::string(38, '0'));
    EXPECT_EQ(str(num("1000000000000000000") + num("0.00000000000000000001")), "1000000000000000000");
    EXPECT_EQ(str(num("1") / num("3")), "0." + std::string(38, '3'));
    EXPECT_EQ(str(num("2") / num("3")), "0." + std::string(37, '6') + "7");
    EXPECT_EQ(str(num("7") / num("-11")), "-0.63636363636363636363636363636363636364");
    EXPECT_EQ(str(num("1") / num(nines38)), "0." + std::string(37, '0') + "1");
}

TEST(Decimal, OverflowIsNotANumberAndStaysSo)
{
    const std::string largest = nines38 + std::string(127, '0');
    EXPECT_EQ(str(num(largest)), largest);
    EXPECT_EQ(str(num("1" + std::string(130, '0'))), "1" + std::string(130, '0'));
    EXPECT_TRUE((num(largest) + num("1" + std::string(127, '0'))).isNaN());
    EXPECT_TRUE((num(largest) * num("10")).isNaN());
    EXPECT_TRUE((num(largest) / num("0.1")).isNaN());
    EXPECT_TRUE((num("5") / Decimal{}).isNaN());
    EXPECT_FALSE((num(largest) * num("0.1")).isNaN());
    EXPECT_FALSE(Decimal::parse("1" + std::string(200, '0')).has_value());

    const Decimal nan = Decimal::notANumber();
    EXPECT_TRUE((nan + num("1")).isNaN());
    EXPECT_TRUE((num("1") * nan).isNaN());
    EXPECT_TRUE((-nan).isNaN());
    EXPECT_FALSE(nan.isZero());
    EXPECT_EQ(str(nan), "NaN");
    EXPECT_FALSE(nan.formatted(8).has_value());
}

TEST(Decimal, UnderflowLosesTrailingDigitsDownToZero)
{
    const std::string tiny = "0." + std::string(127, '0') + "1";  // 10^-128
    EXPECT_EQ(str(num(tiny)), tiny);
    EXPECT_EQ(str(num(tiny) * num("0.1")), "0");
    EXPECT_EQ(str(num("0." + std::string(127, '0') + "5") * num("0.1")), tiny);
    EXPECT_EQ(str(num(tiny) / num("3")), "0");
    EXPECT_EQ(str(num("0." + std::string(126, '0') + "1") / num("4")), "0." + std::string(127, '0') + "3");
    EXPECT_EQ(str(num("0." + std::string(200, '0') + "1")), "0");
}

TEST(Decimal, FormatsWithBoundedFractionRoundedHalfToEven)
{
    EXPECT_EQ(num("0.125").formatted(2), "0.12");
    EXPECT_EQ(num("0.135").formatted(2), "0.14");
    EXPECT_EQ(num("0.1251").formatted(2), "0.13");
    EXPECT_EQ(num("2.5").formatted(0), "2");
    EXPECT_EQ(num("3.5").formatted(0), "4");
    EXPECT_EQ(num("-3.5").formatted(0), "-4");
    EXPECT_EQ(num("0.000000005").formatted(8), "0");
    EXPECT_EQ(num("0.000000015").formatted(8), "0.00000002");
    EXPECT_EQ(num("0.0000000051").formatted(8), "0.00000001");
    EXPECT_EQ(num("0.999999999").formatted(8), "1");
    // A negative value that rounds to zero shows no sign.
    EXPECT_EQ(num("-0.000000004").formatted(8), "0");
    EXPECT_EQ(num("1.10").formatted(8), "1.1");
    EXPECT_EQ(num("-1234567.5").formatted(8), "-1234567.5");
    EXPECT_EQ(num("0.00001").formatted(8), "0.00001");
    EXPECT_EQ(num("1" + std::string(130, '0')).formatted(8), "1" + std::string(130, '0'));
}

}  // namespace

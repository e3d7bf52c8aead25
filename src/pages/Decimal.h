#pragma once
// Exact base-10 numbers for the calculator: a mantissa of at most 38 decimal digits with a
// decimal exponent, so that 0.1 + 0.2 is 0.3 and a 21-digit product keeps every digit.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class Decimal {
public:
    static constexpr int maxDigits = 38;
    static constexpr int minExponent = -128;
    static constexpr int maxExponent = 127;

    // Zero.
    Decimal() = default;

    static Decimal fromInteger(std::int64_t value);
    // The result of an overflow or of a division by zero; every operation on it gives it again.
    static Decimal notANumber();

    // Plain decimal text: an optional "-", digits with at most one ".", at least one digit;
    // no grouping, no exponent, no spaces. More than 38 significant digits are rounded.
    // Text that is not a number, or a number out of range, gives nothing.
    static std::optional<Decimal> parse(std::string_view text);

    bool isNaN() const { return m_nan; }
    bool isZero() const { return !m_nan && m_mantissa == 0; }
    bool isNegative() const { return m_negative; }

    // Results are rounded to 38 significant digits, halves away from zero. A result beyond
    // the largest exponent is not a number; one below the smallest loses its last digits
    // and may become zero.
    friend Decimal operator+(const Decimal& a, const Decimal& b);
    friend Decimal operator-(const Decimal& a, const Decimal& b);
    friend Decimal operator*(const Decimal& a, const Decimal& b);
    // Division by zero is not a number.
    friend Decimal operator/(const Decimal& a, const Decimal& b);
    Decimal operator-() const;

    // The value with at most maxFractionDigits fraction digits, rounded half to even, without
    // trailing fraction zeros or grouping; zero has no sign. Nothing for not a number.
    std::optional<std::string> formatted(int maxFractionDigits) const;
    // Every digit of the value; "NaN" for not a number.
    std::string toString() const;

    // Values are kept in one canonical form, so equal numbers compare equal (1.50 == 1.5).
    friend bool operator==(const Decimal&, const Decimal&) = default;

private:
    unsigned __int128 m_mantissa = 0;
    int m_exponent = 0;
    bool m_negative = false;
    bool m_nan = false;

    friend struct DecimalBuilder;
};

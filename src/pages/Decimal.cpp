#include "pages/Decimal.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace {

using u128 = unsigned __int128;

// The exact intermediate values of an operation, which may run far past 38 digits (an
// addition of numbers 255 places apart). Decimal digits, least significant first, without
// leading zeros: the empty list is zero. Plain digits keep the rounding rules readable.
using Digits = std::vector<std::uint8_t>;

enum class Rounding { halfAwayFromZero, halfEven };

void trim(Digits& d)
{
    while (!d.empty() && d.back() == 0)
        d.pop_back();
}

Digits digitsOf(u128 v)
{
    Digits d;
    while (v != 0) {
        d.push_back(std::uint8_t(v % 10));
        v /= 10;
    }
    return d;
}

// Only for at most 38 digits, which always fit.
u128 valueOf(const Digits& d)
{
    u128 v = 0;
    for (auto it = d.rbegin(); it != d.rend(); ++it)
        v = v * 10 + *it;
    return v;
}

// d × 10^places.
Digits shifted(const Digits& d, long places)
{
    if (d.empty() || places <= 0)
        return d;
    Digits r(std::size_t(places), 0);
    r.insert(r.end(), d.begin(), d.end());
    return r;
}

int compare(const Digits& a, const Digits& b)
{
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    for (std::size_t i = a.size(); i-- > 0;) {
        if (a[i] != b[i])
            return a[i] < b[i] ? -1 : 1;
    }
    return 0;
}

Digits add(const Digits& a, const Digits& b)
{
    Digits r;
    const std::size_t n = std::max(a.size(), b.size());
    r.reserve(n + 1);
    int carry = 0;
    for (std::size_t i = 0; i < n || carry != 0; ++i) {
        const int s = carry + (i < a.size() ? a[i] : 0) + (i < b.size() ? b[i] : 0);
        r.push_back(std::uint8_t(s % 10));
        carry = s / 10;
    }
    return r;
}

// a − b, for a ≥ b.
Digits subtract(const Digits& a, const Digits& b)
{
    Digits r = a;
    int borrow = 0;
    for (std::size_t i = 0; i < r.size(); ++i) {
        int s = r[i] - borrow - (i < b.size() ? b[i] : 0);
        borrow = s < 0 ? 1 : 0;
        if (s < 0)
            s += 10;
        r[i] = std::uint8_t(s);
    }
    trim(r);
    return r;
}

Digits multiply(const Digits& a, const Digits& b)
{
    if (a.empty() || b.empty())
        return {};
    std::vector<int> sums(a.size() + b.size(), 0);
    for (std::size_t i = 0; i < a.size(); ++i) {
        for (std::size_t j = 0; j < b.size(); ++j)
            sums[i + j] += a[i] * b[j];
    }
    Digits r;
    r.reserve(sums.size());
    int carry = 0;
    for (const int s : sums) {
        const int v = s + carry;
        r.push_back(std::uint8_t(v % 10));
        carry = v / 10;
    }
    trim(r);
    return r;
}

// The quotient of a ÷ b (b non-zero) and whether a remainder is left over.
std::pair<Digits, bool> divide(const Digits& a, const Digits& b)
{
    Digits q(a.size(), 0);
    Digits r;
    for (std::size_t i = a.size(); i-- > 0;) {
        r.insert(r.begin(), a[i]);
        trim(r);
        std::uint8_t digit = 0;
        while (compare(r, b) >= 0) {
            r = subtract(r, b);
            ++digit;
        }
        q[i] = digit;
    }
    trim(q);
    return {q, !r.empty()};
}

// d ÷ 10^drop rounded to an integer. `sticky` says that non-zero digits below d were already
// cut off, which turns an exact half into more than half.
Digits roundedOff(const Digits& d, std::size_t drop, Rounding mode, bool sticky)
{
    if (drop == 0)
        return d;
    // Every dropped digit of the value sits below a leading zero: less than half.
    if (drop > d.size())
        return {};
    const std::uint8_t first = d[drop - 1];
    const bool rest = sticky || std::any_of(d.begin(), d.begin() + long(drop - 1),
                                            [](std::uint8_t x) { return x != 0; });
    Digits kept(d.begin() + long(drop), d.end());
    const bool lastIsOdd = !kept.empty() && kept.front() % 2 == 1;
    const bool up = mode == Rounding::halfAwayFromZero
        ? first >= 5
        : first > 5 || (first == 5 && (rest || lastIsOdd));
    return up ? add(kept, Digits{1}) : kept;
}

}  // namespace

// Turns an exact value (−1)^negative × digits × 10^exponent into the canonical Decimal.
struct DecimalBuilder {
    static Decimal make(bool negative, Digits d, long exponent, bool sticky = false)
    {
        std::size_t drop = 0;
        if (d.size() > std::size_t(Decimal::maxDigits))
            drop = d.size() - std::size_t(Decimal::maxDigits);
        if (exponent + long(drop) < Decimal::minExponent)
            drop = std::size_t(Decimal::minExponent - exponent);
        if (drop > 0) {
            d = roundedOff(d, drop, Rounding::halfAwayFromZero, sticky);
            exponent += long(drop);
            // 99…9 rounded up became 10^38: one digit too many, and that digit is a zero.
            if (d.size() > std::size_t(Decimal::maxDigits)) {
                d.erase(d.begin());
                ++exponent;
            }
        }
        if (d.empty())
            return Decimal{};
        // Canonical form: the largest exponent that still holds the value.
        while (exponent < Decimal::maxExponent && d.front() == 0) {
            d.erase(d.begin());
            ++exponent;
        }
        while (exponent > Decimal::maxExponent && d.size() < std::size_t(Decimal::maxDigits)) {
            d.insert(d.begin(), 0);
            --exponent;
        }
        if (exponent > Decimal::maxExponent)
            return Decimal::notANumber();
        Decimal r;
        r.m_mantissa = valueOf(d);
        r.m_exponent = int(exponent);
        r.m_negative = negative;
        return r;
    }
};

Decimal Decimal::fromInteger(std::int64_t value)
{
    const std::uint64_t magnitude = value < 0 ? 0 - std::uint64_t(value) : std::uint64_t(value);
    return DecimalBuilder::make(value < 0, digitsOf(magnitude), 0);
}

Decimal Decimal::notANumber()
{
    Decimal r;
    r.m_nan = true;
    return r;
}

std::optional<Decimal> Decimal::parse(std::string_view text)
{
    bool negative = false;
    if (!text.empty() && text.front() == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    Digits d;
    d.reserve(text.size());
    bool seenPoint = false;
    long fractionDigits = 0;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            d.push_back(std::uint8_t(c - '0'));
            if (seenPoint)
                ++fractionDigits;
        } else if (c == '.' && !seenPoint) {
            seenPoint = true;
        } else {
            return std::nullopt;
        }
    }
    if (d.empty())
        return std::nullopt;
    std::reverse(d.begin(), d.end());
    trim(d);
    const Decimal r = DecimalBuilder::make(negative, std::move(d), -fractionDigits);
    if (r.isNaN())
        return std::nullopt;
    return r;
}

Decimal operator+(const Decimal& a, const Decimal& b)
{
    if (a.m_nan || b.m_nan)
        return Decimal::notANumber();
    const long e = std::min(a.m_exponent, b.m_exponent);
    const Digits da = shifted(digitsOf(a.m_mantissa), a.m_exponent - e);
    const Digits db = shifted(digitsOf(b.m_mantissa), b.m_exponent - e);
    if (a.m_negative == b.m_negative)
        return DecimalBuilder::make(a.m_negative, add(da, db), e);
    const int c = compare(da, db);
    if (c == 0)
        return Decimal{};
    return c > 0 ? DecimalBuilder::make(a.m_negative, subtract(da, db), e)
                 : DecimalBuilder::make(b.m_negative, subtract(db, da), e);
}

Decimal operator-(const Decimal& a, const Decimal& b)
{
    return a + -b;
}

Decimal Decimal::operator-() const
{
    Decimal r = *this;
    if (!m_nan && m_mantissa != 0)
        r.m_negative = !m_negative;
    return r;
}

Decimal operator*(const Decimal& a, const Decimal& b)
{
    if (a.m_nan || b.m_nan)
        return Decimal::notANumber();
    return DecimalBuilder::make(a.m_negative != b.m_negative,
                                multiply(digitsOf(a.m_mantissa), digitsOf(b.m_mantissa)),
                                long(a.m_exponent) + b.m_exponent);
}

Decimal operator/(const Decimal& a, const Decimal& b)
{
    if (a.m_nan || b.m_nan || b.isZero())
        return Decimal::notANumber();
    if (a.isZero())
        return Decimal{};
    const Digits da = digitsOf(a.m_mantissa);
    const Digits db = digitsOf(b.m_mantissa);
    // Scale the dividend so that the quotient has at least one digit more than is kept;
    // the remainder then only matters as a sticky bit.
    const long scale = std::max(0L, long(Decimal::maxDigits) + 1 + long(db.size()) - long(da.size()));
    auto [quotient, inexact] = divide(shifted(da, scale), db);
    return DecimalBuilder::make(a.m_negative != b.m_negative, std::move(quotient),
                                long(a.m_exponent) - b.m_exponent - scale, inexact);
}

std::optional<std::string> Decimal::formatted(int maxFractionDigits) const
{
    if (m_nan)
        return std::nullopt;
    const long maxFraction = std::max(0, maxFractionDigits);
    Digits d = digitsOf(m_mantissa);
    long e = m_exponent;
    if (e < -maxFraction) {
        d = roundedOff(d, std::size_t(-maxFraction - e), Rounding::halfEven, false);
        e = -maxFraction;
    }
    while (e < 0 && !d.empty() && d.front() == 0) {
        d.erase(d.begin());
        ++e;
    }
    if (d.empty())
        return std::string("0");

    std::string digits;
    digits.reserve(d.size());
    for (auto it = d.rbegin(); it != d.rend(); ++it)
        digits.push_back(char('0' + *it));

    std::string s;
    if (m_negative)
        s.push_back('-');
    if (e >= 0) {
        s += digits;
        s.append(std::size_t(e), '0');
        return s;
    }
    const long integerDigits = long(digits.size()) + e;
    if (integerDigits <= 0) {
        s += "0.";
        s.append(std::size_t(-integerDigits), '0');
        s += digits;
    } else {
        s.append(digits, 0, std::size_t(integerDigits));
        s.push_back('.');
        s.append(digits, std::size_t(integerDigits));
    }
    return s;
}

std::string Decimal::toString() const
{
    return formatted(-minExponent).value_or("NaN");
}

#include "Decimal.h"

#include <cstring>

namespace decimal {

const char kHexDigits[33] = "0123456789abcdef0123456789ABCDEF";

namespace {

// Digits from the last place up, then at least `minDigits` of them copied out.
std::size_t WriteRadix(char* out, std::uint64_t value, int minDigits, unsigned radix, const char* digits)
{
    char text[kMostPadding];
    const int least = minDigits < 1 ? 1 : minDigits > kMostPadding ? kMostPadding : minDigits;
    int first = kMostPadding;
    do {
        text[--first] = digits[value % radix];
        value /= radix;
    } while (value != 0);
    while (kMostPadding - first < least)
        text[--first] = '0';
    const auto length = static_cast<std::size_t>(kMostPadding - first);
    std::memcpy(out, text + first, length);
    return length;
}

// A finite double's magnitude is M × 2^E with M below 2^53: the integer M << E
// when E >= 0, else M × 5^-E / 10^-E, an integer and a point -E digits from its
// right. Either integer has at most 767 decimal digits (M × 5^1074 for the
// smallest subnormal), so every digit is exact and rounding sees the whole value.
constexpr std::size_t kExactRoom = 780;

struct Exact {
    char digits[kExactRoom];  // most significant first, no leading zero; "0" for zero
    int count;
    int fraction;  // how many of the digits lie after the point
};

// An unsigned integer of up to 84 limbs of 32 bits, least significant first.
class Big {
public:
    explicit Big(std::uint64_t value)
    {
        m_limbs[0] = static_cast<std::uint32_t>(value);
        m_limbs[1] = static_cast<std::uint32_t>(value >> 32);
        m_size = m_limbs[1] != 0 ? 2 : m_limbs[0] != 0 ? 1 : 0;
    }
    bool Zero() const { return m_size == 0; }
    void Multiply(std::uint32_t factor)
    {
        std::uint64_t carry = 0;
        for (int i = 0; i < m_size; ++i) {
            const std::uint64_t product = static_cast<std::uint64_t>(m_limbs[i]) * factor + carry;
            m_limbs[i] = static_cast<std::uint32_t>(product);
            carry = product >> 32;
        }
        if (carry != 0)
            m_limbs[m_size++] = static_cast<std::uint32_t>(carry);
    }
    void ShiftLeft(int bits)
    {
        const int words = bits / 32;
        const int rest = bits % 32;
        m_limbs[m_size] = 0;
        for (int i = m_size; i >= 0; --i) {
            const std::uint32_t high = m_limbs[i] << rest;
            const std::uint32_t low = rest != 0 && i > 0 ? m_limbs[i - 1] >> (32 - rest) : 0;
            m_limbs[i + words] = high | low;
        }
        for (int i = 0; i < words; ++i)
            m_limbs[i] = 0;
        m_size += words + 1;
        Trim();
    }
    // Divides in place; returns the remainder.
    std::uint32_t Divide(std::uint32_t divisor)
    {
        std::uint64_t remainder = 0;
        for (int i = m_size - 1; i >= 0; --i) {
            const std::uint64_t part = (remainder << 32) | m_limbs[i];
            m_limbs[i] = static_cast<std::uint32_t>(part / divisor);
            remainder = part % divisor;
        }
        Trim();
        return static_cast<std::uint32_t>(remainder);
    }

private:
    void Trim()
    {
        while (m_size > 0 && m_limbs[m_size - 1] == 0)
            --m_size;
    }

    std::uint32_t m_limbs[84];
    int m_size;
};

void ExactDigits(double magnitude, Exact& exact)
{
    std::uint64_t bits;
    std::memcpy(&bits, &magnitude, sizeof bits);
    const int biased = static_cast<int>((bits >> 52) & 0x7FF);
    std::uint64_t mantissa = bits & ((std::uint64_t{1} << 52) - 1);
    int exponent = -1074;
    if (biased != 0) {
        mantissa |= std::uint64_t{1} << 52;
        exponent = biased - 1075;
    }
    exact.fraction = 0;
    if (mantissa == 0) {
        exact.digits[0] = '0';
        exact.count = 1;
        return;
    }
    while ((mantissa & 1) == 0 && exponent < 0) {
        mantissa >>= 1;
        ++exponent;
    }
    Big number(mantissa);
    if (exponent >= 0) {
        number.ShiftLeft(exponent);
    } else {
        exact.fraction = -exponent;
        int fives = -exponent;
        for (; fives >= 13; fives -= 13)
            number.Multiply(1220703125);  // 5^13
        std::uint32_t factor = 1;
        for (; fives > 0; --fives)
            factor *= 5;
        number.Multiply(factor);
    }
    // Nine digits at a time from the last place up.
    std::size_t first = kExactRoom;
    while (!number.Zero()) {
        std::uint32_t chunk = number.Divide(1000000000);
        for (int i = 0; i < 9; ++i, chunk /= 10)
            exact.digits[--first] = static_cast<char>('0' + chunk % 10);
    }
    while (exact.digits[first] == '0')
        ++first;
    exact.count = static_cast<int>(kExactRoom - first);
    std::memmove(exact.digits, exact.digits + first, static_cast<std::size_t>(exact.count));
}

// The exact digits rounded to their first `keep` (ties to even), as an integer
// without leading zeros ("0" at least); fewer digits than `keep` are filled up
// with zeros. `out` has room for keep + 1 digits, and 1 at least.
int Round(const Exact& exact, int keep, char* out)
{
    if (keep <= 0) {
        // Nothing kept: the value rounds to 1 only when above half the unit.
        bool up = false;
        if (keep == 0 && exact.digits[0] >= '5') {
            up = exact.digits[0] > '5';
            for (int i = 1; i < exact.count && !up; ++i)
                up = exact.digits[i] != '0';
        }
        out[0] = up ? '1' : '0';
        return 1;
    }
    out[0] = '0';  // room for a carry
    const int taken = keep < exact.count ? keep : exact.count;
    std::memcpy(out + 1, exact.digits, static_cast<std::size_t>(taken));
    for (int i = taken; i < keep; ++i)
        out[1 + i] = '0';
    if (keep < exact.count) {
        const char dropped = exact.digits[keep];
        bool up = dropped > '5';
        if (dropped == '5') {
            for (int i = keep + 1; i < exact.count && !up; ++i)
                up = exact.digits[i] != '0';
            up = up || (exact.digits[keep - 1] - '0') % 2 == 1;
        }
        for (int i = keep; up && i >= 0; --i) {
            up = out[i] == '9';
            out[i] = up ? '0' : static_cast<char>(out[i] + 1);
        }
    }
    int first = 0;
    while (first < keep && out[first] == '0')
        ++first;
    const int length = keep + 1 - first;
    std::memmove(out, out + first, static_cast<std::size_t>(length));
    return length;
}

bool Finite(double value)
{
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return ((bits >> 52) & 0x7FF) != 0x7FF;
}

bool Negative(double value)
{
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return (bits >> 63) != 0;
}

// `digits` (an integer) × 10^-decimals in fixed notation.
std::size_t WritePoint(char* out, const char* digits, int length, int decimals)
{
    std::size_t at = 0;
    const int whole = length - decimals;
    if (whole <= 0) {
        out[at++] = '0';
    } else {
        std::memcpy(out, digits, static_cast<std::size_t>(whole));
        at += static_cast<std::size_t>(whole);
    }
    if (decimals == 0)
        return at;
    out[at++] = '.';
    for (int i = whole; i < 0; ++i)
        out[at++] = '0';
    const int from = whole > 0 ? whole : 0;
    std::memcpy(out + at, digits + from, static_cast<std::size_t>(length - from));
    return at + static_cast<std::size_t>(length - from);
}

}  // namespace

std::size_t WriteUnsigned(char* out, std::uint64_t value, int minDigits)
{
    return WriteRadix(out, value, minDigits, 10, kHexDigits);
}

std::size_t WriteSigned(char* out, std::int64_t value)
{
    // From the magnitude as unsigned, so that the smallest value has one.
    if (value >= 0)
        return WriteUnsigned(out, static_cast<std::uint64_t>(value));
    out[0] = '-';
    return 1 + WriteUnsigned(out + 1, 0 - static_cast<std::uint64_t>(value));
}

std::size_t WriteHex(char* out, std::uint64_t value, int minDigits, bool upper)
{
    return WriteRadix(out, value, minDigits, 16, upper ? kHexDigits + 16 : kHexDigits);
}

std::size_t WriteFixed(char* out, double value, int decimals)
{
    if (!Finite(value))
        return 0;
    decimals = decimals < 0 ? 0 : decimals > kMostDecimals ? kMostDecimals : decimals;
    static_assert(kFixedRoom >= 1 + 309 + 1 + kMostDecimals, "sign, integer digits, point, decimals");
    Exact exact;
    ExactDigits(Negative(value) ? -value : value, exact);
    char rounded[kExactRoom + kMostDecimals + 2];
    const int length = Round(exact, exact.count - exact.fraction + decimals, rounded);
    std::size_t at = 0;
    if (Negative(value))
        out[at++] = '-';
    return at + WritePoint(out + at, rounded, length, decimals);
}

std::size_t WriteGeneral(char* out, double value, int precision)
{
    if (!Finite(value))
        return 0;
    precision = precision < 1 ? 1 : precision > kMostDecimals + 1 ? kMostDecimals + 1 : precision;
    std::size_t at = 0;
    if (Negative(value))
        out[at++] = '-';
    if (value == 0) {
        out[at++] = '0';
        return at;
    }
    Exact exact;
    ExactDigits(Negative(value) ? -value : value, exact);
    char rounded[kMostDecimals + 3];
    int exponent = exact.count - 1 - exact.fraction;  // of the leading digit
    if (Round(exact, precision, rounded) > precision)
        ++exponent;  // 9.99… became 10.0…: the digits are 1 and zeros, one too many
    // The significant digits without trailing zeros.
    int length = precision;
    while (length > 1 && rounded[length - 1] == '0')
        --length;
    if (exponent < -4 || exponent >= precision) {
        out[at++] = rounded[0];
        if (length > 1) {
            out[at++] = '.';
            std::memcpy(out + at, rounded + 1, static_cast<std::size_t>(length - 1));
            at += static_cast<std::size_t>(length - 1);
        }
        out[at++] = 'e';
        out[at++] = exponent < 0 ? '-' : '+';
        return at + WriteUnsigned(out + at, static_cast<std::uint64_t>(exponent < 0 ? -exponent : exponent), 2);
    }
    // Fixed: the digits × 10^-(length - 1 - exponent), never fewer decimals than 0.
    const int decimals = length - 1 - exponent;
    if (decimals >= 0)
        return at + WritePoint(out + at, rounded, length, decimals);
    std::memcpy(out + at, rounded, static_cast<std::size_t>(length));
    at += static_cast<std::size_t>(length);
    for (int i = decimals; i < 0; ++i)
        out[at++] = '0';
    return at;
}

}  // namespace decimal

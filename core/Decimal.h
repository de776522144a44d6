// Numbers as text, written by the program's own code: every digit, sign and
// decimal point Zantor writes comes from here, so none of them depends on the C
// runtime's locale, which a library sharing the runtime may change under us.
// Each writer fills `out` (room as stated, no NUL) and returns the length.
#pragma once

#include <cstddef>
#include <cstdint>

namespace decimal {

// The most decimals a fixed number is written with: beyond them a double has
// no digits of its own.
constexpr int kMostDecimals = 17;
// Room for any integer writer: 20 digits, or a sign and 19, or 16 hex digits;
// with padding, up to kMostPadding digits.
constexpr int kMostPadding = 32;
constexpr std::size_t kIntegerRoom = kMostPadding;
// The hex digits, lower case then upper case: the one table every hex writer uses.
extern const char kHexDigits[33];
// Room for any fixed number: a sign, the 309 integer digits of the largest
// double, the point and kMostDecimals.
constexpr std::size_t kFixedRoom = 1 + 309 + 1 + kMostDecimals;
// Room for any general number (significant digits, at most kMostDecimals + 1).
constexpr std::size_t kGeneralRoom = 32;

// `value` in decimal, at least `minDigits` digits (zeros in front; at most
// kMostPadding).
std::size_t WriteUnsigned(char* out, std::uint64_t value, int minDigits = 1);
// `value` in decimal, a minus sign when negative.
std::size_t WriteSigned(char* out, std::int64_t value);
// `value` in hexadecimal without a prefix, at least `minDigits` digits (at most
// kMostPadding); upper-case letters or lower-case.
std::size_t WriteHex(char* out, std::uint64_t value, int minDigits, bool upper = true);

// `value` in fixed notation with `decimals` digits after the point (none and no
// point for 0; clamped to 0..kMostDecimals), correctly rounded from the double's
// exact value, ties to even, as "-0.5" with a minus sign whenever the double has
// one. Refuses NaN and the infinities: returns 0 and writes nothing. Room:
// kFixedRoom.
std::size_t WriteFixed(char* out, double value, int decimals);

// `value` with `precision` significant digits (0 is taken as 1; clamped to
// kMostDecimals + 1), in fixed notation when its decimal exponent lies from -4
// to below `precision`, else as "1.5e+12"; trailing zeros and a bare point
// dropped (the rules of C's "%g"). Refuses NaN and the infinities (returns 0).
// Room: kGeneralRoom.
std::size_t WriteGeneral(char* out, double value, int precision);

// What ReadLeading found: the value (held to the range asked for), where the
// reading stopped, whether there were digits, and whether the number lay outside
// the range (the value is then the range's nearer end).
template <class Char>
struct Reading {
    std::int64_t value = 0;
    const Char* end = nullptr;
    bool digits = false;
    bool outOfRange = false;
};

// The one decimal reader of options and boxes: an optional sign and the digits
// at the start of `text` (nothing skipped before them), read up to the first
// character that is no digit, however many digits there are (the magnitude stops
// growing once past the range). `least` <= 0 <= `most`.
template <class Char>
Reading<Char> ReadLeading(const Char* text, std::int64_t least, std::int64_t most)
{
    Reading<Char> reading;
    const bool negative = *text == Char('-');
    if (*text == Char('-') || *text == Char('+'))
        ++text;
    const std::uint64_t limit = negative ? static_cast<std::uint64_t>(-(least + 1)) + 1 : static_cast<std::uint64_t>(most);
    std::uint64_t magnitude = 0;
    for (; *text >= Char('0') && *text <= Char('9'); ++text) {
        reading.digits = true;
        const auto digit = static_cast<std::uint64_t>(*text - Char('0'));
        if (reading.outOfRange || magnitude > (limit - (digit <= limit ? digit : limit)) / 10 ||
            magnitude * 10 + digit > limit) {
            magnitude = limit;
            reading.outOfRange = true;
        } else {
            magnitude = magnitude * 10 + digit;
        }
    }
    reading.end = text;
    reading.value = negative ? -static_cast<std::int64_t>(magnitude - 1) - 1 : static_cast<std::int64_t>(magnitude);
    if (negative && magnitude == 0)
        reading.value = 0;
    return reading;
}

}  // namespace decimal

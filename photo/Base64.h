// Base64 decoding of the card photo text.
#pragma once

#include <cstdint>

// Capacity of every decode output buffer, and the largest result produced.
constexpr std::uint32_t kMaxDecodedSize = 102400;

// The 6-bit value of `c` in the standard alphabet (A-Z, a-z, 0-9, "+", "/");
// 255 for every other byte, "=" included.
std::uint8_t Base64CharValue(unsigned char c);

// The most that DecodeBase64 writes for a text of `length` bytes: three bytes
// for every four characters, and never more than kMaxDecodedSize.
constexpr std::uint32_t DecodedCapacity(std::uint32_t length)
{
    return length / 4 < kMaxDecodedSize / 3 ? length / 4 * 3 : kMaxDecodedSize;
}

// Decodes the first `length` bytes of `text` into `output` (at least
// DecodedCapacity(length) bytes) and returns the number of bytes written.
// Returns 0 without writing when the text is empty, its length is not a
// multiple of 4, it ends in more than two "=", or the result would exceed
// kMaxDecodedSize. Only the shape is checked: any byte outside the alphabet,
// including an "=" before the final padding run, decodes with the value 255.
// Writes nothing past the returned size. Runs at the best vector level the
// processor has (Base64Levels.h), with the same result at every level.
std::uint32_t DecodeBase64(std::uint32_t length, const char* text, unsigned char* output);

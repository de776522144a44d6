// A plain base64 decoder that follows the byte formulas one group at a time, with
// its value table built from the alphabet string: the yardstick for the fast
// decoder in the unit tests and the fuzzer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// The 6-bit value of `c`; 255 outside the alphabet ("=" included).
inline std::uint8_t ReferenceCharValue(unsigned char c)
{
    static const std::array<std::uint8_t, 256> values = [] {
        static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        std::array<std::uint8_t, 256> table;
        table.fill(255);
        for (std::uint8_t i = 0; i < 64; ++i) table[static_cast<unsigned char>(alphabet[i])] = i;
        return table;
    }();
    return values[c];
}

// The decoded bytes; empty when the text is refused (or empty): a length that is
// not a multiple of 4, more than two "=" at the end, or more than `maxSize` bytes.
inline std::vector<unsigned char> ReferenceDecode(const unsigned char* text, std::size_t length,
                                                  std::size_t maxSize = 102400)
{
    if (length == 0 || length % 4 != 0) return {};
    std::size_t padding = 0;
    while (padding < length && text[length - 1 - padding] == '=') ++padding;
    if (padding > 2) return {};
    const std::size_t size = length / 4 * 3 - padding;
    if (size > maxSize) return {};

    std::vector<unsigned char> out;
    out.reserve(length / 4 * 3);
    for (std::size_t i = 0; i < length; i += 4) {
        const std::uint8_t d0 = ReferenceCharValue(text[i]);
        const std::uint8_t d1 = ReferenceCharValue(text[i + 1]);
        const std::uint8_t d2 = ReferenceCharValue(text[i + 2]);
        const std::uint8_t d3 = ReferenceCharValue(text[i + 3]);
        out.push_back(static_cast<std::uint8_t>(static_cast<std::uint8_t>(d0 << 2) | ((d1 >> 4) & 0x03)));
        out.push_back(static_cast<std::uint8_t>(static_cast<std::uint8_t>(d1 << 4) | ((d2 >> 2) & 0x0F)));
        out.push_back(static_cast<std::uint8_t>(static_cast<std::uint8_t>(d2 << 6) | d3));
    }
    out.resize(size);  // the last group's bytes that the padding leaves out
    return out;
}

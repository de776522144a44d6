// libFuzzer target: the decoder at every level this processor has (scalar, ssse3,
// avx2) against a plain reference decoder, on any bytes (the input is the text),
// and nothing written in the 64 bytes past the size it reports. Texts near the
// size limit, and writes further out, are the unit tests' (tests/photo/
// Base64Test.cpp), which check the whole buffer against a slower, table-free
// reference: a text of 136 thousand characters costs the fuzzer a hundred times
// a short one.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "Base64.h"
#include "Base64Levels.h"

namespace {

constexpr unsigned char kUntouched = 0xA5;
constexpr std::size_t kWindow = 64;

// The 6-bit value of every byte; 255 outside the alphabet.
std::array<std::uint8_t, 256> MakeValues()
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::array<std::uint8_t, 256> values;
    values.fill(255);
    for (std::uint8_t i = 0; i < 64; ++i) values[static_cast<unsigned char>(alphabet[i])] = i;
    return values;
}
const std::array<std::uint8_t, 256> kValues = MakeValues();

// The byte formulas one group at a time, every group in full; returns the size
// (the last group's bytes that the padding leaves out are not part of it), or 0
// when refused. `out` holds 3 bytes for every 4 characters.
std::size_t ReferenceDecode(const unsigned char* text, std::size_t length, unsigned char* out)
{
    if (length == 0 || length % 4 != 0) return 0;
    std::size_t padding = 0;
    while (padding < 3 && text[length - 1 - padding] == '=') ++padding;
    if (padding > 2) return 0;
    const std::size_t size = length / 4 * 3 - padding;
    if (size > kMaxDecodedSize) return 0;
    for (const unsigned char* end = text + length; text != end; text += 4, out += 3) {
        const unsigned d0 = kValues[text[0]], d1 = kValues[text[1]], d2 = kValues[text[2]], d3 = kValues[text[3]];
        out[0] = static_cast<unsigned char>(d0 << 2 | (d1 >> 4 & 3));
        out[1] = static_cast<unsigned char>(d1 << 4 | (d2 >> 2 & 15));
        out[2] = static_cast<unsigned char>(d2 << 6 | d3);
    }
    return size;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* text, std::size_t length)
{
    static std::vector<unsigned char> expected;
    expected.resize(length / 4 * 3);
    const std::size_t want = ReferenceDecode(text, length, expected.data());

    // Only the window past each result is checked, and only the result reset.
    static std::vector<unsigned char> output(kMaxDecodedSize + kWindow, kUntouched);
    for (const DecodeLevel level : kDecodeLevels) {
        if (!DecodeLevelAvailable(level)) continue;
        const std::uint32_t got = DecodeBase64At(level, static_cast<std::uint32_t>(length),
                                                 reinterpret_cast<const char*>(text), output.data());
        if (got != want) __builtin_trap();
        if (got != 0 && std::memcmp(output.data(), expected.data(), got) != 0) __builtin_trap();
        for (std::size_t i = got; i < got + kWindow; ++i)
            if (output[i] != kUntouched) __builtin_trap();
        std::memset(output.data(), kUntouched, got);
    }
    return 0;
}

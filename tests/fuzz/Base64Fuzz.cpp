// libFuzzer target: the decoder at every level this processor has (scalar, ssse3,
// avx2) against a plain reference decoder, on any bytes (the input is the text),
// and nothing written in the 64 bytes past the size it reports. Texts near the
// size limit, and writes further out, are the unit tests' (tests/photo/
// Base64Test.cpp), against the same reference (tests/photo/ReferenceBase64.h): a
// text of 136 thousand characters costs the fuzzer a hundred times a short one.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "Base64.h"
#include "Base64Levels.h"
#include "ReferenceBase64.h"

namespace {

constexpr unsigned char kUntouched = 0xA5;
constexpr std::size_t kWindow = 64;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* text, std::size_t length)
{
    const std::vector<unsigned char> expected = ReferenceDecode(text, length, kMaxDecodedSize);
    const std::size_t want = expected.size();

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

// The decoder's instruction-set levels, for tests, the benchmark and the fuzzer.
// DecodeBase64 (Base64.h) uses the best level the processor has, chosen once.
#pragma once

#include <cstdint>

enum class DecodeLevel : std::uint8_t {
    Scalar,  // the table decoder, every group one at a time
    Ssse3,   // blocks of 16 characters with SSSE3, the rest by the table decoder
    Avx2,    // blocks of 32 characters with AVX2, then SSSE3 blocks, then the table decoder
};

constexpr DecodeLevel kDecodeLevels[] = {DecodeLevel::Scalar, DecodeLevel::Ssse3, DecodeLevel::Avx2};

// "scalar", "ssse3" or "avx2".
const char* DecodeLevelName(DecodeLevel level);

// Whether this processor (and its operating system, for AVX2's registers) runs
// the level. Scalar is always available; the vector levels only on x86.
bool DecodeLevelAvailable(DecodeLevel level);

// The highest available level: what DecodeBase64 uses.
DecodeLevel BestDecodeLevel();

// DecodeBase64 at `level`; a level the processor lacks is lowered to the best
// available one. Same results, to the byte, at every level.
std::uint32_t DecodeBase64At(DecodeLevel level, std::uint32_t length, const char* text, unsigned char* output);

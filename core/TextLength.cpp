#include "TextLength.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__) || (defined(__i386__) && defined(_WIN32))
#include <emmintrin.h>
#define ZANTOR_LENGTH_SSE2 1
#ifndef __SSE2__
#include <windows.h>
#endif
#endif

namespace {

using Word = std::uintptr_t;
constexpr Word kOnes = ~Word{0} / 0xFF;  // 0x0101...01
constexpr Word kHighs = kOnes << 7;      // 0x8080...80

// Non-zero exactly when some byte of `word` is zero.
constexpr Word ZeroByteIn(Word word)
{
    return (word - kOnes) & ~word & kHighs;
}

#ifdef ZANTOR_LENGTH_SSE2
// Skips the whole blocks of 64 bytes from `at` that hold no NUL, reading
// nothing past `capacity`, where the processor has SSE2 (every x86-64, nearly
// every 32-bit one); returns where the scan stopped.
#ifdef __SSE2__
inline std::size_t SkipBlocks(const char* text, std::size_t at, std::size_t capacity)
{
#else
__attribute__((target("sse2"), noinline)) std::size_t SkipBlocks(const char* text, std::size_t at,
                                                                 std::size_t capacity)
{
    // SSE2 is part of every x86-64 target; a 32-bit one asks the system.
    if (!IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE)) return at;
#endif
    constexpr std::size_t kBlock = 64;
    const __m128i zero = _mm_setzero_si128();
    for (; capacity - at >= kBlock; at += kBlock) {
        const char* block = text + at;
        const __m128i a = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block)), zero);
        const __m128i b = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16)), zero);
        const __m128i c = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 32)), zero);
        const __m128i d = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 48)), zero);
        if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d))) != 0) break;
    }
    return at;
}
#endif

}  // namespace

std::size_t BoundedLength(const char* text, std::size_t capacity)
{
    // Word-at-a-time rather than memchr: some C runtimes (Wine's among them)
    // scan byte by byte, and the photo text is 100 KB. Words and blocks are
    // read only where they lie wholly inside the buffer.
    std::size_t at = 0;
    while (at < capacity && reinterpret_cast<std::uintptr_t>(text + at) % sizeof(Word) != 0) {
        if (text[at] == '\0') return at;
        ++at;
    }
#ifdef ZANTOR_LENGTH_SSE2
    // 64 bytes a round: a fraction of the words' time on the photo text.
    at = SkipBlocks(text, at, capacity);
#endif
    // Four words a round: one test for all of them keeps the loop short.
    constexpr std::size_t kRound = 4 * sizeof(Word);
    for (; capacity - at >= kRound; at += kRound) {
        Word words[4];
        std::memcpy(words, text + at, kRound);
        if ((ZeroByteIn(words[0]) | ZeroByteIn(words[1]) | ZeroByteIn(words[2]) | ZeroByteIn(words[3])) != 0)
            break;
    }
    for (; at < capacity; ++at) {
        if (text[at] == '\0') return at;
    }
    return capacity;
}

// The vector block decoders (SSSE3: 16 characters a block, AVX2: 32). Each is
// compiled for its instruction set by a target attribute, not by global flags,
// and is called only when the processor has it (Base64.cpp asks cpuid).
//
// A block is classified and translated with byte shuffles (the range
// classification of W. Muła and D. Lemire): for a byte with high nibble h and
// low nibble l, kLo[l] & kHi[h] is non-zero exactly when the byte is outside the
// alphabet, and adding kRoll[h], or kRoll[1] for "/", gives its 6-bit value.
// pmaddubsw and pmaddwd then join four 6-bit values into 24 bits, and a shuffle
// packs each 16 characters' 12 bytes together. A block holding any byte outside
// the alphabet, "=" included, is decoded again by the exact table decoder.
//
// Values are kept in registers (nothing is spilled to the stack, for which GCC
// for Windows cannot rely on 32-byte alignment), text and output are moved with
// unaligned loads and stores, and only the static table of constants, aligned
// to 32, is read with aligned loads (which legacy SSE code can fold into its
// instructions).
#include "Base64Blocks.h"

#if defined(ZANTOR_BASE64_X86)

#include <immintrin.h>

#include <cstdint>

#define ZANTOR_SSSE3 __attribute__((target("ssse3")))
#define ZANTOR_AVX2 __attribute__((target("avx2")))
#define ZANTOR_INLINE inline __attribute__((always_inline))

namespace {

using base64_blocks::DecodeGroupsTable;

// The shuffle tables and multipliers, 32 bytes each (both 128-bit lanes alike).
enum Constant { kMask2F, kLutLo, kLutHi, kLutRoll, kPairs, kTriples, kPack, kConstants };
#define ZANTOR_LANE(...) __VA_ARGS__, __VA_ARGS__
alignas(32) constexpr signed char kTable[kConstants][32] = {
    {ZANTOR_LANE(0x2F, 0x2F, 0x2F, 0x2F, 0x2F, 0x2F, 0x2F, 0x2F, 0x2F, 0x2F, 0x2F, 0x2F, 0x2F, 0x2F, 0x2F, 0x2F)},
    {ZANTOR_LANE(0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x13, 0x1A, 0x1B, 0x1B, 0x1B, 0x1A)},
    {ZANTOR_LANE(0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10)},
    {ZANTOR_LANE(0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0)},
    {ZANTOR_LANE(0x40, 0x01, 0x40, 0x01, 0x40, 0x01, 0x40, 0x01, 0x40, 0x01, 0x40, 0x01, 0x40, 0x01, 0x40, 0x01)},
    {ZANTOR_LANE(0x00, 0x10, 0x01, 0x00, 0x00, 0x10, 0x01, 0x00, 0x00, 0x10, 0x01, 0x00, 0x00, 0x10, 0x01, 0x00)},
    {ZANTOR_LANE(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1)},
};
#undef ZANTOR_LANE

// Where vector registers are few (32-bit x86: eight), the constants are read
// from the table at every block rather than held in registers, which the
// compiler would otherwise do by spilling them to the stack: hiding the table's
// address from the optimiser at each block keeps the loads where they are. With
// sixteen registers they stay in registers.
#if defined(__i386__)
#define ZANTOR_FRESH(table) __asm__("" : "+r"(table))
#else
#define ZANTOR_FRESH(table) (void)(table)
#endif
// A value made to be in a register at this point, on every target: the loaded
// characters (else re-read for each use) and the running check of the blocks
// (else the compiler keeps every block's partial result until the last block).
#define ZANTOR_SETTLE(value) __asm__("" : "+x"(value))

using Table = const signed char (*)[32];

// ---- SSSE3: 16 characters (4 groups) give 12 bytes; each block stores 16.

constexpr std::size_t kSsse3Groups = 4;
constexpr std::size_t kSsse3Store = 16;

ZANTOR_SSSE3 ZANTOR_INLINE __m128i Load128(Table t, Constant c)
{
    return _mm_load_si128(reinterpret_cast<const __m128i*>(t[c]));  // a static table: aligned
}

// The 12 bytes of 16 characters, in the low 12 of the result; ORs into `bad`
// a non-zero byte for each character outside the alphabet.
ZANTOR_SSSE3 ZANTOR_INLINE __m128i BlockSsse3(Table t, __m128i mask2F, const unsigned char* in, __m128i& bad)
{
    ZANTOR_FRESH(t);
    __m128i chars = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    ZANTOR_SETTLE(chars);
    // Bit 7 of every index is cleared, so no shuffle lane reads as zero.
    const __m128i hiNibbles = _mm_and_si128(_mm_srli_epi32(chars, 4), mask2F);
    const __m128i loNibbles = _mm_and_si128(chars, mask2F);
    const __m128i hi = _mm_shuffle_epi8(Load128(t, kLutHi), hiNibbles);
    const __m128i lo = _mm_shuffle_epi8(Load128(t, kLutLo), loNibbles);
    bad = _mm_or_si128(bad, _mm_and_si128(lo, hi));
    ZANTOR_SETTLE(bad);
    const __m128i isSlash = _mm_cmpeq_epi8(chars, mask2F);
    const __m128i roll = _mm_shuffle_epi8(Load128(t, kLutRoll), _mm_add_epi8(isSlash, hiNibbles));
    const __m128i values = _mm_add_epi8(chars, roll);
    const __m128i pairs = _mm_maddubs_epi16(values, Load128(t, kPairs));  // v0 << 6 | v1
    const __m128i triples = _mm_madd_epi16(pairs, Load128(t, kTriples));  // 24 bits a group
    return _mm_shuffle_epi8(triples, Load128(t, kPack));
}

ZANTOR_SSSE3 ZANTOR_INLINE bool AnySet(__m128i bad)
{
    return _mm_movemask_epi8(_mm_cmpeq_epi8(bad, _mm_setzero_si128())) != 0xFFFF;
}

// `blocks` blocks one at a time, each checked before it is stored.
ZANTOR_SSSE3 __attribute__((noinline)) void CheckedBlocksSsse3(const unsigned char* in, std::size_t blocks,
                                                               unsigned char* out)
{
    for (std::size_t b = 0; b < blocks; ++b, in += 4 * kSsse3Groups, out += 3 * kSsse3Groups) {
        __m128i bad = _mm_setzero_si128();
        Table t = kTable;
        ZANTOR_FRESH(t);  // rare blocks: every constant read where it is used
        const __m128i bytes = BlockSsse3(t, Load128(t, kMask2F), in, bad);
        if (AnySet(bad))
            DecodeGroupsTable(in, kSsse3Groups, out);
        else
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
    }
}

// ---- AVX2: 32 characters (8 groups) give 24 bytes, 12 in each 128-bit lane;
// the lanes are stored at out and out + 12, so a block's stores reach 28 bytes.

constexpr std::size_t kAvx2Groups = 8;
constexpr std::size_t kAvx2Store = 28;

ZANTOR_AVX2 ZANTOR_INLINE __m256i Load256(Table t, Constant c)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(t[c]));
}

ZANTOR_AVX2 ZANTOR_INLINE __m256i BlockAvx2(Table t, __m256i mask2F, const unsigned char* in, __m256i& bad)
{
    ZANTOR_FRESH(t);
    __m256i chars = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
    ZANTOR_SETTLE(chars);
    const __m256i hiNibbles = _mm256_and_si256(_mm256_srli_epi32(chars, 4), mask2F);
    const __m256i loNibbles = _mm256_and_si256(chars, mask2F);
    const __m256i hi = _mm256_shuffle_epi8(Load256(t, kLutHi), hiNibbles);
    const __m256i lo = _mm256_shuffle_epi8(Load256(t, kLutLo), loNibbles);
    bad = _mm256_or_si256(bad, _mm256_and_si256(lo, hi));
    ZANTOR_SETTLE(bad);
    const __m256i isSlash = _mm256_cmpeq_epi8(chars, mask2F);
    const __m256i roll = _mm256_shuffle_epi8(Load256(t, kLutRoll), _mm256_add_epi8(isSlash, hiNibbles));
    const __m256i values = _mm256_add_epi8(chars, roll);
    const __m256i pairs = _mm256_maddubs_epi16(values, Load256(t, kPairs));
    const __m256i triples = _mm256_madd_epi16(pairs, Load256(t, kTriples));
    return _mm256_shuffle_epi8(triples, Load256(t, kPack));
}

ZANTOR_AVX2 ZANTOR_INLINE void StoreAvx2(unsigned char* out, __m256i bytes)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(bytes));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 12), _mm256_extracti128_si256(bytes, 1));
}

ZANTOR_AVX2 __attribute__((noinline)) void CheckedBlocksAvx2(const unsigned char* in, std::size_t blocks,
                                                             unsigned char* out)
{
    for (std::size_t b = 0; b < blocks; ++b, in += 4 * kAvx2Groups, out += 3 * kAvx2Groups) {
        __m256i bad = _mm256_setzero_si256();
        Table t = kTable;
        ZANTOR_FRESH(t);  // rare blocks: every constant read where it is used
        const __m256i bytes = BlockAvx2(t, Load256(t, kMask2F), in, bad);
        if (!_mm256_testz_si256(bad, bad))
            DecodeGroupsTable(in, kAvx2Groups, out);
        else
            StoreAvx2(out, bytes);
    }
}

} // namespace

// Both decoders run four blocks at a time with one check for the four: they are
// stored as they come, and when the check finds a byte outside the alphabet the
// four are done again one by one, in order, each checked before it is stored
// (the table decoder's fourth byte of a group is overwritten by what follows).
// The loop conditions keep every store within `room`.

ZANTOR_SSSE3 std::size_t base64_blocks::DecodeBlocksSsse3(const unsigned char* in, std::size_t groups,
                                                          std::size_t room, unsigned char* out)
{
    constexpr std::size_t kUnroll = 4;
    const __m128i mask2F = Load128(kTable, kMask2F);
    std::size_t g = 0;
    while (g + kUnroll * kSsse3Groups <= groups && 3 * (g + (kUnroll - 1) * kSsse3Groups) + kSsse3Store <= room) {
        __m128i bad = _mm_setzero_si128();
#pragma GCC unroll 4
        for (std::size_t k = 0; k < kUnroll; ++k) {
            const std::size_t at = g + k * kSsse3Groups;
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * at), BlockSsse3(kTable, mask2F, in + 4 * at, bad));
        }
        if (AnySet(bad)) CheckedBlocksSsse3(in + 4 * g, kUnroll, out + 3 * g);
        g += kUnroll * kSsse3Groups;
    }
    while (g + kSsse3Groups <= groups && 3 * g + kSsse3Store <= room) {
        CheckedBlocksSsse3(in + 4 * g, 1, out + 3 * g);
        g += kSsse3Groups;
    }
    return g;
}

ZANTOR_AVX2 std::size_t base64_blocks::DecodeBlocksAvx2(const unsigned char* in, std::size_t groups, std::size_t room,
                                                        unsigned char* out)
{
    constexpr std::size_t kUnroll = 4;
    const __m256i mask2F = Load256(kTable, kMask2F);
    std::size_t g = 0;
    while (g + kUnroll * kAvx2Groups <= groups && 3 * (g + (kUnroll - 1) * kAvx2Groups) + kAvx2Store <= room) {
        __m256i bad = _mm256_setzero_si256();
#pragma GCC unroll 4
        for (std::size_t k = 0; k < kUnroll; ++k) {
            const std::size_t at = g + k * kAvx2Groups;
            StoreAvx2(out + 3 * at, BlockAvx2(kTable, mask2F, in + 4 * at, bad));
        }
        if (!_mm256_testz_si256(bad, bad)) CheckedBlocksAvx2(in + 4 * g, kUnroll, out + 3 * g);
        g += kUnroll * kAvx2Groups;
    }
    while (g + kAvx2Groups <= groups && 3 * g + kAvx2Store <= room) {
        CheckedBlocksAvx2(in + 4 * g, 1, out + 3 * g);
        g += kAvx2Groups;
    }
    return g;
}

#endif

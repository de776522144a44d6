#include "Base64.h"

#include <array>
#include <cstring>

#include "Base64Blocks.h"
#include "Base64Levels.h"

#if defined(ZANTOR_BASE64_X86)
#include <cpuid.h>
#endif

namespace {

constexpr std::uint8_t kInvalid = 255;

constexpr std::uint8_t CharValue(unsigned c)
{
    if (c >= 'A' && c <= 'Z') return static_cast<std::uint8_t>(c - 'A');
    if (c >= 'a' && c <= 'z') return static_cast<std::uint8_t>(c - 'a' + 26);
    if (c >= '0' && c <= '9') return static_cast<std::uint8_t>(c - '0' + 52);
    if (c == '+') return 62;
    if (c == '/') return 63;
    return kInvalid;
}

// Every output byte is an OR of terms that each depend on one input character,
// so each character position gets a table of its contribution to the group's
// three bytes, already placed where they lie in memory. A group then decodes
// to T0[c0] | T1[c1] | T2[c2] | T3[c3], with no branch per character, and the
// 255 of an out-of-alphabet byte enters exactly as the byte formulas say:
//   b0 = (d0 << 2) | ((d1 >> 4) & 0x03)
//   b1 = (d1 << 4) | ((d2 >> 2) & 0x0F)
//   b2 = (d2 << 6) | d3                      (all modulo 256)
// All arithmetic is on 32-bit words: byte-sized intermediates cost several
// times the speed under some 32-bit code generation.
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
constexpr unsigned kShift[3] = {24, 16, 8};
constexpr unsigned kChar[4] = {24, 16, 8, 0};  // where each character lies in a loaded word
#else
constexpr unsigned kShift[3] = {0, 8, 16};
constexpr unsigned kChar[4] = {0, 8, 16, 24};
#endif

using Table = std::array<std::uint32_t, 256>;

constexpr std::uint32_t At(unsigned outputByte, std::uint32_t value)
{
    return (value & 0xFFu) << kShift[outputByte];
}

constexpr std::uint32_t TableEntry(unsigned position, unsigned c)
{
    const std::uint32_t d = CharValue(c);
    switch (position) {
    case 0: return At(0, d << 2);
    case 1: return At(0, (d >> 4) & 0x03) | At(1, d << 4);
    case 2: return At(1, (d >> 2) & 0x0F) | At(2, d << 6);
    default: return At(2, d);
    }
}

std::array<Table, 4> MakeTables()
{
    std::array<Table, 4> tables;
    for (unsigned position = 0; position < 4; ++position)
        for (unsigned c = 0; c < 256; ++c)
            tables[position][c] = TableEntry(position, c);
    return tables;
}

// One block for the four tables: a single base register reaches all of them,
// which matters where registers are few (32-bit, position-independent code).
// Filled as the program starts, before anything decodes: 4 KB the program file
// does not carry.
const std::array<Table, 4> kTables = MakeTables();

constexpr std::array<std::uint8_t, 256> MakeValues()
{
    std::array<std::uint8_t, 256> values{};
    for (unsigned c = 0; c < 256; ++c) values[c] = CharValue(c);
    return values;
}

constexpr std::array<std::uint8_t, 256> kValues = MakeValues();

// The three bytes of one group of four characters, placed as in kShift.
// `tables` is kTables[0].data(), which the caller keeps in one register.
inline std::uint32_t DecodeGroup(const std::uint32_t* tables, const unsigned char* in)
{
    std::uint32_t loaded;
    std::memcpy(&loaded, in, 4);
    // Taken apart in a pointer-sized word, so that the table offsets fold into
    // the addressing on 64-bit targets as on 32-bit ones.
    const std::uintptr_t chars = loaded;
    return tables[chars >> kChar[0] & 0xFF] | tables[256 + (chars >> kChar[1] & 0xFF)] |
           tables[512 + (chars >> kChar[2] & 0xFF)] | tables[768 + (chars >> kChar[3] & 0xFF)];
}

static_assert(TableEntry(0, '=') == At(0, 0xFC) && TableEntry(3, '/') == At(2, 63), "table layout");

} // namespace

std::uint8_t Base64CharValue(unsigned char c)
{
    return kValues[c];
}

namespace {

#if defined(ZANTOR_BASE64_X86)
struct CpuLevels {
    bool ssse3 = false;
    bool avx2 = false;
};

// cpuid for the instruction sets, and xgetbv for whether the operating system
// saves the YMM registers (without which AVX2 code faults).
CpuLevels DetectCpu()
{
    CpuLevels cpu;
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (__get_cpuid(1, &a, &b, &c, &d) == 0) return cpu;
    cpu.ssse3 = (c & (1u << 9)) != 0;
    const bool osxsave = (c & (1u << 27)) != 0, avx = (c & (1u << 28)) != 0;
    if (!cpu.ssse3 || !osxsave || !avx || __get_cpuid_max(0, nullptr) < 7) return cpu;
    unsigned xcr0 = 0, xcr0High = 0;
    __asm__ volatile(".byte 0x0f, 0x01, 0xd0" : "=a"(xcr0), "=d"(xcr0High) : "c"(0));  // xgetbv
    if ((xcr0 & 6u) != 6u) return cpu;  // XMM and YMM state
    __cpuid_count(7, 0, a, b, c, d);
    cpu.avx2 = (b & (1u << 5)) != 0;
    return cpu;
}

const CpuLevels& Cpu()
{
    static const CpuLevels cpu = DetectCpu();
    return cpu;
}
#endif

DecodeLevel Available(DecodeLevel level)
{
    if (level == DecodeLevel::Avx2 && !DecodeLevelAvailable(DecodeLevel::Avx2)) level = DecodeLevel::Ssse3;
    if (level == DecodeLevel::Ssse3 && !DecodeLevelAvailable(DecodeLevel::Ssse3)) level = DecodeLevel::Scalar;
    return level;
}

} // namespace

void base64_blocks::DecodeGroupsTable(const unsigned char* in, std::size_t groups, unsigned char* out)
{
    const std::uint32_t* const tables = kTables[0].data();
    const unsigned char* const end = in + 4 * groups;
#pragma GCC unroll 4
    for (; in != end; in += 4, out += 3) {
        const std::uint32_t word = DecodeGroup(tables, in);
        std::memcpy(out, &word, 4);
    }
}

const char* DecodeLevelName(DecodeLevel level)
{
    switch (level) {
    case DecodeLevel::Scalar: return "scalar";
    case DecodeLevel::Ssse3: return "ssse3";
    case DecodeLevel::Avx2: return "avx2";
    }
    return "?";
}

bool DecodeLevelAvailable(DecodeLevel level)
{
    switch (level) {
    case DecodeLevel::Scalar: return true;
#if defined(ZANTOR_BASE64_X86)
    case DecodeLevel::Ssse3: return Cpu().ssse3;
    case DecodeLevel::Avx2: return Cpu().avx2;
#else
    case DecodeLevel::Ssse3:
    case DecodeLevel::Avx2: return false;
#endif
    }
    return false;
}

DecodeLevel BestDecodeLevel()
{
    static const DecodeLevel best = Available(DecodeLevel::Avx2);
    return best;
}

std::uint32_t DecodeBase64At(DecodeLevel level, std::uint32_t length, const char* text, unsigned char* output)
{
    if (length == 0 || length % 4 != 0) return 0;

    // Count the trailing "=" run; three already refuses the text, so stop there.
    std::uint32_t padding = 0;
    while (padding < 3 && padding < length && text[length - 1 - padding] == '=') ++padding;
    if (padding > 2) return 0;

    const std::uint32_t full = length / 4 - 1;  // groups before the last
    const std::uint32_t size = full * 3 + (3 - padding);
    if (size > kMaxDecodedSize) return 0;

    const auto* in = reinterpret_cast<const unsigned char*>(text);
    unsigned char* out = output;
    std::size_t done = 0;  // groups decoded
#if defined(ZANTOR_BASE64_X86)
    // The vector stores stay within `size` bytes; the last group is never theirs.
    switch (Available(level)) {
    case DecodeLevel::Avx2:
        done = base64_blocks::DecodeBlocksAvx2(in, full, size, out);
        done += base64_blocks::DecodeBlocksSsse3(in + 4 * done, full - done, size - 3 * done, out + 3 * done);
        break;
    case DecodeLevel::Ssse3: done = base64_blocks::DecodeBlocksSsse3(in, full, size, out); break;
    case DecodeLevel::Scalar: break;
    }
#else
    (void)level;
#endif
    // Each full group stores four bytes; the fourth is the first byte of the
    // next group, which always exists because the last group yields at least one.
    base64_blocks::DecodeGroupsTable(in + 4 * done, full - done, out + 3 * done);
    in += 4 * static_cast<std::size_t>(full);
    out += 3 * static_cast<std::size_t>(full);

    // The last group: "=" characters in the padding run are not used.
    std::uint32_t word = kTables[0][in[0]] | kTables[1][in[1]];
    if (padding < 2) word |= kTables[2][in[2]];
    if (padding < 1) word |= kTables[3][in[3]];
    unsigned char bytes[4];
    std::memcpy(bytes, &word, 4);
    std::memcpy(out, bytes, 3 - padding);
    return size;
}

std::uint32_t DecodeBase64(std::uint32_t length, const char* text, unsigned char* output)
{
    return DecodeBase64At(BestDecodeLevel(), length, text, output);
}

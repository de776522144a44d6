#include "Base64.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "Base64Levels.h"
#include "ReferenceBase64.h"

void PrintTo(DecodeLevel level, std::ostream* os) { *os << DecodeLevelName(level); }

namespace {

using Bytes = std::vector<unsigned char>;
constexpr unsigned char kUntouched = 0xA5;

// Decodes at `level` into kMaxDecodedSize bytes plus a guard, all preset to
// kUntouched; fails the test if anything past the returned size was written.
Bytes Decode(DecodeLevel level, const std::string& text)
{
    static const Bytes pristine(kMaxDecodedSize + 64, kUntouched);
    Bytes out = pristine;
    const std::uint32_t size = DecodeBase64At(level, static_cast<std::uint32_t>(text.size()), text.data(), out.data());
    if (std::memcmp(out.data() + size, pristine.data() + size, out.size() - size) != 0)
        ADD_FAILURE() << "written past size " << size << " at " << DecodeLevelName(level);
    if (size > DecodedCapacity(static_cast<std::uint32_t>(text.size())))
        ADD_FAILURE() << size << " bytes: more than a decode buffer sized to the text holds";
    return Bytes(out.data(), out.data() + size);
}

const unsigned char* Data(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }

// Every test runs at each level (scalar, ssse3, avx2); one the processor lacks is skipped.
DecodeLevel LevelOf(DecodeLevel level) { return level; }
template <class Row> DecodeLevel LevelOf(const std::tuple<DecodeLevel, Row>& param) { return std::get<0>(param); }

template <class Param> class AtLevel : public ::testing::TestWithParam<Param> {
protected:
    DecodeLevel Level() const { return LevelOf(this->GetParam()); }
    void SetUp() override
    {
        if (!DecodeLevelAvailable(Level())) GTEST_SKIP() << "this processor has no " << DecodeLevelName(Level());
    }
};
const auto kLevels = ::testing::ValuesIn(kDecodeLevels);
std::string LevelName(const ::testing::TestParamInfo<DecodeLevel>& info) { return DecodeLevelName(info.param); }

struct EdgeCase {
    std::string why;
    std::string text;
    Bytes expected;  // empty: refused
};
std::ostream& operator<<(std::ostream& os, const EdgeCase& c)
{
    if (c.text.size() > 40) return os << c.why << " (" << c.text.size() << " characters)";
    return os << c.why << " \"" << c.text << '"';
}

// A well-formed text of `length` characters, every letter of the alphabet in turn.
std::string Letters(std::size_t length)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text(length, 'A');
    for (std::size_t i = 0; i < length; ++i) text[i] = alphabet[i * 7 % 64];
    return text;
}

EdgeCase AsReference(std::string why, std::string text)
{
    Bytes expected = ReferenceDecode(Data(text), text.size());
    return EdgeCase{std::move(why), std::move(text), std::move(expected)};
}

// The vector levels decode blocks of 32 (avx2) and 16 (ssse3) characters whose
// every byte is in the alphabet, four blocks at a time while four fit, then
// single blocks; the rest goes to the table decoder. In 216 characters, 32 + p is
// place p of a block in avx2's four-block run, 128 + p of an avx2 single block,
// and 192 + p % 16 of an ssse3 single block (at both vector levels).
std::vector<EdgeCase> VectorBlockCases()
{
    static const char outside[] = "\0\x01\x0F\x1F !*,-.:;<=>?@[\\]^_`{|}~\x7F\x80\xAB\xAF\xFF";
    static_assert(sizeof outside == 33, "a byte for each place in a block");
    std::vector<EdgeCase> rows;
    for (std::size_t p = 0; p < 32; ++p) {
        std::string text = Letters(216);
        text[32 + p] = text[128 + p] = text[192 + p % 16] = outside[p];
        rows.push_back(AsReference("byte " + std::to_string(static_cast<unsigned char>(outside[p])) + " at place " +
                                       std::to_string(p) + " of blocks",
                                   text));
    }
    std::string ends = Letters(216);
    for (std::size_t i = 15; i < 200; i += 16) ends[i] = '=';
    rows.push_back(AsReference("= at the end of every block", ends));
    std::string pairs = Letters(216);
    pairs.replace(64, 2, "==");
    rows.push_back(AsReference("== inside a block", pairs));
    std::string padded;
    for (int i = 0; i < 16; ++i) padded += "TQ==";
    rows.push_back(AsReference("whole blocks of padded groups", padded + Letters(152)));
    // Where a vector level first takes a block: each side of the length (and
    // so the size) at which a block, or four, and its store first fit.
    static const std::size_t lengths[] = {20, 24, 36, 40, 68, 72, 132, 136, 264};
    for (const std::size_t length : lengths)
        for (std::size_t padding = 0; padding < 3; ++padding)
            rows.push_back(AsReference(std::to_string(length) + " characters, " + std::to_string(padding) + " =",
                                       Letters(length - padding) + std::string(padding, '=')));
    return rows;
}

class DecodeEdgeCase : public AtLevel<std::tuple<DecodeLevel, EdgeCase>> {};
TEST_P(DecodeEdgeCase, GivesExactlyTheseBytes)
{
    const EdgeCase& row = std::get<1>(GetParam());
    EXPECT_EQ(Decode(Level(), row.text), row.expected);
}

std::string EdgeCaseName(const ::testing::TestParamInfo<DecodeEdgeCase::ParamType>& info)
{
    return std::string(DecodeLevelName(std::get<0>(info.param))) + "_" + std::to_string(info.index);
}

INSTANTIATE_TEST_SUITE_P(
    VectorBlocks, DecodeEdgeCase, ::testing::Combine(kLevels, ::testing::ValuesIn(VectorBlockCases())), EdgeCaseName);

INSTANTIATE_TEST_SUITE_P(
    Table, DecodeEdgeCase,
    ::testing::Combine(kLevels, ::testing::Values(
        EdgeCase{"full group", "TWFu", Bytes{'M', 'a', 'n'}}, EdgeCase{"one =", "TWE=", Bytes{'M', 'a'}},
        EdgeCase{"two =", "TQ==", Bytes{'M'}}, EdgeCase{"two groups", "TWFuTWFu", Bytes{'M', 'a', 'n', 'M', 'a', 'n'}},
        EdgeCase{"empty", "", {}}, EdgeCase{"length 3", "TWF", {}}, EdgeCase{"length 5", "TWFuT", {}},
        EdgeCase{"length 7 ending in =", "TWFuTW=", {}}, EdgeCase{"three =", "A===", {}},
        EdgeCase{"only =", "========", {}}, EdgeCase{"= run across groups", "TWF=====", {}},
        EdgeCase{"= in third place is 255", "QQ=A", Bytes{0x41, 0x0F, 0xC0}},
        EdgeCase{"! is 255", "T!Fu", Bytes{0x4F, 0xF1, 0x6E}},
        EdgeCase{"padding inside the text is 255", "TQ==TQ==", Bytes{0x4D, 0x0F, 0xFF, 0x4D}},
        EdgeCase{"line break decoded, not skipped", "TW\nu", Bytes{0x4D, 0x6F, 0xEE}},
        EdgeCase{"NUL and high bytes are 255", std::string("\0\x80\xFFz", 4), Bytes{0xFF, 0xFF, 0xF3}},
        EdgeCase{"+ and /", "+/+/", Bytes{0xFB, 0xFF, 0xBF}})),
    EdgeCaseName);

// `groups` groups of "QUJD" whose last group ends in `padding` "=".
std::string TextOf(std::size_t groups, std::size_t padding)
{
    std::string text;
    for (std::size_t i = 0; i < groups; ++i) text += "QUJD";
    return text.replace(text.size() - padding, padding, padding, '=');
}

class DecodeBase64 : public AtLevel<DecodeLevel> {};
INSTANTIATE_TEST_SUITE_P(Level, DecodeBase64, kLevels, LevelName);

TEST_P(DecodeBase64, AcceptsUpTo102400BytesAndRefusesMoreWithoutWriting)
{
    std::string largest = TextOf(34134, 2);  // 34133 * 3 + 1 bytes
    EXPECT_EQ(Decode(Level(), largest), ReferenceDecode(Data(largest), largest.size()));
    EXPECT_EQ(Decode(Level(), largest).size(), 102400u);
    // Bytes outside the alphabet in the last blocks send them to the table decoder.
    largest[largest.size() - 40] = '!';
    largest[largest.size() - 70] = '=';
    EXPECT_EQ(Decode(Level(), largest), ReferenceDecode(Data(largest), largest.size()));
    for (const auto& [groups, padding] : {std::pair<std::size_t, std::size_t>{34134, 1}, {34134, 0}, {34135, 2}})
        EXPECT_TRUE(Decode(Level(), TextOf(groups, padding)).empty()) << groups << " groups, " << padding << " =";
}

TEST_P(DecodeBase64, AgreesWithThePlainDecoderOnRandomTexts)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::mt19937 rng(20240611);
    auto below = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); };
    for (int i = 0; i < 1500; ++i) {
        // Bytes outside the alphabet: none, in one character of ten, or of a thousand
        // (most vector blocks clean, some not); stray "=" in one of twenty.
        const std::size_t outside = i % 3 == 0 ? 0 : i % 3 == 1 ? 100 : 1;
        const bool stray = i % 4 >= 2;
        std::string text(4 * (below(20) == 0 ? below(35000) : below(80)), 'A');
        for (char& c : text) {
            const std::size_t p = below(1000);
            c = p < outside ? static_cast<char>(below(256)) : stray && p >= 950 ? '=' : alphabet[below(64)];
        }
        const std::size_t trailing = std::min(below(5), text.size());
        text.replace(text.size() - trailing, trailing, trailing, '=');
        if (below(10) == 0) text.append(1 + below(3), 'Q');
        ASSERT_EQ(Decode(Level(), text), ReferenceDecode(Data(text), text.size()))
            << "case " << i << ", length " << text.size() << ", outside " << outside << (stray ? ", stray =" : "");
    }
    // Each byte value alone at each place of a vector block (as in VectorBlockCases).
    for (unsigned c = 0; c < 256; ++c)
        for (std::size_t p = 0; p < 32; ++p) {
            std::string text = Letters(216);
            text[32 + p] = text[192 + p % 16] = static_cast<char>(c);
            ASSERT_EQ(Decode(Level(), text), ReferenceDecode(Data(text), text.size())) << "byte " << c << " at " << p;
        }
    for (unsigned c = 0; c < 256; ++c)
        EXPECT_EQ(Base64CharValue(static_cast<unsigned char>(c)), ReferenceCharValue(static_cast<unsigned char>(c))) << c;
}

} // namespace

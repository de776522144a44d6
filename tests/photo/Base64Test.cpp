#include "Base64.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "ReferenceBase64.h"

namespace {

using Bytes = std::vector<unsigned char>;
constexpr unsigned char kUntouched = 0xA5;

// Decodes into kMaxDecodedSize bytes plus a guard, all preset to kUntouched;
// fails the test if anything past the returned size was written.
Bytes Decode(const std::string& text)
{
    std::vector<unsigned char> out(kMaxDecodedSize + 64, kUntouched);
    const std::uint32_t size = DecodeBase64(static_cast<std::uint32_t>(text.size()), text.data(), out.data());
    for (std::size_t i = size; i < out.size(); ++i)
        if (out[i] != kUntouched) ADD_FAILURE() << "byte " << i << " written past size " << size;
    return Bytes(out.begin(), out.begin() + size);
}

const unsigned char* Data(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }

struct EdgeCase {
    const char* why;
    std::string text;
    Bytes expected;  // empty: refused
};
std::ostream& operator<<(std::ostream& os, const EdgeCase& c) { return os << c.why << " \"" << c.text << '"'; }

class DecodeEdgeCase : public ::testing::TestWithParam<EdgeCase> {};
TEST_P(DecodeEdgeCase, GivesExactlyTheseBytes) { EXPECT_EQ(Decode(GetParam().text), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Table, DecodeEdgeCase,
    ::testing::Values(
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
        EdgeCase{"+ and /", "+/+/", Bytes{0xFB, 0xFF, 0xBF}}));

// `groups` groups of "QUJD" whose last group ends in `padding` "=".
std::string TextOf(std::size_t groups, int padding)
{
    std::string text;
    for (std::size_t i = 0; i < groups; ++i) text += "QUJD";
    return text.replace(text.size() - padding, padding, padding, '=');
}

TEST(DecodeBase64, AcceptsUpTo102400BytesAndRefusesMoreWithoutWriting)
{
    const std::string largest = TextOf(34134, 2);  // 34133 * 3 + 1 bytes
    EXPECT_EQ(Decode(largest), ReferenceDecode(Data(largest), largest.size()));
    EXPECT_EQ(Decode(largest).size(), 102400u);
    for (const auto& [groups, padding] : {std::pair{34134, 1}, {34134, 0}, {34135, 2}})
        EXPECT_TRUE(Decode(TextOf(groups, padding)).empty()) << groups << " groups, " << padding << " =";
}

TEST(DecodeBase64, AgreesWithThePlainDecoderOnRandomTexts)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::mt19937 rng(20240611);
    auto below = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); };
    for (int i = 0; i < 1500; ++i) {
        const bool outside = i % 2 == 1, stray = i % 4 >= 2;  // bytes outside the alphabet, stray "="
        std::string text(4 * (below(20) == 0 ? below(35000) : below(40)), 'A');
        for (char& c : text) {
            const std::size_t p = below(100);
            c = outside && p < 10 ? static_cast<char>(below(256)) : stray && p >= 95 ? '=' : alphabet[below(64)];
        }
        const std::size_t trailing = std::min(below(5), text.size());
        text.replace(text.size() - trailing, trailing, trailing, '=');
        if (below(10) == 0) text.append(1 + below(3), 'Q');
        ASSERT_EQ(Decode(text), ReferenceDecode(Data(text), text.size()))
            << "case " << i << ", length " << text.size() << (outside ? ", outside" : "") << (stray ? ", stray =" : "");
    }
    for (unsigned c = 0; c < 256; ++c)
        EXPECT_EQ(Base64CharValue(static_cast<unsigned char>(c)), ReferenceCharValue(static_cast<unsigned char>(c))) << c;
}

} // namespace

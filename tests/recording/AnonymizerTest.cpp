// /anonymize: a field keeps its length and each character its width and kind, the
// same value is replaced alike and another differently; the photo stays base64 of
// its length and decodes to a JPEG.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Anonymizer.h"
#include "Base64.h"
#include "Mervik.h"

namespace {

// A byte's kind, which the replacement keeps: digit, upper, lower, kept as it
// is ('='), or the first ('L') and second ('T') byte of a two-byte character.
std::string Kinds(const std::string& text, unsigned codePage)
{
    std::string kinds;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= '0' && c <= '9') kinds += 'd';
        else if (c >= 'A' && c <= 'Z') kinds += 'U';
        else if (c >= 'a' && c <= 'z') kinds += 'l';
        else if (c < 0x80) kinds += '=';
        else if (codePage == 936 && i + 1 < text.size()) kinds += "LT", ++i;
        else if (codePage == 65001) kinds += c >= 0xC0 ? 'L' : 'T';
        else kinds += 'h';
    }
    return kinds;
}

std::string Replaced(const Anonymizer& anonymizer, std::int32_t index, std::string text)
{
    anonymizer.Replace(index, text.data(), text.size());
    return text;
}

struct FieldRow {
    const char* what;
    unsigned codePage;
    std::int32_t index;
    std::string text;
};

TEST(Anonymizer, FieldsKeepLengthWidthsAndKinds)
{
    const FieldRow rows[] = {
        {"a Chinese name in GBK", 936, mervik::kFieldName, "\xC1\xD6\xC7\xEF\xD3\xEA"},
        {"an identity number ending in X", 936, mervik::kFieldIdNumber, "33010619900815128X"},
        {"an address of digits, letters and characters", 936, mervik::kFieldAddress, "\xCA\xBE\xC0\xFD 88-2 Rd."},
        {"UTF-8: two- and three-byte characters", 65001, mervik::kFieldName, "\xC3\xA9t\xC3\xA9 \xE6\x9E\x97"},
        {"a single-byte code page's upper half", 1252, mervik::kFieldAuthority, "M\xFCller"},
        {"the photo's name", 936, mervik::kFieldPhotoName, "zp.jpg"},
    };
    const Anonymizer anonymizer(0, 42);
    for (const FieldRow& row : rows) {
        const Anonymizer a(row.codePage, 42);
        const std::string once = Replaced(a, row.index, row.text);
        EXPECT_NE(once, row.text) << row.what;
        EXPECT_EQ(Kinds(once, row.codePage), Kinds(row.text, row.codePage)) << row.what;
        EXPECT_EQ(Replaced(a, row.index, row.text), once) << row.what << ": the same value alike";
        EXPECT_NE(Replaced(Anonymizer(row.codePage, 43), row.index, row.text), once) << row.what << ": keyed";
    }
    EXPECT_EQ(Replaced(anonymizer, 9, "abc"), "abc") << "not a field of the card";
    EXPECT_EQ(Kinds(Replaced(Anonymizer(936, 1), 0, "\xC1\xD6\xFF"), 936), "LT=") << "no character: '?'";
}

TEST(Anonymizer, PhotoDecodesToAGreyJpegOfTheSameLength)
{
    const Anonymizer anonymizer(936, 7);
    std::vector<unsigned char> decoded(kMaxDecodedSize);
    for (const std::size_t length : {308u, 2160u, 102396u}) {
        const std::string photo(length, 'Q');
        const std::string replaced = Replaced(anonymizer, mervik::kFieldPhoto, photo);
        ASSERT_EQ(replaced.size(), length);
        const std::uint32_t size = DecodeBase64(static_cast<std::uint32_t>(length), replaced.data(), decoded.data());
        ASSERT_EQ(size, length / 4 * 3) << length;
        EXPECT_EQ(replaced.find_first_not_of(
                      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"), std::string::npos);
        EXPECT_TRUE(decoded[0] == 0xFF && decoded[1] == 0xD8 && decoded[size - 2] == 0xFF && decoded[size - 1] == 0xD9)
            << length << ": a JPEG from start to end";
        EXPECT_NE(Replaced(anonymizer, mervik::kFieldPhoto, std::string(length, 'R')), replaced)
            << length << ": another photo stays another";
    }
    EXPECT_EQ(Replaced(anonymizer, mervik::kFieldPhoto, "QUJDRA="), "AAAAAAA") << "a length that holds no image";
    EXPECT_EQ(Replaced(anonymizer, mervik::kFieldPhoto, std::string(276, 'Q')), std::string(276, 'A')) << "too short";
}

}  // namespace

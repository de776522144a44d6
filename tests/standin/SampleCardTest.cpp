// The sample card: a consistent fictional identity, and a photo that survives
// its base64 round trip byte for byte.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "Base64.h"
#include "Mervik.h"
#include "SampleCard.h"

namespace {

std::string Field(std::int32_t index)
{
    const char* value = standin::SampleField(index);
    return value ? value : "";
}

// ISO 7064 MOD 11-2 check character of an identity number's first 17 digits.
char CheckCharacter(const std::string& first17)
{
    static const int kWeights[17] = {7, 9, 10, 5, 8, 4, 2, 1, 6, 3, 7, 9, 10, 5, 8, 4, 2};
    int sum = 0;
    for (std::size_t i = 0; i < 17; ++i)
        sum += (first17[i] - '0') * kWeights[i];
    return "10X98765432"[sum % 11];
}

// A plain base64 decoder (standard alphabet, "=" padding), for the round trip.
std::string Decode(const std::string& text)
{
    static const std::string kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned bits = 0;
    int count = 0;
    for (std::size_t i = 0; i < text.size() && text[i] != '='; ++i) {
        bits = (bits << 6) | static_cast<unsigned>(kAlphabet.find(text[i]));
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return out;
}

TEST(StandinSampleCard, IdentityNumberIsValidAndAgreesWithTheFields)
{
    EXPECT_EQ(CheckCharacter("11010519491231002"), 'X') << "the check itself, on a published example";
    const std::string id = Field(mervik::kFieldIdNumber);
    ASSERT_EQ(id.size(), 18u);
    ASSERT_EQ(id.substr(0, 17).find_first_not_of("0123456789"), std::string::npos);
    EXPECT_EQ(id[17], CheckCharacter(id.substr(0, 17)));
    EXPECT_EQ(id.substr(6, 8), Field(mervik::kFieldBirth)) << "birth date inside the number";
    EXPECT_EQ(Field(mervik::kFieldSex), (id[16] - '0') % 2 == 0 ? "女" : "男") << "sex from the order digit";
    const int from = std::stoi(Field(mervik::kFieldValidFrom));
    const int to = std::stoi(Field(mervik::kFieldValidTo));
    EXPECT_EQ(to - from, 200000) << "twenty years, as for a holder aged 26 to 45 at issue";
    EXPECT_GT(from, std::stoi(Field(mervik::kFieldBirth)) + 260000);
    EXPECT_EQ(standin::SampleField(9), nullptr);
}

TEST(StandinBase64, EncodesTheStandardVectors)
{
    const char* const rows[][2] = {
        {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foobar", "Zm9vYmFy"}, {"\xFB\xFF\xBF", "+/+/"}};
    for (const auto& row : rows)
        EXPECT_EQ(standin::EncodeBase64(row[0]), row[1]) << row[0];
}

TEST(StandinSamplePhoto, IsTheCommittedSmallJpegAndRoundTrips)
{
    std::ifstream in(MERVIK_SAMPLE_PHOTO_PATH, std::ios::binary);
    ASSERT_TRUE(in) << MERVIK_SAMPLE_PHOTO_PATH;
    const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string embedded(reinterpret_cast<const char*>(standin::kSamplePhoto), standin::kSamplePhotoSize);
    EXPECT_EQ(embedded, file) << "the build embeds the committed file";
    EXPECT_GT(file.size(), 1000u);
    EXPECT_LT(file.size(), 8000u);
    EXPECT_EQ(file.substr(0, 3), "\xFF\xD8\xFF") << "JPEG start of image";
    EXPECT_EQ(file.substr(file.size() - 2), "\xFF\xD9") << "JPEG end of image";

    const std::string text = standin::SamplePhotoBase64();
    EXPECT_EQ(text.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
              std::string::npos)
        << "no line breaks";
    EXPECT_EQ(text.size(), (file.size() + 2) / 3 * 4);
    EXPECT_EQ(Decode(text), file);
}

}  // namespace

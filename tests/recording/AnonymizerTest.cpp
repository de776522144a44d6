// /anonymize: a field keeps its length and each character its width and kind, the
// same value is replaced alike and another differently; the photo stays base64 of
// its length and decodes to a JPEG.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Anonymizer.h"
#include "Base64.h"
#include "Mervik.h"
#include "RecordingWriter.h"

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
    EXPECT_EQ(Replaced(anonymizer, 12, "abc"), "abc") << "past the last field";
    EXPECT_EQ(Replaced(anonymizer, -1, "abc"), "abc");
}

// Every text field of the card is replaced, only its letters and digits (and
// characters past ASCII): blanks, punctuation and control bytes stay as they are,
// byte for byte.
TEST(Anonymizer, EveryTextFieldAndOnlyItsLettersAndDigits)
{
    const Anonymizer anonymizer(936, 5);
    const std::string text = "Ab 9-z/\t.\x01,~@(Q)";
    for (const std::int32_t index : {0, 1, 2, 3, 4, 5, 6, 7, 8, 10}) {
        const std::string replaced = Replaced(anonymizer, index, text);
        ASSERT_EQ(replaced.size(), text.size()) << index;
        for (std::size_t i = 0; i < text.size(); ++i) {
            const auto c = static_cast<unsigned char>(text[i]);
            const bool alphanumeric = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
            if (!alphanumeric) {
                EXPECT_EQ(replaced[i], text[i]) << "field " << index << " byte " << i << " kept";
            }
        }
        EXPECT_NE(replaced.substr(0, 2), "Ab") << "field " << index << " replaced";
    }
    // Every letter and digit is drawn anew: over 40 values, each position changes.
    std::string letters = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    std::string changed(letters.size(), '.');
    for (int key = 0; key < 40; ++key) {
        const std::string replaced = Replaced(Anonymizer(936, static_cast<std::uint64_t>(key)), 5, letters);
        for (std::size_t i = 0; i < letters.size(); ++i)
            if (replaced[i] != letters[i])
                changed[i] = 'x';
    }
    EXPECT_EQ(changed, std::string(letters.size(), 'x')) << "a letter or digit never replaced: " << letters;
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

// A recording observer as SessionRecorder is one, into a text.
class WritingObserver final : public CallObserver {
public:
    void BeforeCall(const CallRecord& call) override { writer.Before(call); }
    void OnCall(const CallRecord& call) override
    {
        GrowingText entry;
        EXPECT_TRUE(writer.Entry(call, entry));
        written.append(entry.data(), entry.size());
        seen.assign(call.buffers[0].data, call.buffers[0].size);
    }
    RecordingWriter writer{936};
    std::string written;  // the recording's entries
    std::string seen;     // the value buffer as the recording got it
};

// What a library leaves after a field's NUL (a stale copy of the identity number,
// a second field) reaches no file: the recording gets zeros past the replaced
// text, whatever the field and whether the text was written as text or in hex.
TEST(Anonymizer, NothingPastTheNulGoesOn)
{
    const std::string secret = "33010619900815128X";
    std::string hexSecret;
    for (const char c : secret) {
        const char* const kHex = "0123456789ABCDEF";
        hexSecret += kHex[static_cast<unsigned char>(c) >> 4];
        hexSecret += kHex[c & 15];
    }
    const struct {
        const char* what;
        std::int32_t index;
        std::string text;  // before the NUL
    } rows[] = {
        {"the number after a short name", mervik::kFieldName, "\xC1\xD6"},
        {"the number after itself", mervik::kFieldIdNumber, secret},
        {"after an empty text", mervik::kFieldAddress, ""},
        {"after a text of no character (written in hex)", mervik::kFieldAuthority, "\xC1"},
        {"after the photo's name", mervik::kFieldPhotoName, "zp.jpg"},
        {"not a field of the card", 9, "x"},
    };
    const Anonymizer anonymizer(936, 11);
    for (const auto& row : rows) {
        WritingObserver recording;
        AnonymizingObserver anonymized(recording, anonymizer);
        std::string value(mervik::kTextBufferSize, '\0'), error(mervik::kTextBufferSize, '\0');
        CallRecord call;
        call.operation = Operation::GetCardInfo;
        call.hasArgument = true;
        call.argument = row.index;
        call.buffers[call.bufferCount++] = {BufferRole::Value, value.data(), value.size()};
        call.buffers[call.bufferCount++] = {BufferRole::Error, error.data(), error.size()};
        anonymized.BeforeCall(call);
        value.replace(0, row.text.size() + 1 + secret.size(), row.text + '\0' + secret);
        value.replace(600, secret.size(), secret);  // and far after it
        // and in a register the library left changed, as a copy through it would
        CallOutcome outcome = CallOutcome::Returned(0);
        ContractBreach& breach = outcome.breaches[outcome.breachCount++];
        breach.rule = ContractRule::Register;
        breach.name = "XMM6";
        std::memcpy(breach.after, secret.data(), 16);
        call.outcome = &outcome;
        anonymized.OnCall(call);
        EXPECT_EQ(recording.seen.find_first_not_of('\0', row.text.size()), std::string::npos) << row.what;
        EXPECT_EQ(recording.written.find(secret), std::string::npos) << row.what << "\n" << recording.written;
        EXPECT_EQ(recording.written.find(hexSecret), std::string::npos) << row.what << "\n" << recording.written;
        EXPECT_EQ(value.find(secret, row.text.size() + 1), row.text.size() + 1) << row.what << ": the form's own stays";
        char xmm[40];
        std::snprintf(xmm, sizeof xmm, "%016llX%016llX", static_cast<unsigned long long>(breach.after[1]),
                      static_cast<unsigned long long>(breach.after[0]));
        EXPECT_EQ(recording.written.find(xmm), std::string::npos) << row.what << ": the register's value\n"
                                                                   << recording.written;
        EXPECT_NE(recording.written.find("; XMM6 0x"), std::string::npos) << "the breach itself is told";
    }
}

}  // namespace

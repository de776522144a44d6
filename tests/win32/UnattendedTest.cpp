// The standard error of an unattended run: a text longer than the buffer is cut
// after its last whole character, never dropped.
#include "Unattended.h"

#include <gtest/gtest.h>

#include <string>

#include "Win32Owners.h"

namespace {

struct FitRow {
    const char* fault;
    std::wstring text;
    std::size_t bytes;
    std::size_t units;  // that fit
};

std::ostream& operator<<(std::ostream& os, const FitRow& row)
{
    return os << row.fault;
}

class FittingTest : public ::testing::TestWithParam<FitRow> {};

TEST_P(FittingTest, CutsAfterTheLastWholeCharacter)
{
    const FitRow& row = GetParam();
    EXPECT_EQ(Utf16UnitsFitting(row.text.c_str(), row.text.size(), row.bytes), row.units);
}

INSTANTIATE_TEST_SUITE_P(Rows, FittingTest, ::testing::Values(
    FitRow{"all of a text that fits", L"abc", 3, 3},
    FitRow{"one byte short", L"abc", 2, 2},
    FitRow{"two bytes from U+0080", L"a\u00E9", 2, 1},
    FitRow{"three bytes from U+0800, not cut", L"读卡器", 8, 2},
    FitRow{"three exactly", L"读卡器", 9, 3},
    FitRow{"a pair is one character of four", L"a\U0001F600b", 4, 1},
    FitRow{"a pair whole", L"a\U0001F600b", 5, 3},
    FitRow{"an unpaired surrogate is U+FFFD, three", L"\xD800z", 3, 1},
    FitRow{"nothing fits", L"读", 2, 0}));

// The handle is looked for once, at the first write: this test's file.
TEST(StandardError, ALongTextIsCutNotDropped)
{
    wchar_t folder[MAX_PATH];
    wchar_t path[MAX_PATH];
    ASSERT_NE(GetTempPathW(MAX_PATH, folder), 0u);
    ASSERT_NE(GetTempFileNameW(folder, L"zse", 0, path), 0u);
    {
        win32::FileHandle file(CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file);
        ASSERT_TRUE(SetStdHandle(STD_ERROR_HANDLE, file.Get()));
        const std::wstring text(5000, L'读');  // 15,000 bytes of UTF-8
        WriteStandardError(text.c_str());
        WriteStandardError(L"短");
        SetStdHandle(STD_ERROR_HANDLE, nullptr);
    }
    std::string bytes;
    {
        win32::FileHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        char buffer[20000];
        DWORD read = 0;
        ASSERT_TRUE(ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr));
        bytes.assign(buffer, read);
    }
    DeleteFileW(path);
    std::string expected;
    for (std::size_t i = 0; i < kStandardErrorBytes / 3; ++i)
        expected += "\xE8\xAF\xBB";  // 读
    expected += "\r\n\xE7\x9F\xAD\r\n";  // 短
    EXPECT_EQ(bytes.size(), expected.size());
    EXPECT_TRUE(bytes == expected) << "the long text cut after its last whole character, then the short one";
}

}  // namespace

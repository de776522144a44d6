#include "ConsoleTest.h"

#include <regex>

namespace e2e {

std::wstring CurrentTestName()
{
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::wstring name = FromUtf8(std::string(info->test_suite_name()) + "." + info->name());
    for (wchar_t& c : name) {
        if (wcschr(L"\\/:*?\"<>|", c))
            c = L'_';
    }
    return name;
}

std::string Shown(const std::wstring& text)
{
    return "\"" + ToUtf8(text) + "\"";
}

bool ShowsMessage(const std::wstring& shown, const std::wstring& expected)
{
    const std::wstring address = L"（地址 0x";
    if (expected.size() < address.size() ||
        expected.compare(expected.size() - address.size(), address.size(), address) != 0)
        return shown == expected;
    return shown.compare(0, expected.size(), expected) == 0 &&
           std::regex_match(shown.substr(expected.size()), std::wregex(L"[0-9A-F]{8}）"));
}

void ConsoleTest::SetUp()
{
    // Every text the console shows is narrow, in the process's ANSI code page:
    // the program's texts are written for 936, and Wine takes it from the locale.
    ASSERT_EQ(GetACP(), 936u) << "run under LC_ALL=zh_CN.UTF-8";
    folder_ = std::make_unique<WorkFolder>(CurrentTestName());
    folder_->CopyProgram();
    folder_->CopyReader();
}

Console& ConsoleTest::Start(const std::wstring& exe)
{
    console_ = std::make_unique<Console>(*folder_, exe);
    return *console_;
}

}  // namespace e2e

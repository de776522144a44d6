#include "ConsoleTest.h"

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

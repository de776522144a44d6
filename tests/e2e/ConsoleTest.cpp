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

namespace {

// The ANSI code page this run expects: ZANTOR_E2E_CODE_PAGE, else 936.
UINT ExpectedCodePage()
{
    wchar_t value[16] = L"";
    const DWORD length = GetEnvironmentVariableW(L"ZANTOR_E2E_CODE_PAGE", value, 16);
    return length > 0 && length < 16 ? static_cast<UINT>(_wtoi(value)) : 936u;
}

}  // namespace

bool ShowsMessage(const std::wstring& shown, const std::wstring& expected)
{
    const auto endsWith = [&](const std::wstring& end) {
        return expected.size() >= end.size() && expected.compare(expected.size() - end.size(), end.size(), end) == 0;
    };
    // An address as wide as this build's pointers, or an offset into a module.
    // The full-width parenthesis escaped: the regex parser narrows each character
    // through the ANSI code page, and 1252 makes it a ')'.
    std::wstring digits;
    if (endsWith(L"（地址 0x"))
        digits = L"[0-9A-F]{" + std::to_wstring(sizeof(void*) * 2) + L"}";
    else if (endsWith(L"+0x"))  // and for a software exception, where it was raised: "，引发于 module+0x..."
        digits = L"[1-9A-F][0-9A-F]*(\\uFF0C\\u5F15\\u53D1\\u4E8E [^+]+\\+0x[0-9A-F]+)?";
    else
        return shown == expected;
    return shown.compare(0, expected.size(), expected) == 0 &&
           std::regex_match(shown.substr(expected.size()), std::wregex(digits + L"\\uFF09"));
}

void ConsoleTest::SetUp()
{
    // The console's own texts are UTF-16 and read the same on every code page;
    // the reader's are narrow, in the process's ANSI code page, which Wine takes
    // from the locale. The full run is under 936 (zh_CN.UTF-8); further runs of
    // a subset name another code page in ZANTOR_E2E_CODE_PAGE.
    ASSERT_EQ(GetACP(), ExpectedCodePage()) << "the locale of the Wine state folder";
    m_folder = std::make_unique<WorkFolder>(CurrentTestName());
    m_folder->CopyProgram();
    m_folder->CopyReader();
}

Console& ConsoleTest::Start(const std::wstring& exe, const std::wstring& arguments)
{
    m_console = std::make_unique<Console>(*m_folder, exe, arguments);
    return *m_console;
}

std::vector<std::vector<std::string>> LogLinesCut(const std::string& log, bool withNotes)
{
    std::vector<std::vector<std::string>> lines;
    for (std::size_t at = 0, end; (end = log.find("\r\n", at)) != std::string::npos; at = end + 2) {
        if (log[at] == '#' && !withNotes)
            continue;
        lines.emplace_back(1);
        for (char c : log.substr(at, end - at)) {
            if (c == '\t')
                lines.back().emplace_back();
            else
                lines.back().back().push_back(c);
        }
    }
    return lines;
}

}  // namespace e2e

// How the console ends, the name it captions its boxes with, and what happens when
// the reader library is missing.
#include "ConsoleTest.h"

#include <functional>

namespace e2e {
namespace {

struct EndingRow {
    const char* name;
    std::function<void(Console&)> act;
};

std::ostream& operator<<(std::ostream& os, const EndingRow& row)
{
    return os << row.name;
}

const EndingRow kEndingRows[] = {
    // The dialog has no default button: Enter in an edit box is OK, which ends it.
    {"EnterInThePortBox",
     [](Console& c) {
         c.FocusOn(IDC_EDIT_PORT);
         c.PressKey(IDC_EDIT_PORT, VK_RETURN);
     }},
    {"EnterInTheNameBox",
     [](Console& c) {
         c.FocusOn(IDC_EDIT_NAME);
         c.PressKey(IDC_EDIT_NAME, VK_RETURN);
     }},
    {"EscapeOnTheOpenButton", [](Console& c) { c.PressKey(IDC_BTN_OPEN, VK_ESCAPE); }},
    {"EscapeInThePortBox",
     [](Console& c) {
         c.FocusOn(IDC_EDIT_PORT);
         c.PressKey(IDC_EDIT_PORT, VK_ESCAPE);
     }},
    // The close box and the system menu's Close both send SC_CLOSE.
    {"CloseFromTheSystemMenu", [](Console& c) { c.SysCommand(SC_CLOSE); }},
};

class EndingTest : public ConsoleTest, public ::testing::WithParamInterface<EndingRow> {};

TEST_P(EndingTest, EndsTheProgram)
{
    Console& console = Start();
    GetParam().act(console);
    EXPECT_TRUE(console.WaitForExit(kTimeoutMs)) << "the console is still running";
}

INSTANTIATE_TEST_SUITE_P(Ways, EndingTest, ::testing::ValuesIn(kEndingRows),
                         [](const ::testing::TestParamInfo<EndingRow>& row) { return std::string(row.param.name); });

using ProgramNameTest = ConsoleTest;

// Message boxes are captioned with the executable's name; the dialog keeps its own.
TEST_F(ProgramNameTest, RenamedCopyCaptionsItsBoxesWithItsOwnName)
{
    folder_->CopyProgram(L"Probe.exe");
    folder_->WriteScript(L"[OpenDevice]\nresult=0\n[CloseDevice]\nresult=4\ntext=未打开\n");
    Console& console = Start(L"Probe.exe");
    wchar_t caption[64] = {};
    GetWindowTextW(console.Dialog(), caption, 64);
    EXPECT_EQ(std::wstring(caption), L"Zantor") << "the dialog's caption comes from its template";

    OwnedBox opened = console.ClickAndDismiss(IDC_BTN_OPEN);
    EXPECT_EQ(opened.caption, L"Probe");
    EXPECT_EQ(opened.text, L"打开成功");
    OwnedBox closed = console.ClickAndDismiss(IDC_BTN_CLOSE);
    EXPECT_EQ(closed.caption, L"Probe");
    EXPECT_EQ(closed.text, L"关闭失败！未打开 错误码：4");
}

// The reader library is bound when the program loads: without a usable one there
// is no console, and the loader says why in the exit status.
constexpr DWORD kDllNotFound = 0xC0000135;         // STATUS_DLL_NOT_FOUND
constexpr DWORD kInvalidImageFormat = 0xC000007B;  // STATUS_INVALID_IMAGE_FORMAT

struct LibraryRow {
    const char* name;
    // Replaces the working folder's Mervik.dll with this file of the bin folder,
    // or removes it (null).
    const wchar_t* library;
    DWORD status;
    // Wine passes over a library of the other architecture and searches on, so it
    // reports no library at all where Windows refuses the one it found.
    DWORD wineStatus;
};

std::ostream& operator<<(std::ostream& os, const LibraryRow& row)
{
    return os << row.name;
}

const LibraryRow kLibraryRows[] = {
    {"Missing", nullptr, kDllNotFound, kDllNotFound},
    // A 64-bit library beside Zantor.exe, a 32-bit one beside Zantor64.exe.
    {"OtherArchitecture", L"other-arch\\Mervik.dll", kInvalidImageFormat, kDllNotFound},
};

bool UnderWine()
{
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

class ReaderLibraryTest : public ConsoleTest, public ::testing::WithParamInterface<LibraryRow> {};

TEST_P(ReaderLibraryTest, ProgramDoesNotStart)
{
    const LibraryRow& row = GetParam();
    const std::wstring reader = folder_->File(L"Mervik.dll");
    if (row.library) {
        const std::wstring from = BinFolder() + L"\\" + row.library;
        ASSERT_TRUE(CopyFileW(from.c_str(), reader.c_str(), FALSE)) << Shown(from);
    } else {
        ASSERT_TRUE(DeleteFileW(reader.c_str()));
    }
    const DWORD status = RunToExit(*folder_);
    EXPECT_EQ(status, UnderWine() ? row.wineStatus : row.status) << std::hex << "exit status 0x" << status;
}

INSTANTIATE_TEST_SUITE_P(MervikDll, ReaderLibraryTest, ::testing::ValuesIn(kLibraryRows),
                         [](const ::testing::TestParamInfo<LibraryRow>& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace e2e

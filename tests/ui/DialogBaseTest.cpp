// The dialog base under Wine: whatever a handler throws, during set-up or in a
// command, is shown to the operator in a box owned by the dialog, and the dialog
// carries on; nothing unwinds into the system's dialog manager (which would end
// the program).
#include "DialogBase.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>

namespace {

enum class Thrown { kBadAlloc, kStdException, kInt };

struct GuardRow {
    const char* name;
    bool duringSetUp;  // thrown by OnInitDialog, else by the button's handler
    Thrown thrown;
    const wchar_t* shown;
};

std::ostream& operator<<(std::ostream& os, const GuardRow& row)
{
    return os << row.name;
}

// What the timer saw: the text of the box the dialog owned.
std::wstring g_shown;
int g_ticks = 0;
HWND g_dialog = nullptr;

BOOL CALLBACK FindBox(HWND window, LPARAM found)
{
    if (GetWindow(window, GW_OWNER) == g_dialog && GetDlgItem(window, 0xFFFF)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

// Runs in whichever modal loop is pumping: reads and dismisses the box, then ends
// the dialog; gives up after about ten seconds.
void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD)
{
    HWND box = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindBox, reinterpret_cast<LPARAM>(&box));
    if (box) {
        wchar_t text[256] = L"";
        GetDlgItemTextW(box, 0xFFFF, text, 256);
        g_shown = text;
        SendMessageW(box, WM_COMMAND, IDOK, 0);
    } else if (!g_shown.empty() || ++g_ticks > 1000) {
        EndDialog(g_dialog, 7);
    }
}

class ThrowingDialog final : public DialogBase {
public:
    explicit ThrowingDialog(const GuardRow& row) : DialogBase(1), m_row(row) {}

protected:
    BOOL OnInitDialog() override
    {
        g_dialog = m_hWnd;
        if (m_row.duringSetUp)
            Throw();
        PostMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(1000, BN_CLICKED), 0);
        return TRUE;
    }
    INT_PTR RouteMessage(UINT message, WPARAM wParam) override;

private:
    void OnGo() { Throw(); }
    void Throw() const
    {
        switch (m_row.thrown) {
        case Thrown::kBadAlloc:
            throw std::bad_alloc();
        case Thrown::kStdException:
            throw std::runtime_error("disk on fire");
        case Thrown::kInt:
            throw 7;
        }
    }

    static const MessageEntry<ThrowingDialog> kMessageMap[];
    const GuardRow& m_row;
};

const DialogBase::MessageEntry<ThrowingDialog> ThrowingDialog::kMessageMap[] = {
    {WM_COMMAND, 1000, &ThrowingDialog::OnGo},
};

INT_PTR ThrowingDialog::RouteMessage(UINT message, WPARAM wParam)
{
    return Route(kMessageMap, message, wParam);
}

const GuardRow kGuardRows[] = {
    {"OutOfMemoryInACommand", false, Thrown::kBadAlloc, L"无法分配足够的内存空间"},
    {"StandardExceptionInACommand", false, Thrown::kStdException, L"程序内部错误：disk on fire"},
    {"AnythingElseInACommand", false, Thrown::kInt, L"程序内部错误：未知的异常"},
    {"OutOfMemoryDuringSetUp", true, Thrown::kBadAlloc, L"无法分配足够的内存空间"},
    {"AnythingElseDuringSetUp", true, Thrown::kInt, L"程序内部错误：未知的异常"},
};

class DialogGuardTest : public ::testing::TestWithParam<GuardRow> {};

TEST_P(DialogGuardTest, ShowsWhatWasThrownAndCarriesOn)
{
    g_shown.clear();
    g_ticks = 0;
    const UINT_PTR timer = SetTimer(nullptr, 0, 10, Tick);
    ASSERT_NE(timer, 0u);
    ThrowingDialog dialog(GetParam());
    const INT_PTR ended = dialog.DoModal();
    KillTimer(nullptr, timer);
    EXPECT_EQ(ended, 7) << "the dialog ran on after the fault and was ended by the test";
    EXPECT_EQ(g_shown, GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(Thrown, DialogGuardTest, ::testing::ValuesIn(kGuardRows),
                         [](const ::testing::TestParamInfo<GuardRow>& row) { return std::string(row.param.name); });

}  // namespace

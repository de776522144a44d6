// The dialog base under Wine: a command whose handler dispatches messages (as a
// reader library that keeps its own window alive does) never has another command
// or the dialog's end start inside it. Presses made meanwhile run after it, in
// order; a close request ends the dialog after it; presses after the close
// request are dropped.
#include "DialogBase.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr UINT kPumping = 1000, kSecond = 1001, kThird = 1002, kAfterClose = 1003;

struct PressRow {
    const char* name;
    std::vector<WPARAM> posted;  // WM_COMMAND wParams posted inside the first command
    INT_PTR ended;               // what DoModal returns
    std::vector<std::string> log;
    std::vector<WPARAM> later;   // posted inside the second command that pumps
    bool thirdPressesAgain = false;  // the third press posts another pumping press
};

std::ostream& operator<<(std::ostream& os, const PressRow& row)
{
    return os << row.name;
}

class PumpingDialog final : public DialogBase {
public:
    explicit PumpingDialog(const PressRow& row) : DialogBase(1), m_row(row) {}
    std::vector<std::string> log;

protected:
    BOOL OnInitDialog() override
    {
        PostMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(kPumping, BN_CLICKED), 0);
        // Ends a test whose close request was lost, after about ten seconds.
        SetTimer(m_hWnd, 1, 10000, nullptr);
        return TRUE;
    }
    INT_PTR RouteMessage(UINT message, WPARAM wParam) override;

private:
    // Posts the row's presses once, then dispatches until the queue is empty.
    void OnPumping()
    {
        log.push_back("pumping began");
        ++m_round;
        for (const WPARAM wParam : m_round == 1 ? m_row.posted : m_round == 2 ? m_row.later : std::vector<WPARAM>())
            PostMessageW(m_hWnd, WM_COMMAND, wParam, 0);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
        log.push_back(IsWindowVisible(m_hWnd) ? "pumping ended" : "pumping ended under a closed dialog");
    }
    void OnSecond() { log.push_back("second"); }
    void OnThird()
    {
        log.push_back("third");
        if (m_row.thirdPressesAgain && m_round == 1)
            PostMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(kPumping, BN_CLICKED), 0);
    }
    void OnAfterClose() { log.push_back("after the close"); }

    static const CommandEntry kCommandMap[];
    const PressRow& m_row;
    int m_round = 0;
};

const DialogBase::CommandEntry PumpingDialog::kCommandMap[] = {
    {WM_COMMAND, kPumping, Command(&PumpingDialog::OnPumping)},
    {WM_COMMAND, kSecond, Command(&PumpingDialog::OnSecond)},
    {WM_COMMAND, kThird, Command(&PumpingDialog::OnThird)},
    {WM_COMMAND, kAfterClose, Command(&PumpingDialog::OnAfterClose)},
};

INT_PTR PumpingDialog::RouteMessage(UINT message, WPARAM wParam)
{
    if (message == WM_TIMER) {
        log.push_back("timed out");
        EndDialog(m_hWnd, 99);
        return TRUE;
    }
    return RouteCommand(kCommandMap, message, wParam);
}

const PressRow kPressRows[] = {
    {"PressesRunAfterTheRunningCommandInOrder",
     {MAKEWPARAM(kSecond, BN_CLICKED), MAKEWPARAM(kPumping, BN_CLICKED), MAKEWPARAM(kThird, BN_CLICKED), IDOK},
     IDOK,
     {"pumping began", "pumping ended", "second", "pumping began", "pumping ended", "third"},
     {}},
    {"CloseRequestEndsTheDialogAfterTheCommandAndDropsLaterPresses",
     {MAKEWPARAM(kSecond, BN_CLICKED), IDCANCEL, MAKEWPARAM(kAfterClose, BN_CLICKED)},
     IDCANCEL,
     {"pumping began", "pumping ended", "second"},
     {}},
    {"ADeferredCommandThatPumpsDefersInTurn",
     {MAKEWPARAM(kPumping, BN_CLICKED), MAKEWPARAM(kSecond, BN_CLICKED)},
     IDOK,
     {"pumping began", "pumping ended", "pumping began", "pumping ended", "second", "third"},
     {MAKEWPARAM(kThird, BN_CLICKED), IDOK},
     false},
    {"ALaterRoundRunsOnlyItsOwnPresses",
     {MAKEWPARAM(kSecond, BN_CLICKED), MAKEWPARAM(kThird, BN_CLICKED)},
     IDCANCEL,
     {"pumping began", "pumping ended", "second", "third", "pumping began", "pumping ended"},
     {IDCANCEL},
     true},
};

class DialogBasePressTest : public ::testing::TestWithParam<PressRow> {};

TEST_P(DialogBasePressTest, NothingStartsInsideARunningCommand)
{
    PumpingDialog dialog(GetParam());
    EXPECT_EQ(dialog.DoModal(), GetParam().ended);
    EXPECT_EQ(dialog.log, GetParam().log);
}

INSTANTIATE_TEST_SUITE_P(Pressed, DialogBasePressTest, ::testing::ValuesIn(kPressRows),
                         [](const ::testing::TestParamInfo<PressRow>& row) { return std::string(row.param.name); });

}  // namespace

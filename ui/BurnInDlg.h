// The burn-in dialog, opened from the system menu: cycles, port, timeout, the
// report's path (with the common Save As dialog) and the call log beside it;
// and the box that shows how a run from the window ended.
#pragma once

#include <cstdint>

#include "BurnInSetup.h"
#include "DialogBase.h"

// What the operator chose; the dialog starts from what it holds.
struct BurnInChoice {
    std::uint32_t cycles = kSetupDefaultCycles;
    char portText[256] = "1001";  // as the form's port box holds it
    std::int32_t port = 1001;     // read from portText as a press reads it
    std::uint32_t timeoutSeconds = kSetupDefaultTimeoutSeconds;
    SetupPath reportPath;  // a full path
    bool callLog = false;  // the call log written beside the report
    SetupPath scratch;     // the dialog's own room for a typed path
    // The command line's /log and /record files, as given, which a run from the
    // window writes too; null when there are none.
    const wchar_t* consoleLog = nullptr;
    const wchar_t* consoleRecording = nullptr;
};

class CBurnInDlg final : public DialogBase {
public:
    // `choice` is read at the start and filled in when the operator presses 开始
    // (the dialog then ends with IDOK); `folder` is where a relative report path
    // lies. Both must outlive the dialog.
    CBurnInDlg(BurnInChoice& choice, const wchar_t* folder);

protected:
    BOOL OnInitDialog() override;
    INT_PTR RouteMessage(UINT message, WPARAM wParam) override;

private:
    void OnStart();
    void OnBrowse();
    // Tells the operator why the box cannot be taken and puts the focus on it.
    void Refuse(int box, const wchar_t* text);

    static const CommandEntry kCommandMap[];

    BurnInChoice& m_choice;
    const wchar_t* m_folder;
};

// What a run from the window ended with: its verdict line and the report's path.
// Ends with IDC_DONE_OPEN (打开报告) or IDCANCEL (关闭, Escape, the close box).
class CBurnInDoneDlg final : public DialogBase {
public:
    // The texts must outlive the box; `written`: the report is there to open.
    CBurnInDoneDlg(const wchar_t* verdictLine, const wchar_t* reportPath, bool written, DWORD error = 0);

protected:
    BOOL OnInitDialog() override;
    INT_PTR RouteMessage(UINT message, WPARAM wParam) override;

private:
    void OnOpenReport();

    static const CommandEntry kCommandMap[];

    const wchar_t* m_verdictLine;
    const wchar_t* m_reportPath;
    bool m_written;
    DWORD m_error;  // why the report was not written; 0: no reason given
};

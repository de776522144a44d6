#include "BurnInDlg.h"

#include <commdlg.h>

#include "ApplicationName.h"
#include "FullPath.h"
#include "resource.h"

namespace {

// A message that names a path, which may be as long as the system allows, after
// a verdict line of up to 4,096 characters.
using PathMessage = WideText<kLongestPath + 4096 + 64>;
// Kept out of the stack; one dialog at a time uses it.
PathMessage pathMessage;

// Hides the text box's scroll bar when every line of its text shows without it.
void FitScrollBar(HWND box)
{
    const LRESULT lines = SendMessageW(box, EM_GETLINECOUNT, 0, 0);
    const LRESULT first = SendMessageW(box, EM_POSFROMCHAR, 0, 0);
    const LRESULT second = SendMessageW(box, EM_POSFROMCHAR, static_cast<WPARAM>(SendMessageW(box, EM_LINEINDEX, 1, 0)), 0);
    const int lineHeight = static_cast<short>(HIWORD(second)) - static_cast<short>(HIWORD(first));
    RECT client{};
    GetClientRect(box, &client);
    if (lines < 2 || (lineHeight > 0 && lines * lineHeight <= client.bottom))
        ShowScrollBar(box, SB_VERT, FALSE);
}

}  // namespace

const DialogBase::CommandEntry CBurnInDlg::kCommandMap[] = {
    {WM_COMMAND, IDOK, static_cast<Handler>(&CBurnInDlg::OnStart)},
    {WM_COMMAND, IDC_BURNIN_BROWSE, static_cast<Handler>(&CBurnInDlg::OnBrowse)},
};

CBurnInDlg::CBurnInDlg(BurnInChoice& choice, const wchar_t* folder)
    : DialogBase(IDD_BURNIN), m_choice(choice), m_folder(folder)
{
}

INT_PTR CBurnInDlg::RouteMessage(UINT message, WPARAM wParam)
{
    return RouteCommand(kCommandMap, message, wParam);
}

BOOL CBurnInDlg::OnInitDialog()
{
    DialogBase::OnInitDialog();
    SetDlgItemInt(m_hWnd, IDC_BURNIN_CYCLES, m_choice.cycles, FALSE);  // unsigned decimal
    SetDlgItemTextA(m_hWnd, IDC_BURNIN_PORT, m_choice.portText);
    SetDlgItemInt(m_hWnd, IDC_BURNIN_TIMEOUT, m_choice.timeoutSeconds, FALSE);
    SetDlgItemTextW(m_hWnd, IDC_BURNIN_REPORT, m_choice.reportPath.c_str());
    CheckDlgButton(m_hWnd, IDC_BURNIN_CALLLOG, m_choice.callLog ? BST_CHECKED : BST_UNCHECKED);
    return TRUE;  // focus to the first box, the cycles
}

// The run as chosen, or why a box cannot be taken (the dialog then stays).
void CBurnInDlg::OnStart()
{
    wchar_t cycles[32] = {};
    wchar_t timeout[32] = {};
    GetDlgItemTextW(m_hWnd, IDC_BURNIN_CYCLES, cycles, 32);
    GetDlgItemTextW(m_hWnd, IDC_BURNIN_TIMEOUT, timeout, 32);
    GetDlgItemTextA(m_hWnd, IDC_BURNIN_PORT, m_choice.portText, sizeof m_choice.portText);
    m_choice.scratch.Clear();
    const UINT typed = GetDlgItemTextW(m_hWnd, IDC_BURNIN_REPORT, m_choice.scratch.End(),
                                       static_cast<int>(m_choice.scratch.Room() + 1));
    m_choice.scratch.Grow(typed);

    BurnInFields fields;
    fields.cycles = cycles;
    fields.port = m_choice.portText;
    fields.timeout = timeout;
    fields.report = m_choice.scratch.c_str();
    const BurnInSettings settings = ReadBurnInFields(fields);
    switch (settings.error) {
    case BurnInFieldError::None:
        break;
    case BurnInFieldError::Cycles:
        Refuse(IDC_BURNIN_CYCLES, BurnInFieldErrorText(settings.error));
        return;
    case BurnInFieldError::Timeout:
        Refuse(IDC_BURNIN_TIMEOUT, BurnInFieldErrorText(settings.error));
        return;
    case BurnInFieldError::Report:
        Refuse(IDC_BURNIN_REPORT, BurnInFieldErrorText(settings.error));
        return;
    }

    // The report's full path, from the working folder Zantor started in, with
    // "." and ".." taken out; its folder must be there, or the run would find out
    // only at its end that its report cannot be written.
    SetupPath& report = m_choice.reportPath;
    SetupPath& full = m_choice.scratch;
    if (!PathInFolder(m_folder, full.c_str(), report)) {
        Refuse(IDC_BURNIN_REPORT, L"报告文件的路径太长");
        return;
    }
    {
        const win32::FullPath made(report.c_str());
        if (!made || made.Length() > full.Room()) {
            Refuse(IDC_BURNIN_REPORT, L"报告文件的路径太长或无效");
            return;
        }
        report.Clear();
        report.Append(made.Get(), made.Length());
    }
    // Its folder: the path up to its last backslash, and the file's name after it.
    std::size_t slash = 0;
    for (std::size_t i = 0; i < report.size(); ++i) {
        if (report.c_str()[i] == L'\\')
            slash = i;
    }
    full.Clear();
    full.Append(report.c_str(), slash + 1);
    const bool named = report.c_str()[slash + 1] != 0;
    const DWORD attributes = GetFileAttributesW(full.c_str());
    if (!named || attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        PathMessage& text = pathMessage;
        text.Clear();
        text.Append(named ? L"报告所在的文件夹不存在：" : L"报告须是一个文件，而不是文件夹：").Append(report.c_str());
        Refuse(IDC_BURNIN_REPORT, text.c_str());
        return;
    }

    // Not a folder, and not one file with another the run writes.
    const DWORD reportAttributes = GetFileAttributesW(report.c_str());
    BurnInOutputs outputs;
    outputs.report = report.c_str();
    outputs.reportIsFolder = reportAttributes != INVALID_FILE_ATTRIBUTES && (reportAttributes & FILE_ATTRIBUTE_DIRECTORY);
    outputs.callLog = IsDlgButtonChecked(m_hWnd, IDC_BURNIN_CALLLOG) == BST_CHECKED;
    const win32::FullPath consoleLog(m_choice.consoleLog ? m_choice.consoleLog : L"");
    const win32::FullPath consoleRecording(m_choice.consoleRecording ? m_choice.consoleRecording : L"");
    outputs.consoleLog = m_choice.consoleLog ? consoleLog.Get() : nullptr;
    outputs.consoleRecording = m_choice.consoleRecording ? consoleRecording.Get() : nullptr;
    static CollisionText refusal;
    if (!CheckBurnInOutputs(outputs, refusal)) {
        Refuse(IDC_BURNIN_REPORT, refusal.c_str());
        return;
    }

    m_choice.cycles = settings.cycles;
    m_choice.port = settings.port;
    m_choice.timeoutSeconds = settings.timeoutSeconds;
    m_choice.callLog = IsDlgButtonChecked(m_hWnd, IDC_BURNIN_CALLLOG) == BST_CHECKED;
    EndDialog(m_hWnd, IDOK);
}

void CBurnInDlg::Refuse(int box, const wchar_t* text)
{
    ShowApplicationMessage(m_hWnd, text);
    const HWND control = GetDlgItem(m_hWnd, box);
    SendMessageW(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
    SendMessageW(control, EM_SETSEL, 0, -1);
}

// The common Save As dialog for the report, starting from the path in the box;
// the box takes the file chosen.
void CBurnInDlg::OnBrowse()
{
    SetupPath& file = m_choice.scratch;
    file.Clear();
    file.Grow(GetDlgItemTextW(m_hWnd, IDC_BURNIN_REPORT, file.End(), static_cast<int>(file.Room() + 1)));
    OPENFILENAMEW save{};
    save.lStructSize = sizeof save;
    save.hwndOwner = m_hWnd;
    save.lpstrFilter = L"HTML 文件 (*.html; *.htm)\0*.html;*.htm\0";
    save.lpstrFile = file.End() - file.size();
    save.nMaxFile = static_cast<DWORD>(kLongestPath);
    save.lpstrInitialDir = m_folder;
    save.lpstrDefExt = L"html";
    // The current directory stays where the library may rely on it being.
    save.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (GetSaveFileNameW(&save)) {
        SetDlgItemTextW(m_hWnd, IDC_BURNIN_REPORT, save.lpstrFile);
        return;
    }
    if (const DWORD error = CommDlgExtendedError()) {
        ShowApplicationNumber(m_hWnd, L"无法显示另存为对话框 错误码：%lu", error);
    }
}

const DialogBase::CommandEntry CBurnInDoneDlg::kCommandMap[] = {
    {WM_COMMAND, IDC_DONE_OPEN, static_cast<Handler>(&CBurnInDoneDlg::OnOpenReport)},
};

CBurnInDoneDlg::CBurnInDoneDlg(const wchar_t* verdictLine, const wchar_t* reportPath, bool written, DWORD error)
    : DialogBase(IDD_BURNIN_DONE), m_verdictLine(verdictLine), m_reportPath(reportPath), m_written(written),
      m_error(error)
{
}

INT_PTR CBurnInDoneDlg::RouteMessage(UINT message, WPARAM wParam)
{
    return RouteCommand(kCommandMap, message, wParam);
}

BOOL CBurnInDoneDlg::OnInitDialog()
{
    DialogBase::OnInitDialog();
    SetWindowTextW(m_hWnd, ApplicationName());
    PathMessage& text = pathMessage;
    text.Clear();
    text.Append(m_verdictLine).Append(L"\r\n\r\n").Append(m_written ? L"报告：" : L"报告无法写入：").Append(m_reportPath);
    if (!m_written && m_error != 0)
        win32::AppendErrorReason(text, m_error);
    SetDlgItemTextW(m_hWnd, IDC_DONE_TEXT, text.c_str());
    FitScrollBar(GetDlgItem(m_hWnd, IDC_DONE_TEXT));
    const HWND open = GetDlgItem(m_hWnd, IDC_DONE_OPEN);
    EnableWindow(open, m_written ? TRUE : FALSE);
    // The focus on a button, not in the text, which would select it all.
    SendMessageW(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(m_written ? open : GetDlgItem(m_hWnd, IDCANCEL)),
                 TRUE);
    return FALSE;
}

// The report in the default browser: the caller opens it once the box is gone.
void CBurnInDoneDlg::OnOpenReport()
{
    EndDialog(m_hWnd, IDC_DONE_OPEN);
}

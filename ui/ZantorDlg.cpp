#include "ZantorDlg.h"

#include <objbase.h>
#include <shellapi.h>

#include <utility>

#include "AboutDlg.h"
#include "ApplicationName.h"
#include "BurnInRun.h"
#include "CardInfoCommand.h"
#include "DeviceCommands.h"
#include "DialogHost.h"
#include "FullPath.h"
#include "GuardedPages.h"
#include "IconPlacement.h"
#include "ImportedReader.h"
#include "ObservedReader.h"
#include "ResultMessage.h"
#include "Win32Owners.h"
#include "resource.h"

static_assert((IDM_ABOUTBOX & 0xFFF0) == IDM_ABOUTBOX && IDM_ABOUTBOX < 0xF000,
              "the About command must leave the low four bits to the system and stay below SC_*");
static_assert((IDM_BURNIN & 0xFFF0) == IDM_BURNIN && IDM_BURNIN < 0xF000 && IDM_BURNIN != IDM_ABOUTBOX,
              "the burn-in command must leave the low four bits to the system and stay below SC_*");

const DialogBase::CommandEntry CZantorDlg::kCommandMap[] = {
    {WM_SYSCOMMAND, IDM_ABOUTBOX, static_cast<Handler>(&CZantorDlg::OnSysCommand)},
    {WM_SYSCOMMAND, IDM_BURNIN, static_cast<Handler>(&CZantorDlg::OnBurnInCommand)},
    {WM_COMMAND, IDC_BURNIN_STOP, static_cast<Handler>(&CZantorDlg::OnStopBurnIn)},
    {WM_COMMAND, IDC_BURNIN_DONE, static_cast<Handler>(&CZantorDlg::OnBurnInDone)},
    {WM_COMMAND, IDC_BTN_OPEN, static_cast<Handler>(&CZantorDlg::OnOpenDevice)},
    {WM_COMMAND, IDC_BTN_CLOSE, static_cast<Handler>(&CZantorDlg::OnCloseDevice)},
    {WM_COMMAND, IDC_BTN_STATUS, static_cast<Handler>(&CZantorDlg::OnDeviceStatus)},
    {WM_COMMAND, IDC_BTN_READCARD, static_cast<Handler>(&CZantorDlg::OnReadCard)},
    {WM_COMMAND, IDC_BTN_CARDINFO, static_cast<Handler>(&CZantorDlg::OnReadCardInfo)},
    {WM_COMMAND, IDC_BURNIN_STEP, static_cast<Handler>(&CZantorDlg::OnBurnInStep)},
};

CZantorDlg::CZantorDlg(const ConsoleSetup& setup)
    : DialogBase(IDD_MAIN), m_setup(setup), m_hIcon(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME)))
{
}

INT_PTR CZantorDlg::RouteMessage(UINT message, WPARAM wParam)
{
    switch (message) {
    case WM_PAINT:
        OnPaint();
        return Handled();
    case WM_QUERYDRAGICON:
        return reinterpret_cast<INT_PTR>(OnQueryDragIcon());
    case WM_CLOSE:
        // The close box during a run from the window stops the run and, once it
        // is over, ends Zantor; Escape and Stop only stop it.
        if (m_windowRun) {
            m_closeAsked = true;
            m_burnIn->Stop();
            return Handled();
        }
        return FALSE;
    case WM_COMMAND:
        // During a burn-in, the close box, Escape or Enter stop the run once the
        // running step has returned; the run then ends the dialog.
        if (m_burnIn && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
            m_burnIn->Stop();
            return Handled();
        }
        // The step keeps the run going: it is never one of the presses that may be
        // dropped while a command runs (one whose library pumps messages).
        if (m_burnIn && LOWORD(wParam) == IDC_BURNIN_STEP && CommandRunning()) {
            m_stepDeferred = true;
            return Handled();
        }
        break;
    default:
        break;
    }
    return RouteCommand(kCommandMap, message, wParam);
}

BOOL CZantorDlg::OnInitDialog()
{
    DialogBase::OnInitDialog();

    // The item's text is taken in UTF-16 from the string table, so that it reads
    // right whatever the ANSI code page.
    if (HMENU systemMenu = GetSystemMenu(m_hWnd, FALSE)) {
        // The burn-in's item, then the About item, each after a separator.
        static const UINT kItems[][2] = {{IDS_BURNIN, IDM_BURNIN}, {IDS_ABOUTBOX, IDM_ABOUTBOX}};
        for (const auto& item : kItems) {
            wchar_t text[256];  // NUL-terminated by LoadStringW when it finds the text
            if (LoadStringW(GetModuleHandleW(nullptr), item[0], text, 256) > 0) {
                AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
                // A run from the command line is already one: no second beside it.
                const UINT grayed = item[1] == IDM_BURNIN && m_burnIn ? MF_GRAYED : 0;
                AppendMenuW(systemMenu, MF_STRING | grayed, item[1], text);
            }
        }
    }

    SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    SetDlgItemTextW(m_hWnd, IDC_EDIT_PORT, L"1001");
    // Before any library call could move it.
    const DWORD folder = GetCurrentDirectoryW(static_cast<DWORD>(m_startFolder.Room() + 1), m_startFolder.End());
    m_startFolder.Grow(folder <= m_startFolder.Room() ? folder : 0);
    if (m_burnIn)
        m_burnIn->Start(m_hWnd, IDC_BURNIN_STEP);
    return TRUE;  // focus to the first tab stop, the open button
}

// The About box for the system menu's About item (any of its sixteen ids), or
// why it could not be shown; nothing during a burn-in.
void CZantorDlg::OnSysCommand()
{
    // Not during a burn-in: a box would pause the run with nobody to close it.
    if (m_burnIn)
        return;
    CAboutDlg about(m_setup.library);
    if (about.DoModal(m_hWnd) == -1) {
        ShowApplicationNumber(m_hWnd, L"无法显示关于对话框 错误码：%lu", GetLastError());
    }
}

// The burn-in dialog, and the run it asks for in this window: or why it could
// not be shown, or why the run could not start.
void CZantorDlg::OnBurnInCommand()
{
    if (m_burnIn)
        return;  // one run at a time
    win32::Owned<WindowBurnInTraits> window(NewOnHeap<WindowBurnIn>());
    if (!window) {
        ShowApplicationMessage(m_hWnd, kNoMemoryMessage);
        return;
    }
    BurnInChoice& choice = window.Get()->Choice();
    GetDlgItemTextA(m_hWnd, IDC_EDIT_PORT, choice.portText, sizeof choice.portText);
    PathInFolder(m_startFolder.c_str(), DefaultReportName(CurrentLocalTime()).c_str(), choice.reportPath);
    if (m_setup.options != nullptr) {
        choice.consoleLog = m_setup.options->logPath;
        choice.consoleRecording = m_setup.options->recordPath;
    }

    CBurnInDlg dialog(choice, m_startFolder.c_str());
    const INT_PTR chosen = dialog.DoModal(m_hWnd);
    if (chosen == -1) {
        ShowApplicationNumber(m_hWnd, L"无法显示连续读卡测试对话框 错误码：%lu", GetLastError());
        return;
    }
    if (chosen != IDOK)
        return;
    // The console's own files (the log, the recording) get the run's calls as well.
    const bool consoleFiles = m_setup.options != nullptr &&
                              (m_setup.options->logPath != nullptr || m_setup.options->recordPath != nullptr);
    if (const wchar_t* failure = window.Get()->Prepare(m_setup.describeRun, m_setup.runObserver, consoleFiles,
                                                       m_setup.anonymizer, m_setup.recording, IDC_BURNIN_DONE)) {
        ShowApplicationMessage(m_hWnd, failure);
        return;
    }
    m_windowRun = std::move(window);
    m_burnIn = m_windowRun.Get()->Run();
    EnableBurnInItem(false);
    m_burnIn->Start(m_hWnd, IDC_BURNIN_STEP);
}

void CZantorDlg::EnableBurnInItem(bool enabled)
{
    EnableMenuItem(GetSystemMenu(m_hWnd, FALSE), IDM_BURNIN, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

// Stops the run from the window after the running call.
void CZantorDlg::OnStopBurnIn()
{
    if (m_burnIn)
        m_burnIn->Stop();
}

// The run from the window is over: its verdict and report in one box, the report
// opened in the default browser when asked; or Zantor ends, when the close box
// stopped the run.
void CZantorDlg::OnBurnInDone()
{
    if (!m_windowRun)
        return;
    const win32::Owned<WindowBurnInTraits> window(m_windowRun.Release());
    m_burnIn = nullptr;
    EnableBurnInItem(true);
    if (m_closeAsked) {
        EndDialog(m_hWnd, IDCANCEL);
        return;
    }
    const BurnInRun& run = *window.Get()->Run();
    CBurnInDoneDlg done(run.VerdictLine(), window.Get()->ReportPath(), run.ReportWritten(), run.ReportError());
    const INT_PTR answer = done.DoModal(m_hWnd);
    if (answer == -1) {
        // The box could not be shown: the verdict in a plain one.
        ShowApplicationMessage(m_hWnd, run.VerdictLine());
        return;
    }
    if (answer != IDC_DONE_OPEN)
        return;
    // The shell may hand the file to an extension that needs COM.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    const INT_PTR opened = reinterpret_cast<INT_PTR>(
        ShellExecuteW(m_hWnd, L"open", window.Get()->ReportPath(), nullptr, nullptr, SW_SHOWNORMAL));
    if (SUCCEEDED(com))
        CoUninitialize();
    if (opened <= 32) {
        // The number in 32 bits, read back as the int ShellExecute's result is.
        ShowApplicationNumber(m_hWnd, L"无法打开报告 错误码：%d", static_cast<DWORD>(opened));
    }
}

// The icon, centred, while the window is minimised; otherwise the controls
// paint themselves.
void CZantorDlg::OnPaint()
{
    win32::PaintDC dc(m_hWnd);
    if (!IsIconic(m_hWnd))
        return;
    SendMessageW(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.Get()), 0);
    RECT client{};
    GetClientRect(m_hWnd, &client);
    const IconOrigin origin = CentredIconOrigin(client.right - client.left, client.bottom - client.top,
                                                GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON));
    DrawIcon(dc.Get(), origin.x, origin.y, m_hIcon);
}

// The cursor shown while the minimised window is dragged.
HICON CZantorDlg::OnQueryDragIcon()
{
    return m_hIcon;
}

void CZantorDlg::OnCommandsDone()
{
    if (m_stepDeferred) {
        m_stepDeferred = false;
        PostMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_BURNIN_STEP, BN_CLICKED), 0);
    }
}

void CZantorDlg::Execute(Runner command)
{
    // During a burn-in a press is one more run of the command: its calls are
    // counted and its message recorded, and nothing waits for a person.
    if (m_burnIn) {
        m_burnIn->RunCommand(command);
        return;
    }
    DialogHost host(m_hWnd);
    ImportedReader imported;
    const Allocator& buffers = GuardedPages();
    if (m_setup.observer == nullptr) {
        command(host, imported, buffers);
        return;
    }
    ObservedReader observed(imported, *m_setup.observer, buffers.guardBytes);
    command(host, observed, buffers);
    // Said once: the log goes on trying, and its lines may come back.
    if (m_setup.log && m_setup.log->FailedWrites() != 0 && !m_logLossShown) {
        m_logLossShown = true;
        static WideText<kLongestPath + 1024> text;
        text.Clear();
        text.Append(L"无法写入调用日志文件 ");
        if (m_setup.options != nullptr && m_setup.options->logPath != nullptr)
            text.Append(m_setup.options->logPath);
        text.Append(L"：").AppendDecimal(static_cast<std::int64_t>(m_setup.log->FailedWrites())).Append(L" 行未写入");
        if (m_setup.log->LastWriteError() != 0)
            win32::AppendErrorReason(text, m_setup.log->LastWriteError());
        ShowApplicationMessage(m_hWnd, text.c_str());
    }
    // Said once: the recording ended at its last whole entry, and stays ended.
    if (m_setup.recording && m_setup.recording->CallsNotRecorded() != 0 && !m_recordingLossShown) {
        m_recordingLossShown = true;
        ShowApplicationNumber(m_hWnd, L"无法写入录制文件：录制止于最后一次完整的调用，%lu 次调用未录制",
                              static_cast<DWORD>(m_setup.recording->CallsNotRecorded()));
    }
}

// "打开成功", or why the reader did not open on the typed port.
void CZantorDlg::OnOpenDevice()
{
    Execute(&RunOpenDevice);
}

// "关闭成功", or why the reader did not close.
void CZantorDlg::OnCloseDevice()
{
    Execute(&RunCloseDevice);
}

// The reader's status text and code.
void CZantorDlg::OnDeviceStatus()
{
    Execute(&RunDeviceStatus);
}

// The outcome of a card read, text and code.
void CZantorDlg::OnReadCard()
{
    Execute(&RunReadCard);
}

// The card's fields in the form and its photo in zp.jpg.
void CZantorDlg::OnReadCardInfo()
{
    Execute(&RunReadCardInfo);
}

// The burn-in's next step; a press of the buttons meanwhile runs after it.
void CZantorDlg::OnBurnInStep()
{
    if (m_burnIn)
        m_burnIn->RunStep();
}

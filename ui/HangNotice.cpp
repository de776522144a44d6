#include "HangNotice.h"

#include "ApplicationName.h"
#include "BoundedText.h"
#include "CallLog.h"
#include "Win32Owners.h"

namespace {

constexpr int kEndButton = 1;

struct FontTraits {  // CreateFontIndirect
    using Handle = HFONT;
    static Handle None() { return nullptr; }
    static void Close(Handle handle) { DeleteObject(handle); }
};

struct WindowTraits {  // CreateWindowEx, on the thread that made it
    using Handle = HWND;
    static Handle None() { return nullptr; }
    static void Close(Handle handle)
    {
        if (IsWindow(handle))
            DestroyWindow(handle);
    }
};

// What the button acts on: the call the notice names, its watchdog and the log.
struct NoticeTarget {
    CallWatchdog& watchdog;
    WatchedCall call;
    CallLog* log;
};

// The operator ends Zantor while the call still runs: the call claimed, so that
// the dialog's thread never goes on should it return, the log told, and the
// process ended at once (that thread is inside the library and cannot be
// unwound). A call that has returned is left to go on: the notice just closes.
LRESULT CALLBACK NoticeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND && LOWORD(wParam) == kEndButton) {
        if (auto* target = reinterpret_cast<NoticeTarget*>(GetWindowLongPtrW(window, GWLP_USERDATA))) {
            if (!target->watchdog.Claim(target->call)) {
                DestroyWindow(window);
                return 0;
            }
            if (target->log)
                target->log->WriteNote("ended", L"由操作员在调用未返回时结束");
            TerminateProcess(GetCurrentProcess(), kExitEndedDuringCall);
        }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool RegisterNoticeClass(HINSTANCE instance)
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = NoticeProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kHangNoticeClass;
    return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

using NoticeLine = WideText<96>;

// "读卡器库 GetCardInfo（参数 11）调用仍未返回"
NoticeLine CallLine(const WatchedCall& call)
{
    NoticeLine line;
    line.Append(L"读卡器库 ");
    const char* name = OperationName(call.operation);
    line.AppendNarrow(name, bounded::Length(name));
    if (call.hasArgument)
        line.Append(L"（参数 ").AppendDecimal(call.argument).Append(L"）");
    line.Append(L" 调用仍未返回");
    return line;
}

// "已等待 12 秒", in `line`.
void SecondsLine(NoticeLine& line, std::uint64_t seconds)
{
    line.Clear();
    line.Append(L"已等待 ").AppendDecimal(static_cast<std::int64_t>(seconds)).Append(L" 秒");
}

// For how many whole seconds the watchdog has seen the call run.
__attribute__((noinline)) std::uint64_t RunningSeconds(const CallWatchdog& watchdog, const WatchedCall& call)
{
    return watchdog.RunningMilliseconds(call) / 1000;
}

// The window's children, in their tab order; a null text is the call's line
// (the first) or the seconds (the second).
struct ChildRow {
    const wchar_t* className;
    const wchar_t* text;
    DWORD style;
    short x, y, width, height;
    int id;
};

const ChildRow kChildren[] = {
    {L"STATIC", nullptr, SS_LEFT, 16, 14, 360, 22, 0},
    {L"STATIC", nullptr, SS_LEFT, 16, 40, 360, 22, 0},
    {L"STATIC", L"调用返回后本窗口自动关闭。结束程序时，调用日志保留已写入的每一行。", SS_LEFT, 16, 64, 360, 40, 0},
    {L"BUTTON", L"结束程序", BS_PUSHBUTTON | WS_TABSTOP, 276, 108, 100, 26, kEndButton},
};

}  // namespace

void HangNotice::OnCallOverdue(const WatchedCall& call, CallWatchdog& watchdog)
{
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    if (!RegisterNoticeClass(instance))
        return;
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    win32::Owned<FontTraits> font;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
        font.Reset(CreateFontIndirectW(&metrics.lfMessageFont));

    // In the middle of the screen, above the others, sized for its texts.
    const int width = 400, height = 170;
    const int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    win32::Owned<WindowTraits> window(CreateWindowExW(WS_EX_TOPMOST | WS_EX_DLGMODALFRAME, kHangNoticeClass,
                                                      ApplicationName(), WS_POPUP | WS_CAPTION | WS_SYSMENU, x, y,
                                                      width, height, nullptr, nullptr, instance, nullptr));
    if (!window)
        return;
    NoticeTarget target{watchdog, call, m_log};
    SetWindowLongPtrW(window.Get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&target));
    const NoticeLine callLine = CallLine(call);
    std::uint64_t shown = RunningSeconds(watchdog, call);
    NoticeLine secondsLine;
    SecondsLine(secondsLine, shown);
    HWND seconds = nullptr;
    for (const ChildRow& row : kChildren) {
        const bool first = &row == kChildren;
        const wchar_t* text = row.text ? row.text : first ? callLine.c_str() : secondsLine.c_str();
        const HWND child = CreateWindowExW(0, row.className, text, WS_CHILD | WS_VISIBLE | row.style, row.x, row.y,
                                           row.width, row.height, window.Get(),
                                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(row.id)), instance, nullptr);
        if (child && font)
            SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font.Get()), FALSE);
        if (&row == kChildren + 1)
            seconds = child;
    }
    ShowWindow(window.Get(), SW_SHOWNOACTIVATE);

    while (IsWindow(window.Get()) && watchdog.StillRunning(call)) {
        const std::uint64_t now = RunningSeconds(watchdog, call);
        if (now != shown) {
            shown = now;
            SecondsLine(secondsLine, now);
            SetWindowTextW(seconds, secondsLine.c_str());
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 200, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (!IsDialogMessageW(window.Get(), &message)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
    }
}

#include "BurnInRun.h"

#include <commctrl.h>

#include <cstring>
#include <initializer_list>

#include "DialogHost.h"
#include "GuardedPages.h"
#include "FullPath.h"
#include "ImportedReader.h"
#include "LocalTime.h"
#include "ObservedReader.h"
#include "Mervik.h"
#include "Resources.h"
#include "Unattended.h"
#include "resource.h"

namespace {

WideText<32> LocalTimeNow()
{
    char text[kLocalTimeRoom];
    WideText<32> time;
    time.AppendNarrow(text, WriteLocalTime(text, CurrentLocalTime(), LocalTimeStyle::Seconds));
    return time;
}

// A visible child window of `dialog` of `style` beside WS_CHILD | WS_VISIBLE, at
// `place` in dialog units.
HWND AddChild(HWND dialog, const wchar_t* windowClass, const wchar_t* text, DWORD style, RECT place, int id)
{
    MapDialogRect(dialog, &place);
    return CreateWindowExW(0, windowClass, text, WS_CHILD | WS_VISIBLE | style, place.left, place.top,
                           place.right - place.left, place.bottom - place.top, dialog,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
}

// A call claimed at its timeout ends the process this long after the claim, the
// report written or not: the library's hung thread may hold what writing it
// needs (the heap's lock). The claim comes at most a tenth of a second after the
// timeout, so Zantor ends within 30 s of it.
constexpr std::uint32_t kTimeoutDeadlineMs = 25000;

}  // namespace

BurnInRun::BurnInRun(const BurnInRequest& request, const RunFacts& facts, CallObserver* observer, CallLog* log)
    : m_request(request), m_facts(facts), m_log(log),
      m_session({request.cycles, request.reportPath, request.success, request.doneCommand != 0},
                static_cast<burnin::SessionWorld&>(*this), observer),
      m_watchdog(&m_session)
{
    m_facts.port = request.port;
    m_facts.cyclesAsked = request.cycles;
}

BurnInRun::~BurnInRun() = default;

void BurnInRun::Start(HWND dialog, UINT stepCommand)
{
    m_dialog = dialog;
    m_stepCommand = stepCommand;
    m_facts.startTime = LocalTimeNow();

    // Below the form, in the dialog's units and font, so that it scales with it;
    // a run from the window leaves room on the right for its Stop button.
    const LONG right = m_request.doneCommand != 0 ? 284 : 332;
    m_progressBar = AddChild(dialog, PROGRESS_CLASSW, nullptr, 0, {25, 188, right, 197}, IDC_BURNIN_PROGRESS);
    m_progressLine = AddChild(dialog, L"STATIC", nullptr, SS_LEFT, {25, 200, right, 210}, IDC_BURNIN_LINE);
    const LRESULT font = SendMessageW(dialog, WM_GETFONT, 0, 0);
    SendMessageW(m_progressLine, WM_SETFONT, static_cast<WPARAM>(font), FALSE);
    SendMessageW(m_progressBar, PBM_SETRANGE32, 0, static_cast<LPARAM>(m_session.Steps().Cycles()));
    if (m_request.doneCommand != 0) {
        m_stopButton = AddChild(dialog, L"BUTTON", L"停止", WS_TABSTOP | BS_PUSHBUTTON, {290, 189, 332, 203},
                                IDC_BURNIN_STOP);
        SendMessageW(m_stopButton, WM_SETFONT, static_cast<WPARAM>(font), FALSE);
        EnableButtons(false);
        // The focus on a button that works: Enter or Space stops the run.
        SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(m_stopButton), TRUE);
    }

    // The port the run opens on, where the open command reads it.
    wchar_t port[16];
    wsprintfW(port, L"%d", m_request.port);
    SetDlgItemTextW(dialog, IDC_EDIT_PORT, port);
    ShowProgress(true);
    // Without the watchdog a hanging call would hang the run: said, and the run goes on.
    if (!m_watchdog.Start(*this, m_request.timeoutSeconds, 0, {kTimeoutDeadlineMs, kExitCallDidNotReturn}))
        m_session.RecordMessage(L"无法启动调用监视线程：库调用不返回时老化测试无法自行结束");
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(stepCommand, BN_CLICKED), 0);
}

void BurnInRun::RunStep()
{
    if (m_session.RunStep() == burnin::StepResult::Over) {
        Finish();
        return;
    }
    ShowProgress(m_session.Steps().Current() == burnin::Step::Finished);
    ScheduleStep();
}

void BurnInRun::ScheduleStep()
{
    // Asking whether input waits is a round trip to the system (tens of
    // microseconds under Wine, more than a step of Zantor's own): asked a
    // hundred times a second at most, which a person cannot tell from always.
    constexpr ULONGLONG kInputLookEveryMs = 10;
    const ULONGLONG tick = GetTickCount64();
    const bool look = tick - m_inputLooked >= kInputLookEveryMs;
    if (look)
        m_inputLooked = tick;
    // A timer comes after input and painting; its id is this run. Should the
    // system refuse one, the step is posted as before.
    if (look && HIWORD(GetQueueStatus(QS_INPUT)) != 0 &&
        SetTimer(m_dialog, reinterpret_cast<UINT_PTR>(this), 0, &BurnInRun::StepTimer) != 0)
        return;
    PostMessageW(m_dialog, WM_COMMAND, MAKEWPARAM(m_stepCommand, BN_CLICKED), 0);
}

void CALLBACK BurnInRun::StepTimer(HWND window, UINT, UINT_PTR id, DWORD)
{
    KillTimer(window, id);
    const auto* run = reinterpret_cast<const BurnInRun*>(id);
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(run->m_stepCommand, BN_CLICKED), 0);
}

void BurnInRun::RunCommand(Command command)
{
    ImportedReader imported;
    // The watchdog goes right around the call: armed just before, disarmed just after.
    if (m_request.anonymizer) {
        AnonymizingObserver anonymized(m_watchdog, *m_request.anonymizer);
        ObservedReader reader(imported, anonymized, GuardedPages().guardBytes);
        command(*this, reader, GuardedPages());
        return;
    }
    ObservedReader reader(imported, m_watchdog, GuardedPages().guardBytes);
    command(*this, reader, GuardedPages());
}

burnin::ReportOutcome BurnInRun::WriteReport(const BurnInFigures& figures, const RunEnd& end)
{
    m_facts.end = end;
    if (end.finished)
        m_facts.endTime = LocalTimeNow();
    const ReportWrite write = WriteReports(m_request.reportPath, figures, m_facts);
    return {write.written, write.error};
}

void BurnInRun::AppendErrorReason(burnin::UnattendedText& text, std::uint32_t error)
{
    win32::AppendErrorReason(text, error);
}

void BurnInRun::CountLostWrites(RunEnd& end)
{
    end.logWritesFailed = m_log ? m_log->FailedWrites() : 0;
    end.callsNotRecorded = m_request.recording ? m_request.recording->CallsNotRecorded() : 0;
}

void BurnInRun::TellUnattended(const wchar_t* text)
{
    if (m_log)
        m_log->WriteNote("error", text);
    WriteStandardError(text);
}

std::uint64_t BurnInRun::Milliseconds()
{
    return GetTickCount64();
}

ResourceSample BurnInRun::SampleResources(std::uint32_t cyclesDone)
{
    return SampleProcessResources(cyclesDone);
}

void BurnInRun::Finish()
{
    if (m_request.doneCommand == 0) {
        EndDialog(m_dialog, m_session.ExitCode());
        return;
    }

    // A run from the window: the form as it was, and the dialog told.
    m_facts.end = m_session.End();
    const GrowingText line = RunVerdictLine(m_session.Figures(), m_facts);
    m_verdictLine.Clear();
    const int room = static_cast<int>(m_verdictLine.Room());
    const int length = line.failed() ? 0
                                     : MultiByteToWideChar(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()),
                                                           m_verdictLine.End(), room);
    m_verdictLine.Grow(length > 0 ? static_cast<std::size_t>(length) : 0);
    if (length <= 0)
        m_verdictLine.Append(m_session.Failed() ? L"FAIL" : L"PASS");
    EnableButtons(true);
    for (HWND* control : {&m_stopButton, &m_progressLine, &m_progressBar}) {
        DestroyWindow(*control);
        *control = nullptr;
    }
    SendMessageW(m_dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(m_dialog, IDC_BTN_OPEN)), TRUE);
    PostMessageW(m_dialog, WM_COMMAND, MAKEWPARAM(m_request.doneCommand, BN_CLICKED), 0);
}

void BurnInRun::EnableButtons(bool enable)
{
    for (const int id : {IDC_BTN_OPEN, IDC_BTN_CLOSE, IDC_BTN_STATUS, IDC_BTN_READCARD, IDC_BTN_CARDINFO})
        EnableWindow(GetDlgItem(m_dialog, id), enable ? TRUE : FALSE);
}

void BurnInRun::OnCallTimedOut(const WatchedCall& call, std::uint32_t timeoutSeconds)
{
    const int code = m_session.TimedOut(call.operation, timeoutSeconds);
    // The library's thread cannot be unwound: the process ends without it.
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(code));
}

void BurnInRun::ShowProgress(bool now)
{
    // A few times a second is what a person can follow; every step would cost
    // more than the steps themselves under Wine (1.6 ms a cycle).
    constexpr ULONGLONG kIntervalMs = 200;
    const ULONGLONG tick = GetTickCount64();
    if (!now && tick - m_progressShown < kIntervalMs)
        return;
    m_progressShown = tick;
    const std::uint32_t done = m_session.Steps().CyclesDone();
    SendMessageW(m_progressBar, PBM_SETPOS, done, 0);
    const ULONGLONG elapsed = m_session.CycleBegun() ? tick - m_session.FirstCycleBegan() : 0;
    SetWindowTextW(m_progressLine, burnin::ProgressText(done, m_session.Steps().Cycles(), elapsed).c_str());
    // Painted now, the form's boxes too: the steps come before painting in the
    // queue, and a timer for it would cost the run a timer's delay each time.
    RedrawWindow(m_dialog, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void BurnInRun::GetControlText(int id, char* text, std::size_t capacity)
{
    DialogHost(m_dialog).GetControlText(id, text, capacity);
}

void BurnInRun::SetControlText(int id, const char* text)
{
    // A box already showing the text is left alone: the same card read again
    // repaints nothing, and a field that changes shows at once.
    char shown[mervik::kTextBufferSize + 2];
    const UINT length = GetDlgItemTextA(m_dialog, id, shown, sizeof shown);
    if (length < sizeof shown - 1 && std::strcmp(shown, text) == 0)
        return;
    DialogHost(m_dialog).SetControlText(id, text);
}

void BurnInRun::ShowMessage(const wchar_t* text)
{
    m_session.RecordMessage(text);
}

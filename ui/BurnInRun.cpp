#include "BurnInRun.h"

#include <commctrl.h>

#include <cstring>
#include <initializer_list>

#include "CardInfoCommand.h"
#include "DeviceCommands.h"
#include "DialogHost.h"
#include "GuardedPages.h"
#include "FullPath.h"
#include "ImportedReader.h"
#include "LocalTime.h"
#include "ObservedReader.h"
#include "Mervik.h"
#include "Resources.h"
#include "Unattended.h"
#include "Verdict.h"
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

// A checkpoint at least this often, whatever the cycles take.
constexpr ULONGLONG kCheckpointEveryMs = 30000;

}  // namespace

BurnInRun::BurnInRun(const BurnInRequest& request, const RunFacts& facts, CallObserver* observer, CallLog* log)
    : m_request(request), m_facts(facts), m_observer(observer), m_log(log), m_recorder(request.success),
      m_schedule(request.cycles), m_watchdog(static_cast<CallObserver*>(this))
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
    SendMessageW(m_progressBar, PBM_SETRANGE32, 0, static_cast<LPARAM>(m_schedule.Cycles()));
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
    if (!m_watchdog.Start(*this, m_request.timeoutSeconds, 0))
        m_recorder.RecordMessage(L"无法启动调用监视线程：库调用不返回时老化测试无法自行结束");
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(stepCommand, BN_CLICKED), 0);
}

void BurnInRun::RunStep()
{
    // The figures' fixed storage could not be taken: the report says so at once,
    // rather than after hours of cycles it could not record.
    if (m_schedule.Current() == burnin::Step::Open && m_recorder.Figures().incomplete) {
        Finish();
        return;
    }
    const bool sample = m_schedule.SampleDue();
    if (sample)
        m_recorder.RecordResources(SampleProcessResources(m_schedule.CyclesDone()));
    // The report's folder is proven before the first call: a mistyped path must
    // not cost the whole run.
    if (m_schedule.Current() == burnin::Step::Open && m_request.reportPath && !Checkpoint()) {
        if (m_request.doneCommand != 0) {
            Finish();  // from the window: its box says the report could not be written
            return;
        }
        WideText<kLongestPath + 1024> reason;
        reason.Append(L"无法写入老化测试报告 ").Append(m_request.reportPath);
        if (m_checkpointError != 0)
            win32::AppendErrorReason(reason, m_checkpointError);
        reason.Append(L"：未打开设备，老化测试未开始");
        TellUnattended(reason.c_str(), m_log);
        EndDialog(m_dialog, kExitReportNotWritten);
        return;
    }
    // Checkpoints: at every resource sample and at least every 30 s, so that a
    // run killed, or ended by its library, leaves its figures so far.
    const burnin::Step step = m_schedule.Current();
    if (step != burnin::Step::Open && step != burnin::Step::Finished && m_request.reportPath &&
        (sample || GetTickCount64() - m_checkpointWritten >= kCheckpointEveryMs))
        Checkpoint();

    switch (m_schedule.Current()) {
    case burnin::Step::Open:
        RunCommand(&RunOpenDevice);
        break;
    case burnin::Step::Status:
        if (m_firstCycleStarted == 0)
            m_firstCycleStarted = GetTickCount64();
        m_recorder.BeginCycle(m_schedule.Cycle() + 1);
        RunCommand(&RunDeviceStatus);
        break;
    case burnin::Step::ReadCard:
        RunCommand(&RunReadCard);
        break;
    case burnin::Step::CardInfo:
        RunCommand(&RunReadCardInfo);
        m_recorder.EndCycle();
        break;
    case burnin::Step::Close:
        // A run stopped part-way through a cycle ends that cycle unfinished.
        m_recorder.AbandonCycle();
        RunCommand(&RunCloseDevice);
        break;
    case burnin::Step::Finished:
        Finish();
        return;
    }
    m_schedule.Advance();
    ShowProgress(m_schedule.Current() == burnin::Step::Finished);
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

RunEnd BurnInRun::End(bool finished) const
{
    RunEnd end;
    end.finished = finished;
    end.logWritesFailed = m_log ? m_log->FailedWrites() : 0;
    end.checkpointsNotWritten = m_checkpointsNotWritten;
    end.checkpointError = m_checkpointError;
    return end;
}

bool BurnInRun::Checkpoint()
{
    m_checkpointWritten = GetTickCount64();
    m_facts.end = End(false);
    const ReportWrite write = WriteReports(m_request.reportPath, m_recorder.Figures(), m_facts);
    // Counted, and a reason in the verdict; the run goes on, and the earlier pair stays.
    if (!write.written) {
        ++m_checkpointsNotWritten;
        m_checkpointError = write.error;
    }
    return write.written;
}

void BurnInRun::Finish()
{
    m_facts.endTime = LocalTimeNow();
    // A stop that came during the last cycle stopped nothing.
    if (m_schedule.Stopped() && m_schedule.CyclesDone() < m_schedule.Cycles())
        m_recorder.Stop();
    m_facts.end = End(true);
    const RunVerdict verdict = JudgeRun(m_recorder.Figures(), m_facts.end);
    ReportWrite write;
    write.written = true;
    if (m_request.reportPath)
        write = WriteReports(m_request.reportPath, m_recorder.Figures(), m_facts);
    const bool written = write.written;
    m_reportError = write.error;
    m_reportWritten = m_request.reportPath != nullptr && written;
    if (m_request.doneCommand == 0) {
        EndDialog(m_dialog, BurnInExitCode(verdict, written));
        return;
    }

    // A run from the window: the form as it was, and the dialog told.
    const GrowingText line = RunVerdictLine(m_recorder.Figures(), m_facts);
    m_verdictLine.Clear();
    const int room = static_cast<int>(m_verdictLine.Room());
    const int length = line.failed() ? 0
                                     : MultiByteToWideChar(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()),
                                                           m_verdictLine.End(), room);
    m_verdictLine.Grow(length > 0 ? static_cast<std::size_t>(length) : 0);
    if (length <= 0)
        m_verdictLine.Append(verdict.failed ? L"FAIL" : L"PASS");
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
    // The dialog's thread is inside the library, or waits for the end: nothing
    // else touches the figures now. The cycle under way did not finish.
    const bool inCycle = m_schedule.Current() >= burnin::Step::Status && m_schedule.Current() <= burnin::Step::CardInfo;
    m_recorder.AbandonCycle();
    m_facts.endTime = LocalTimeNow();
    m_facts.end = End(true);
    m_facts.end.timedOut = true;
    m_facts.end.timedOutOperation = call.operation;
    m_facts.end.timeoutSeconds = timeoutSeconds;
    m_facts.end.timedOutCycle = inCycle ? m_schedule.Cycle() + 1 : 0;
    if (m_request.reportPath)
        WriteReports(m_request.reportPath, m_recorder.Figures(), m_facts);
    WideText<96> reason;
    const char* name = OperationName(call.operation);
    reason.Append(L"读卡器库 ").AppendNarrow(name, std::strlen(name)).Append(L" 调用 ").AppendDecimal(timeoutSeconds)
        .Append(L" 秒内未返回（第 ").AppendDecimal(m_facts.end.timedOutCycle).Append(L" 轮），老化测试结束");
    TellUnattended(reason.c_str(), m_log);
    // The library's thread cannot be unwound: the process ends without it.
    TerminateProcess(GetCurrentProcess(), kExitCallDidNotReturn);
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
    const std::uint32_t done = m_schedule.CyclesDone();
    SendMessageW(m_progressBar, PBM_SETPOS, done, 0);
    const ULONGLONG elapsed = m_firstCycleStarted == 0 ? 0 : tick - m_firstCycleStarted;
    SetWindowTextW(m_progressLine, burnin::ProgressText(done, m_schedule.Cycles(), elapsed).c_str());
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
    m_recorder.RecordMessage(text);
}

void BurnInRun::BeforeCall(const CallRecord& call)
{
    if (m_observer)
        m_observer->BeforeCall(call);
}

void BurnInRun::OnCall(const CallRecord& call)
{
    m_recorder.OnCall(call);
    if (m_observer)
        m_observer->OnCall(call);
}

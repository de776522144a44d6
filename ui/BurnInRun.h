// A burn-in run in the main dialog: the device opened once, a number of cycles of
// status, read card and card information made unattended through the same
// commands and guard as the buttons, the device closed, the report written and
// the dialog ended with the run's exit code (a run from the command line) or told
// that the run is over (a run started from the window, which stays open). Every
// message a press would show is recorded instead; nothing waits for a person.
#pragma once

#include <windows.h>

#include <cstdint>

#include "Anonymizer.h"
#include "CallLog.h"
#include "CallRecord.h"
#include "CallWatchdog.h"
#include "CommandHost.h"
#include "Recorder.h"
#include "Report.h"
#include "Schedule.h"
#include "SuccessCodes.h"

// What the command line or the burn-in dialog asked for.
struct BurnInRequest {
    std::uint32_t cycles = 0;
    std::int32_t port = 1001;
    const wchar_t* reportPath = nullptr;  // the page; null: no report
    SuccessCodes success;                 // the codes that count as success
    std::uint32_t timeoutSeconds = 60;    // a call running longer ends the run
    // 0: the run ends the dialog with its exit code. Otherwise the run was started
    // from the window: while it runs the five buttons are disabled and a Stop
    // button (IDC_BURNIN_STOP) sits beside the progress; at the end the run takes
    // them away again and posts this WM_COMMAND to the dialog, which stays open.
    UINT doneCommand = 0;
    const Anonymizer* anonymizer = nullptr;  // /anonymize: the card replaced in the report and the log
};

class BurnInRun final : private CommandHost, private CallObserver, private WatchdogClient {
public:
    // `facts`: what was tested (the library's identity, Zantor's version and
    // bitness), completed here with the port, times and cycles. `observer`: told
    // of every call too (the call log, the recording), and of each call before it
    // is made; may be null. `log`: the call log, whose lost lines fail the run and
    // which is told why a run could not go on; may be null.
    BurnInRun(const BurnInRequest& request, const RunFacts& facts, CallObserver* observer, CallLog* log);
    // Out of line: one file holds the destructor (the link-time optimiser of
    // MinGW's linker takes inline copies of it from several files for one another).
    ~BurnInRun();
    BurnInRun(const BurnInRun&) = delete;
    BurnInRun& operator=(const BurnInRun&) = delete;

    // Adds the progress bar and line below the form of `dialog`, starts the call
    // watchdog and posts the first step, as a WM_COMMAND of `stepCommand`.
    void Start(HWND dialog, UINT stepCommand);
    // Runs the next step and schedules the one after it; after the last, ends
    // the dialog with the run's exit code or posts the request's doneCommand. The
    // first step writes the report before the device is opened: a report that
    // cannot be written ends the run there, with exit status 3.
    void RunStep();
    // Runs one of the button commands as the run's own steps run (a press during
    // the run): its calls are recorded and its messages too.
    using Command = void (*)(CommandHost& host, Reader& reader, const Allocator& buffers);
    void RunCommand(Command command);
    // The operator asked to stop: the device is closed after the running step,
    // and the report covers the cycles that finished.
    void Stop() { m_schedule.Stop(); }
    // Something the operator would have been told in a box before the run began.
    void Note(const wchar_t* message) { m_recorder.RecordMessage(message); }

    // Once the run is over: its verdict line ("PASS: ..." or "FAIL: ..."), and
    // whether the report was written.
    const wchar_t* VerdictLine() const { return m_verdictLine.c_str(); }
    bool ReportWritten() const { return m_reportWritten; }
    // Why it was not: the system's error code, 0 when it gave none (no memory).
    std::uint32_t ReportError() const { return m_reportError; }

private:
    // As the commands' host: the form's boxes are the dialog's; messages are recorded.
    void GetControlText(int id, char* text, std::size_t capacity) override;
    void SetControlText(int id, const char* text) override;
    void ShowMessage(const wchar_t* text) override;
    // Every call goes to the observer (the log, the recording) before it is made,
    // and to the recorder and the observer once it returned (through the
    // watchdog, which disarms first).
    void BeforeCall(const CallRecord& call) override;
    void OnCall(const CallRecord& call) override;
    // On the watchdog's thread: the report of the cycles before, with the call
    // that did not return as the verdict, then the process ends with exit status 5.
    void OnCallTimedOut(const WatchedCall& call, std::uint32_t timeoutSeconds) override;
    void OnCallOverdue(const WatchedCall&, const CallWatchdog&) override {}

    // The progress bar and line, painted at once with whatever else of the
    // dialog waits for painting; unless `now`, at most a few times a second.
    void ShowProgress(bool now);
    // A run from the window: the five buttons disabled or enabled again.
    void EnableButtons(bool enable);
    // Posts the next step at once when no input waits; otherwise after the
    // input, from a timer, so that a key press or a click is read between two
    // steps (posted messages are read before input). Input is looked for at
    // most every 10 ms.
    void ScheduleStep();
    static void CALLBACK StepTimer(HWND window, UINT message, UINT_PTR id, DWORD time);
    // Writes the report of the run so far, marked as not finished; false when
    // it could not be written (counted: a reason in the verdict).
    bool Checkpoint();
    // The run's state beyond its figures, the log's lost lines counted.
    RunEnd End(bool finished) const;
    void Finish();

    BurnInRequest m_request;
    RunFacts m_facts;
    CallObserver* m_observer;
    CallLog* m_log;
    BurnInRecorder m_recorder;
    burnin::Schedule m_schedule;
    HWND m_dialog = nullptr;
    UINT m_stepCommand = 0;
    HWND m_progressBar = nullptr;
    HWND m_progressLine = nullptr;
    HWND m_stopButton = nullptr;
    // The verdict and the failures' reasons (each under 160 characters).
    WideText<4096> m_verdictLine;
    bool m_reportWritten = false;
    std::uint32_t m_reportError = 0;
    ULONGLONG m_firstCycleStarted = 0;
    ULONGLONG m_progressShown = 0;
    ULONGLONG m_checkpointWritten = 0;
    // Checkpoints that could not be written, and the system's code for the last.
    std::uint64_t m_checkpointsNotWritten = 0;
    std::uint32_t m_checkpointError = 0;
    ULONGLONG m_inputLooked = 0;
    // Last, so that its thread is stopped before anything it could read goes.
    CallWatchdog m_watchdog;
};

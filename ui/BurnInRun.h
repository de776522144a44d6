// A burn-in run in the main dialog: the session's steps (burnin/BurnInSession.h)
// run one per message, through the same commands and guard as the buttons, with
// the progress shown below the form; at the end the dialog is ended with the
// run's exit code (a run from the command line) or told that the run is over (a
// run started from the window, which stays open). Every message a press would
// show is recorded instead; nothing waits for a person.
#pragma once

#include <windows.h>

#include <cstdint>

#include "Anonymizer.h"
#include "BurnInSession.h"
#include "CallLog.h"
#include "CallRecord.h"
#include "CallWatchdog.h"
#include "CommandHost.h"
#include "SessionRecorder.h"
#include "Report.h"
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
    const SessionRecorder* recording = nullptr;  // /record: its calls not recorded fail the run
};

class BurnInRun final : private CommandHost, private WatchdogClient, private burnin::SessionWorld {
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
    // Runs the session's next step and schedules the one after it; once the run
    // is over, ends the dialog with the run's exit code or posts the request's
    // doneCommand.
    void RunStep();
    // Runs one of the button commands as the run's own steps run (a press during
    // the run): its calls are recorded and its messages too.
    using Command = burnin::SessionWorld::Command;
    void RunCommand(Command command) override;
    // The operator asked to stop: the device is closed after the running step,
    // and the report covers the cycles that finished.
    void Stop() { m_session.Stop(); }
    // Something the operator would have been told in a box before the run began.
    void Note(const wchar_t* message) { m_session.RecordMessage(message); }

    // Once the run is over: its verdict line ("PASS: ..." or "FAIL: ..."), and
    // whether the report was written.
    const wchar_t* VerdictLine() const { return m_verdictLine.c_str(); }
    bool ReportWritten() const { return m_session.ReportWritten(); }
    // Why it was not: the system's error code, 0 when it gave none (no memory).
    std::uint32_t ReportError() const { return m_session.ReportError(); }

private:
    // As the commands' host: the form's boxes are the dialog's; messages are recorded.
    void GetControlText(int id, char* text, std::size_t capacity) override;
    void SetControlText(int id, const char* text) override;
    void ShowMessage(const wchar_t* text) override;
    // On the watchdog's thread: the session writes the report of the cycles
    // before, with the call that did not return as the verdict; then the process
    // ends with exit status 5.
    void OnCallTimedOut(const WatchedCall& call, std::uint32_t timeoutSeconds) override;
    void OnCallOverdue(const WatchedCall&, CallWatchdog&) override {}

    // As the session's world: the report pair with this run's facts, the call
    // log's losses, the standard error, the tick count and the process's resources.
    burnin::ReportOutcome WriteReport(const BurnInFigures& figures, const RunEnd& end) override;
    void AppendErrorReason(burnin::UnattendedText& text, std::uint32_t error) override;
    void CountLostWrites(RunEnd& end) override;
    void TellUnattended(const wchar_t* text) override;
    std::uint64_t Milliseconds() override;
    ResourceSample SampleResources(std::uint32_t cyclesDone) override;

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
    // The run is over: the dialog ended, or the form given back and told.
    void Finish();

    BurnInRequest m_request;
    RunFacts m_facts;
    CallLog* m_log;
    burnin::BurnInSession m_session;
    HWND m_dialog = nullptr;
    UINT m_stepCommand = 0;
    HWND m_progressBar = nullptr;
    HWND m_progressLine = nullptr;
    HWND m_stopButton = nullptr;
    // The verdict and the failures' reasons (each under 160 characters).
    WideText<4096> m_verdictLine;
    ULONGLONG m_progressShown = 0;
    ULONGLONG m_inputLooked = 0;
    // Last, so that its thread is stopped before anything it could read goes.
    CallWatchdog m_watchdog;
};

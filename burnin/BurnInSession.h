// A burn-in run's rules, apart from any window: the device opened once, a number
// of cycles of status, read card and card information, the device closed; the
// report proven writable before the first call, checkpoints while the run goes,
// the report at the end or when a call does not return, and the exit code. The
// window above runs one step per message and shows the progress; the library,
// the report, the clock and the standard error are reached through SessionWorld.
#pragma once

#include <cstdint>

#include "CallRecord.h"
#include "CommandHost.h"
#include "LongestPath.h"
#include "Recorder.h"
#include "Resources.h"
#include "Schedule.h"
#include "SuccessCodes.h"
#include "Verdict.h"

namespace burnin {

// How writing the report went: written, or the system's error code (0 when it
// gave none, as when memory ran out).
struct ReportOutcome {
    bool written = false;
    std::uint32_t error = 0;
};

// A text told where nobody needs to answer: a path and a sentence around it.
using UnattendedText = WideText<kLongestPath + 1024>;

// What a session needs of the world above it. Implemented by the window's run
// (and by the tests' fakes).
class SessionWorld {
public:
    // One of the button commands, run against the reader library as a press
    // runs it; each call it makes reaches the session (BeforeCall, OnCall).
    using Command = void (*)(CommandHost& host, Reader& reader, const Allocator& buffers);
    virtual void RunCommand(Command command) = 0;
    // Writes the report pair of `figures`, the run standing as `end` says
    // (a checkpoint while not finished). Called only for a run that has a report.
    virtual ReportOutcome WriteReport(const BurnInFigures& figures, const RunEnd& end) = 0;
    // Appends the system's words for `error` to `text` (nothing for 0).
    virtual void AppendErrorReason(UnattendedText& text, std::uint32_t error) = 0;
    // Fills in what the run's own files lost (the call log's lines).
    virtual void CountLostWrites(RunEnd& end) = 0;
    // Tells whoever started the run, where nobody needs to answer (the standard
    // error and the call log), why it ends.
    virtual void TellUnattended(const wchar_t* text) = 0;
    // A clock in milliseconds that never goes back.
    virtual std::uint64_t Milliseconds() = 0;
    // The process's resources now, after `cyclesDone` cycles.
    virtual ResourceSample SampleResources(std::uint32_t cyclesDone) = 0;

protected:
    ~SessionWorld() = default;
};

struct SessionRequest {
    std::uint32_t cycles = 0;
    const wchar_t* reportPath = nullptr;  // the page; null: no report
    SuccessCodes success;                 // the codes that count as success
    // Started from the window, which stays open and shows how the run ended;
    // otherwise nobody is there to answer, and the run ends Zantor.
    bool fromWindow = false;
};

// What a step left to do.
enum class StepResult {
    Next,  // schedule the next step
    Over,  // the run is over: ExitCode, ReportWritten and End say how
};

class BurnInSession final : public CallObserver {
public:
    // `observer`: told of every call too (the call log, the recording), and of
    // each call before it is made; may be null.
    BurnInSession(const SessionRequest& request, SessionWorld& world, CallObserver* observer);
    BurnInSession(const BurnInSession&) = delete;
    BurnInSession& operator=(const BurnInSession&) = delete;

    // Runs the step the schedule is at. Before the device is opened the report
    // is written, as a checkpoint: when it cannot be, the run does not start (an
    // unattended run tells why and ends with exit status 3; a run from the
    // window ends at once, its verdict saying it did not run). While the cycles
    // run, a checkpoint at every resource sample and at least every 30 s.
    StepResult RunStep();
    // The operator asked to stop: the device is closed after the running step.
    void Stop() { m_schedule.Stop(); }
    // Something a box would have said: recorded, counted in the report.
    void RecordMessage(const wchar_t* message) { m_recorder.RecordMessage(message); }

    // On the watchdog's thread, once it has claimed the call of `operation` that
    // ran past `timeoutSeconds`; the calling thread will not touch the session
    // again. Writes the report of the cycles before (the call as the first
    // reason), tells why the run ends, and returns the exit status to end with (5).
    int TimedOut(Operation operation, std::uint32_t timeoutSeconds);

    const Schedule& Steps() const { return m_schedule; }
    // Whether a cycle has begun, and when the first began (the world's clock).
    bool CycleBegun() const { return m_cycleBegun; }
    std::uint64_t FirstCycleBegan() const { return m_firstCycleBegan; }
    const BurnInFigures& Figures() const { return m_recorder.Figures(); }

    // Once the run is over: how it ended, whether it failed, whether the report
    // was written, and the exit status of a run from the command line.
    const RunEnd& End() const { return m_end; }
    bool Failed() const { return m_failed; }
    bool ReportWritten() const { return m_reportWritten; }
    // Why the last report was not written: the system's error code, or 0.
    std::uint32_t ReportError() const { return m_reportError; }
    int ExitCode() const { return m_exitCode; }

    // Every call to the observer before it is made, and to the recorder and the
    // observer once it returned.
    void BeforeCall(const CallRecord& call) override;
    void OnCall(const CallRecord& call) override;

private:
    // The run as it stands, the files' losses counted.
    RunEnd Standing(bool finished);
    // Writes the report of the run so far, marked as not finished.
    ReportOutcome Checkpoint();
    StepResult Finish();

    SessionRequest m_request;
    SessionWorld& m_world;
    CallObserver* m_observer;
    BurnInRecorder m_recorder;
    Schedule m_schedule;
    RunEnd m_end;
    bool m_cycleBegun = false;
    std::uint64_t m_firstCycleBegan = 0;
    std::uint64_t m_checkpointWritten = 0;
    bool m_failed = false;
    bool m_reportWritten = false;
    std::uint32_t m_reportError = 0;
    int m_exitCode = 0;
};

// A checkpoint at least this often, whatever the cycles take.
constexpr std::uint64_t kCheckpointEveryMs = 30000;

}  // namespace burnin

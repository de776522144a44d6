// A burn-in started from the window: what the operator chose in the burn-in
// dialog, and what the run needs kept while it runs (the library's identity, the
// report's facts, the call log beside the report). Lives on the heap for the
// run; the main dialog owns it.
#pragma once

#include "BurnInDlg.h"
#include "BurnInRun.h"
#include "CallLog.h"
#include "HeapObject.h"
#include "LibraryIdentity.h"
#include "Report.h"

// Fills `facts` with what a report says was tested, but for the run's own figures.
using DescribeRunFunction = void (*)(const LibraryIdentity& library, RunFacts& facts);

class WindowBurnIn final : private CallObserver {
public:
    WindowBurnIn() = default;
    ~WindowBurnIn();
    WindowBurnIn(const WindowBurnIn&) = delete;
    WindowBurnIn& operator=(const WindowBurnIn&) = delete;

    BurnInChoice& Choice() { return m_choice; }

    // Makes the run the choice asks for: identifies the library and tells every
    // call to `consoleLog`, as a press does. With the call log beside the report,
    // each call goes there, and to `consoleLog` only when it writes a file of its
    // own (both write the debugger's output). `anonymizer`: with /anonymize, the
    // card replaced in the report and the logs, as in a run from the command line;
    // `recording`: with /record, whose calls left out fail the run. Returns null, or what the operator is to be told instead of the run
    // starting. `doneCommand`: see BurnInRequest.
    const wchar_t* Prepare(DescribeRunFunction describe, CallObserver* consoleLog, bool consoleLogHasFile,
                           const Anonymizer* anonymizer, const SessionRecorder* recording, UINT doneCommand);

    // The run, once prepared.
    BurnInRun* Run() const { return m_run; }
    const wchar_t* ReportPath() const { return m_choice.reportPath.c_str(); }

private:
    // Each call to the log beside the report and to the console's own.
    void BeforeCall(const CallRecord& call) override;
    void OnCall(const CallRecord& call) override;

    BurnInChoice m_choice;
    LibraryIdentity m_library;
    RunFacts m_facts;
    CallLog m_reportLog;
    CallObserver* m_consoleLog = nullptr;
    WideText<kLongestPath + 1024> m_failure;
    BurnInRun* m_run = nullptr;  // owned
};

// An owner of the window's run, for win32::Owned.
struct WindowBurnInTraits {
    using Handle = WindowBurnIn*;
    static Handle None() { return nullptr; }
    static void Close(Handle handle) { DeleteOnHeap(handle); }
};

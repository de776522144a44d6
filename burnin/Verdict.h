// Whether a burn-in run passed, the reasons it failed in words, and the exit
// status the run ends with.
#pragma once

#include "Recorder.h"

// One reason a run failed, in words (UTF-8, English): the longest, a leak in
// what the library took named with its module's name (up to 63 bytes), its site
// and its counts, is under 192 bytes.
using VerdictReason = NarrowText<192>;
// The leaks in what the library took, named one by one; one reason more says there are others.
constexpr std::size_t kMaxLeakReasons = 4;
// At most four reasons per operation, one for the card, one per resource, one
// for incomplete figures, one for a call that did not return, one for the call
// log's lost lines, one for the recording's, one for the checkpoints that could
// not be written, the leaks in what the library took and one for a run that
// made no cycle.
constexpr std::size_t kMaxVerdictReasons = 4 * kOperationCount + 1 + kResourceCount + 1 + 5 + kMaxLeakReasons + 1;

// How the run stands beyond its figures: still going (a checkpoint), or ended by
// a call that did not return.
struct RunEnd {
    bool finished = true;  // false: a checkpoint written while the run goes
    bool timedOut = false;  // a call did not return within the timeout
    Operation timedOutOperation = Operation::OpenDevice;
    std::uint32_t timeoutSeconds = 0;
    std::uint32_t timedOutCycle = 0;  // 0: the open before the first cycle or the close after the last
    std::uint64_t logWritesFailed = 0;  // call-log lines the system refused
    std::uint64_t callsNotRecorded = 0;  // calls left out of the recording (/record) since a write failed
    // Checkpoints of the report the system refused to write or rename (the earlier
    // pair then stays), and the system's error code for the last of them.
    std::uint64_t checkpointsNotWritten = 0;
    std::uint32_t checkpointError = 0;
    // The report could not be written before the device was opened: the run did
    // not start.
    bool reportRefused = false;
};

// A hint beside the verdict: "readCard returned 144 in every call; if that is its
// success code, run with /success readCard=144" (under 100 bytes).
using VerdictHint = NarrowText<128>;

// Whether the run passed: every reason it failed, and a hint for each operation
// whose every call returned the same code that does not count as success.
struct RunVerdict {
    bool failed = false;
    bool stopped = false;
    bool timedOut = false;
    // A finished run that made no cycle: it never passes, though it found nothing.
    bool noCycle = false;
    // Its report could not be written before the first call (RunEnd::reportRefused).
    bool reportRefused = false;
    VerdictReason reasons[kMaxVerdictReasons];
    std::size_t reasonCount = 0;
    VerdictHint hints[kOperationCount];
    std::size_t hintCount = 0;
};
// A call that did not return is the first reason; lost log lines, calls left
// out of the recording and checkpoints not written are reasons too; a finished
// run that made no cycle the last ("did not run: ..." with why).
RunVerdict JudgeRun(const BurnInFigures& figures, const RunEnd& end = RunEnd());

// The exit status of a burn-in, the first that holds: 5 a call did not return;
// 1 it found a failure (a run that made no cycle found none); 3 its report could
// not be written (`reportWritten` false, or not before the first call); 4 the
// operator stopped it; else 0.
constexpr int kExitCallDidNotReturn = 5;
constexpr int kExitReportNotWritten = 3;
int BurnInExitCode(const RunVerdict& verdict, bool reportWritten = true);

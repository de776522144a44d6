// Whether a burn-in run passed, the reasons it failed in words, and the exit
// status the run ends with.
#pragma once

#include "Recorder.h"

// One reason a run failed, in words (UTF-8, English): the longest is under 100 bytes.
using VerdictReason = NarrowText<160>;
// At most four reasons per operation, one for the card, one per resource and one
// for incomplete figures.
constexpr std::size_t kMaxVerdictReasons = 4 * kOperationCount + 1 + kResourceCount + 1;

// A hint beside the verdict: "readCard returned 144 in every call; if that is its
// success code, run with /success readCard=144" (under 100 bytes).
using VerdictHint = NarrowText<128>;

// Whether the run passed: every reason it failed, and a hint for each operation
// whose every call returned the same code that does not count as success.
struct RunVerdict {
    bool failed = false;
    bool stopped = false;
    VerdictReason reasons[kMaxVerdictReasons];
    std::size_t reasonCount = 0;
    VerdictHint hints[kOperationCount];
    std::size_t hintCount = 0;
};
RunVerdict JudgeRun(const BurnInFigures& figures);

// The exit status of a burn-in: 1 when it found a failure, else 4 when the
// operator stopped it, else 0. (3, a report not written, is the caller's.)
int BurnInExitCode(const RunVerdict& verdict);

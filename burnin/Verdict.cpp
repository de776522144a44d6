#include "Verdict.h"

#include <cinttypes>
#include <cstdarg>

#include "Ledger.h"

namespace {

void AddReason(RunVerdict& verdict, const char* format, ...) ZANTOR_PRINTF(2, 3);

void AddReason(RunVerdict& verdict, const char* format, ...)
{
    verdict.failed = true;
    if (verdict.reasonCount == kMaxVerdictReasons)
        return;
    VerdictReason& reason = verdict.reasons[verdict.reasonCount++];
    va_list args;
    va_start(args, format);
    reason.AppendFormatV(format, args);
    va_end(args);
}

// The failures counted per operation, each a reason when there was one: the
// count, then the operation's name.
struct FailureCount {
    std::uint64_t OperationFigures::*count;
    const char* format;
};
const FailureCount kFailureCounts[] = {
    {&OperationFigures::faults, "%" PRIu64 " %s call(s) raised an exception"},
    {&OperationFigures::overruns, "%" PRIu64 " %s call(s) wrote past a buffer"},
    {&OperationFigures::breaches, "%" PRIu64 " calling-contract breach(es) by %s"},
    {&OperationFigures::failureCodeCalls, "%" PRIu64 " %s call(s) returned a failure code"},
};

}  // namespace

RunVerdict JudgeRun(const BurnInFigures& figures, const RunEnd& end)
{
    RunVerdict verdict;
    verdict.stopped = figures.stopped;
    if (end.timedOut) {
        verdict.timedOut = true;
        AddReason(verdict, "%s did not return within %" PRIu32 " s (cycle %" PRIu32 ")",
                  OperationName(end.timedOutOperation), end.timeoutSeconds, end.timedOutCycle);
    }
    for (int i = 0; i < kOperationCount; ++i) {
        const OperationFigures& op = figures.operations[i];
        const char* name = OperationName(static_cast<Operation>(i));
        for (const FailureCount& failure : kFailureCounts) {
            if (op.*failure.count != 0)
                AddReason(verdict, failure.format, op.*failure.count, name);
        }
        // A library whose success code is not 0 fails every call the same way:
        // say how to declare it, rather than leave the operator to guess.
        if (op.results.size() == 1 && op.results[0].count == op.calls && op.failureCodeCalls == op.calls) {
            VerdictHint& hint = verdict.hints[verdict.hintCount++];
            hint.AppendFormat("%s returned %" PRId32 " in every call; if that is its success code, run with /success "
                              "%s=%" PRId32,
                              name, op.results[0].code, name, op.results[0].code);
        }
    }
    if (figures.consistency.readsDiffered != 0)
        AddReason(verdict, "%" PRIu64 " card read(s) differed from the one read most often",
                  figures.consistency.readsDiffered);
    static const char* const kLeakNames[kResourceCount] = {
        "committed memory", "handles", "GDI objects", "USER objects"};
    for (int r = 0; r < kResourceCount; ++r) {
        const auto resource = static_cast<Resource>(r);
        if (JudgeGrowth(figures.samples.data(), figures.samples.size(), resource, LeakRule(resource)).verdict ==
            GrowthVerdict::Leak)
            AddReason(verdict, "%s grew steadily (a leak)", kLeakNames[r]);
    }
    // What the library took through its routed imports and still held at the end
    // from (nearly) every round of an operation: each such cause, named exactly.
    // What it took once and kept is no leak, and the report lists it.
    const taken::Ledger* ledger = taken::Active();
    if (end.finished && ledger != nullptr) {
        taken::Cause causes[kMaxLeakReasons + 1];
        const std::size_t count = ledger->Judge(causes, kMaxLeakReasons + 1);
        for (std::size_t i = 0; i < count && i < kMaxLeakReasons + 1 && causes[i].leak; ++i) {
            if (i == kMaxLeakReasons) {
                AddReason(verdict, "more leaks in what the library took: see the report");
                break;
            }
            char sentence[sizeof(VerdictReason)];
            taken::WriteCause(*ledger, causes[i], sentence, sizeof sentence);
            AddReason(verdict, "%s", sentence);
        }
    }
    if (figures.incomplete)
        AddReason(verdict, "memory ran out during the run: the figures are incomplete");
    if (end.logWritesFailed != 0)
        AddReason(verdict, "%" PRIu64 " call-log line(s) could not be written", end.logWritesFailed);
    if (end.callsNotRecorded != 0)
        AddReason(verdict, "%" PRIu64 " call(s) could not be written to the recording", end.callsNotRecorded);
    if (end.checkpointsNotWritten != 0)
        AddReason(verdict, "%" PRIu64 " checkpoint(s) of the report could not be written (error %" PRIu32 ")",
                  end.checkpointsNotWritten, end.checkpointError);
    // Last: nothing was tried: no verdict on the library can pass.
    if (end.finished && figures.cyclesDone == 0) {
        verdict.noCycle = true;
        verdict.reportRefused = end.reportRefused;
        if (end.reportRefused)
            AddReason(verdict, "did not run: the report could not be written before the device was opened");
        else if (!end.timedOut)
            AddReason(verdict, "did not run: no cycle finished%s", figures.stopped ? " before the stop" : "");
    }
    return verdict;
}

int BurnInExitCode(const RunVerdict& verdict, bool reportWritten)
{
    // A hang ends the run at once: the news, whatever else was found. A failure
    // found is news even when the files could not be written: it was found.
    if (verdict.timedOut)
        return kExitCallDidNotReturn;
    // A run that made no cycle fails, but found no failure of its own.
    const std::size_t ownReasons = verdict.noCycle && !verdict.timedOut ? 1 : 0;
    if (verdict.failed && verdict.reasonCount > ownReasons)
        return 1;
    if (!reportWritten || verdict.reportRefused)
        return kExitReportNotWritten;
    return verdict.stopped ? 4 : 0;
}

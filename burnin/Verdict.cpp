#include "Verdict.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>

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
    const int length = std::vsnprintf(reason.End(), reason.Room() + 1, format, args);
    va_end(args);
    if (length > 0)
        reason.Grow(static_cast<std::size_t>(length));
}

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
        if (op.faults != 0)
            AddReason(verdict, "%" PRIu64 " %s call(s) raised an exception", op.faults, name);
        if (op.overruns != 0)
            AddReason(verdict, "%" PRIu64 " %s call(s) wrote past a buffer", op.overruns, name);
        if (op.breaches != 0)
            AddReason(verdict, "%" PRIu64 " calling-contract breach(es) by %s", op.breaches, name);
        if (JudgedByUsualCode(static_cast<Operation>(i))) {
            // Calls that returned another code than the one returned most often.
            if (op.otherCodeCalls != 0)
                AddReason(verdict, "%s returned another code than its usual %" PRId32 " in %" PRIu64 " call(s)", name,
                          op.usualCode, op.otherCodeCalls);
        } else {
            // Calls that returned a failure code, where 0 is success.
            std::uint64_t codes = 0;
            for (const ResultCount& r : op.results)
                if (r.code != 0) codes += r.count;
            if (codes != 0)
                AddReason(verdict, "%" PRIu64 " %s call(s) returned a failure code", codes, name);
        }
    }
    if (figures.consistency.readsDiffered != 0)
        AddReason(verdict, "%" PRIu64 " card read(s) differed from the first", figures.consistency.readsDiffered);
    static const char* const kLeakNames[kResourceCount] = {
        "committed memory", "handles", "GDI objects", "USER objects"};
    for (int r = 0; r < kResourceCount; ++r) {
        const auto resource = static_cast<Resource>(r);
        if (JudgeGrowth(figures.samples.data(), figures.samples.size(), resource, LeakRule(resource)).verdict ==
            GrowthVerdict::Leak)
            AddReason(verdict, "%s grew steadily (a leak)", kLeakNames[r]);
    }
    if (figures.incomplete)
        AddReason(verdict, "memory ran out during the run: the figures are incomplete");
    if (end.logWritesFailed != 0)
        AddReason(verdict, "%" PRIu64 " call-log line(s) could not be written", end.logWritesFailed);
    return verdict;
}

int BurnInExitCode(const RunVerdict& verdict, bool reportWritten)
{
    // A hang ends the run at once: the news, whatever else was found. A failure
    // found is news even when the files could not be written: it was found.
    if (verdict.timedOut)
        return kExitCallDidNotReturn;
    if (verdict.failed)
        return 1;
    if (!reportWritten)
        return kExitReportNotWritten;
    return verdict.stopped ? 4 : 0;
}

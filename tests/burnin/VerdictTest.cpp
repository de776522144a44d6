// The verdict's reasons beyond the figures and the order of the exit codes.
#include "Verdict.h"

#include <gtest/gtest.h>

#include <vector>

#include "Ledger.h"

namespace {

struct ExitRow {
    const char* fault;  // what a failure of the row would catch
    std::uint32_t cycles;  // done
    bool failed;        // the figures hold a failure
    bool stopped;
    bool timedOut;
    bool reportWritten;
    int exitCode;
};

std::ostream& operator<<(std::ostream& os, const ExitRow& row)
{
    return os << row.fault;
}

class ExitCodeTest : public ::testing::TestWithParam<ExitRow> {};

TEST_P(ExitCodeTest, TheFirstThatHoldsWins)
{
    const ExitRow& row = GetParam();
    BurnInFigures figures;
    figures.cyclesDone = row.cycles;
    figures.incomplete = row.failed;
    figures.stopped = row.stopped;
    RunEnd end;
    end.timedOut = row.timedOut;
    EXPECT_EQ(BurnInExitCode(JudgeRun(figures, end), row.reportWritten), row.exitCode);
}

INSTANTIATE_TEST_SUITE_P(Rows, ExitCodeTest, ::testing::Values(
    ExitRow{"a clean run", 1, false, false, false, true, 0},
    ExitRow{"stopped", 1, false, true, false, true, 4},
    ExitRow{"the files lost outrank a stop", 1, false, true, false, false, 3},
    ExitRow{"a failure outranks the files lost", 1, true, false, false, false, 1},
    ExitRow{"a failure outranks a stop", 1, true, true, false, true, 1},
    ExitRow{"a call that did not return outranks all", 1, true, true, true, false, 5},
    // A run that made no cycle found no failure: its stop or its files say how it ended.
    ExitRow{"no cycle is no failure found", 0, false, false, false, true, 0},
    ExitRow{"no cycle, stopped", 0, false, true, false, true, 4},
    ExitRow{"no cycle, the report refused", 0, false, false, false, false, 3},
    ExitRow{"no cycle beside a failure", 0, true, true, false, true, 1},
    ExitRow{"no cycle beside a hang", 0, false, false, true, true, 5}));

TEST(Verdict, AHangComesFirstAndLostLogLinesFail)
{
    BurnInFigures figures;
    figures.incomplete = true;
    RunEnd end;
    end.timedOut = true;
    end.timedOutOperation = Operation::readCard;
    end.timeoutSeconds = 3;
    end.timedOutCycle = 5;
    end.logWritesFailed = 2;
    end.callsNotRecorded = 7;
    const RunVerdict verdict = JudgeRun(figures, end);
    ASSERT_EQ(verdict.reasonCount, 4u);
    EXPECT_STREQ(verdict.reasons[0].c_str(), "readCard did not return within 3 s (cycle 5)");
    EXPECT_STREQ(verdict.reasons[2].c_str(), "2 call-log line(s) could not be written");
    EXPECT_STREQ(verdict.reasons[3].c_str(), "7 call(s) could not be written to the recording");
    RunEnd recordingOnly;
    recordingOnly.callsNotRecorded = 1;
    EXPECT_TRUE(JudgeRun(BurnInFigures(), recordingOnly).failed) << "a recording cut short fails a run alone";
}

// A finished run that made no cycle never passes, and says why; a checkpoint
// before the first cycle is not a verdict yet.
struct NoCycleRow {
    const char* fault;
    std::uint32_t cycles;
    bool finished;
    bool stopped;
    bool reportRefused;
    bool timedOut;
    const char* lastReason;  // null: none
};

std::ostream& operator<<(std::ostream& os, const NoCycleRow& row)
{
    return os << row.fault;
}

class NoCycleTest : public ::testing::TestWithParam<NoCycleRow> {};

TEST_P(NoCycleTest, SaysItDidNotRun)
{
    const NoCycleRow& row = GetParam();
    BurnInFigures figures;
    figures.cyclesDone = row.cycles;
    figures.stopped = row.stopped;
    RunEnd end;
    end.finished = row.finished;
    end.reportRefused = row.reportRefused;
    end.timedOut = row.timedOut;
    end.timedOutOperation = Operation::OpenDevice;
    end.timeoutSeconds = 60;
    const RunVerdict verdict = JudgeRun(figures, end);
    if (!row.lastReason) {
        EXPECT_FALSE(verdict.failed);
        EXPECT_EQ(verdict.reasonCount, 0u);
        return;
    }
    EXPECT_TRUE(verdict.failed);
    ASSERT_GE(verdict.reasonCount, 1u);
    EXPECT_STREQ(verdict.reasons[verdict.reasonCount - 1].c_str(), row.lastReason);
}

INSTANTIATE_TEST_SUITE_P(Rows, NoCycleTest, ::testing::Values(
    NoCycleRow{"one cycle passes", 1, true, false, false, false, nullptr},
    NoCycleRow{"a checkpoint before the first cycle", 0, false, false, false, false, nullptr},
    NoCycleRow{"the report refused at the start", 0, true, false, true, false,
               "did not run: the report could not be written before the device was opened"},
    NoCycleRow{"stopped before the first cycle", 0, true, true, false, false,
               "did not run: no cycle finished before the stop"},
    NoCycleRow{"ended with no cycle", 0, true, false, false, false, "did not run: no cycle finished"},
    NoCycleRow{"a hang says why itself", 0, true, false, false, true,
               "OpenDevice did not return within 60 s (cycle 0)"}));

TEST(Verdict, CheckpointsNotWrittenFailTheRunWithTheSystemsCode)
{
    RunEnd end;
    end.checkpointsNotWritten = 3;
    end.checkpointError = 5;
    BurnInFigures figures;
    figures.cyclesDone = 1;
    const RunVerdict verdict = JudgeRun(figures, end);
    ASSERT_EQ(verdict.reasonCount, 1u);
    EXPECT_STREQ(verdict.reasons[0].c_str(), "3 checkpoint(s) of the report could not be written (error 5)");
    EXPECT_EQ(BurnInExitCode(verdict), 1) << "a lost checkpoint is a failure, like a lost log line";
}

// What the library took and held from every round is a leak, named exactly; a
// table made once is not; more leaks than the verdict names are said to be; a
// checkpoint names none, the run not having ended.
TEST(Verdict, LeaksInWhatTheLibraryTookAreNamed)
{
    std::vector<std::uint64_t> memory(taken::Ledger::MemoryFor(1000) / 8 + 1);
    taken::Ledger ledger(memory.data(), memory.size() * 8, 1000);
    ledger.AddModule("Mervik.dll", 0x10000000, 0x10000);
    constexpr std::uint8_t kStatus = 2;
    constexpr std::uint8_t kRead = 3;
    for (std::uintptr_t cycle = 0; cycle < 100; ++cycle) {
        ledger.BeginCall(kStatus);
        if (cycle == 0)
            ledger.Take(taken::Kind::Heap, 0x900000, 64, kStatus, ledger.Place(0x10000100), true);
        ledger.EndCall();
        ledger.BeginCall(kRead);
        for (std::uintptr_t site = 0; site < kMaxLeakReasons + 1; ++site)
            ledger.Take(taken::Kind::Event, 0x1000 + 0x100 * cycle + 4 * site, 0, kRead,
                        ledger.Place(0x10001A2B + site), true);
        ledger.EndCall();
    }
    // The cycles made: a run that made none fails for that alone.
    BurnInFigures figures;
    figures.cyclesDone = 100;
    taken::SetActive(&ledger);
    const RunVerdict verdict = JudgeRun(figures);
    RunEnd checkpoint;
    checkpoint.finished = false;
    const RunVerdict early = JudgeRun(figures, checkpoint);
    taken::SetActive(nullptr);
    ASSERT_EQ(verdict.reasonCount, kMaxLeakReasons + 1);
    EXPECT_TRUE(verdict.failed);
    EXPECT_STREQ(verdict.reasons[0].c_str(),
                 "readCard opens an event at Mervik.dll+0x1A2B and never closes it: 100 of 100 calls");
    EXPECT_STREQ(verdict.reasons[kMaxLeakReasons].c_str(), "more leaks in what the library took: see the report");
    EXPECT_EQ(early.reasonCount, 0u);
    EXPECT_FALSE(JudgeRun(figures).failed) << "no ledger, no leak";
}

}  // namespace

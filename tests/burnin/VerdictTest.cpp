// The verdict's reasons beyond the figures and the order of the exit codes.
#include "Verdict.h"

#include <gtest/gtest.h>

namespace {

struct ExitRow {
    const char* fault;  // what a failure of the row would catch
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
    figures.incomplete = row.failed;
    figures.stopped = row.stopped;
    RunEnd end;
    end.timedOut = row.timedOut;
    EXPECT_EQ(BurnInExitCode(JudgeRun(figures, end), row.reportWritten), row.exitCode);
}

INSTANTIATE_TEST_SUITE_P(Rows, ExitCodeTest, ::testing::Values(
    ExitRow{"a clean run", false, false, false, true, 0},
    ExitRow{"stopped", false, true, false, true, 4},
    ExitRow{"the files lost outrank a stop", false, true, false, false, 3},
    ExitRow{"a failure outranks the files lost", true, false, false, false, 1},
    ExitRow{"a failure outranks a stop", true, true, false, true, 1},
    ExitRow{"a call that did not return outranks all", true, true, true, false, 5}));

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
    const RunVerdict verdict = JudgeRun(figures, end);
    ASSERT_EQ(verdict.reasonCount, 3u);
    EXPECT_STREQ(verdict.reasons[0].c_str(), "readCard did not return within 3 s (cycle 5)");
    EXPECT_STREQ(verdict.reasons[2].c_str(), "2 call-log line(s) could not be written");
}

TEST(Verdict, CheckpointsNotWrittenFailTheRunWithTheSystemsCode)
{
    RunEnd end;
    end.checkpointsNotWritten = 3;
    end.checkpointError = 5;
    const RunVerdict verdict = JudgeRun(BurnInFigures(), end);
    ASSERT_EQ(verdict.reasonCount, 1u);
    EXPECT_STREQ(verdict.reasons[0].c_str(), "3 checkpoint(s) of the report could not be written (error 5)");
    EXPECT_EQ(BurnInExitCode(verdict), 1) << "a lost checkpoint is a failure, like a lost log line";
}

}  // namespace

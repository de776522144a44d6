// The verdict's reasons beyond the figures and the order of the exit codes.
#include "Verdict.h"

#include <gtest/gtest.h>

#include <vector>

#include "Ledger.h"

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
    taken::SetActive(&ledger);
    const RunVerdict verdict = JudgeRun(BurnInFigures());
    RunEnd checkpoint;
    checkpoint.finished = false;
    const RunVerdict early = JudgeRun(BurnInFigures(), checkpoint);
    taken::SetActive(nullptr);
    ASSERT_EQ(verdict.reasonCount, kMaxLeakReasons + 1);
    EXPECT_TRUE(verdict.failed);
    EXPECT_STREQ(verdict.reasons[0].c_str(),
                 "readCard opens an event at Mervik.dll+0x1A2B and never closes it: 100 of 100 calls");
    EXPECT_STREQ(verdict.reasons[kMaxLeakReasons].c_str(), "more leaks in what the library took: see the report");
    EXPECT_EQ(early.reasonCount, 0u);
    EXPECT_FALSE(JudgeRun(BurnInFigures()).failed) << "no ledger, no leak";
}

}  // namespace

// The burn-in session's rules without a window: the order of the library calls,
// the report proven before the first call, the checkpoints, the timeout's report
// and text, and the exit code, against a world that records what it was asked.
#include "BurnInSession.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "CardInfoCommand.h"
#include "DeviceCommands.h"
#include "ScriptedCalls.h"

namespace {

using burnin::BurnInSession;
using burnin::SessionRequest;
using burnin::StepResult;

// A report the session asked for: whether the run had finished, the clock then,
// the cycles recorded by then, the cycles in the status calls' series (the
// abandoned one too), and how the run stood.
struct ReportWrite {
    bool finished;
    std::uint64_t at;
    std::uint32_t cyclesDone;
    std::uint64_t folded;
    RunEnd end;
};

// Answers every command with the library's calls as the stand-in makes them
// (through the session, as the observed reader does), and records the commands,
// the reports and the texts told. The clock moves `commandMs` a command.
class FakeWorld final : public burnin::SessionWorld {
public:
    BurnInSession* session = nullptr;
    std::vector<std::string> commands;  // the operation each command began with ("card" for the eleven reads)
    std::vector<ReportWrite> reports;
    std::vector<std::wstring> told;
    std::uint32_t samples = 0;
    std::uint64_t now = 5000;
    std::uint64_t commandMs = 0;
    std::uint64_t lostLines = 0;
    // The report's files: refused at the first `refusals` writes.
    int refusals = 0;
    // Before the command of this number (counting from 0) runs.
    std::function<void(std::size_t)> before = [](std::size_t) {};
    std::int32_t readResult = 0;

    void RunCommand(Command command) override
    {
        before(commands.size());
        now += commandMs;
        ScriptedCall call;
        if (command == &RunOpenDevice) {
            commands.push_back("OpenDevice");
            call.operation = Operation::OpenDevice;
            call.argument = 1001;
        } else if (command == &RunDeviceStatus) {
            commands.push_back("getDeviceStatus");
            call.text = "ok";
        } else if (command == &RunReadCard) {
            commands.push_back("readCard");
            call.operation = Operation::readCard;
            call.result = readResult;
        } else if (command == &RunReadCardInfo) {
            commands.push_back("card");
            ReadCard(*session, "QUJD");
            return;
        } else if (command == &RunCloseDevice) {
            commands.push_back("CloseDevice");
            call.operation = Operation::CloseDevice;
        } else {
            commands.push_back("?");
            return;
        }
        Tell(*session, call);
    }
    burnin::ReportOutcome WriteReport(const BurnInFigures& figures, const RunEnd& end) override
    {
        const FoldedSeries& series = figures.operations[static_cast<int>(Operation::getDeviceStatus)].cycleDurations;
        reports.push_back({end.finished, now, figures.cyclesDone, series.cycles(), end});
        if (refusals > 0) {
            --refusals;
            return {false, 32};  // another program holds the file
        }
        return {true, 0};
    }
    void AppendErrorReason(burnin::UnattendedText& text, std::uint32_t error) override
    {
        text.Append(L" 错误码：").AppendDecimal(error);
    }
    void CountLostWrites(RunEnd& end) override { end.logWritesFailed = lostLines; }
    void TellUnattended(const wchar_t* text) override { told.push_back(text); }
    std::uint64_t Milliseconds() override { return now; }
    ResourceSample SampleResources(std::uint32_t cyclesDone) override
    {
        ++samples;
        ResourceSample sample;
        sample.cycle = cyclesDone;
        return sample;
    }
};

// A session of `cycles` over `world`, with a report unless `reportPath` is null.
struct SessionRun {
    FakeWorld world;
    BurnInSession session;
    std::size_t steps = 0;

    SessionRun(std::uint32_t cycles, bool fromWindow, const wchar_t* reportPath = L"D:\\r\\run.html")
        : session(SessionRequest{cycles, reportPath, SuccessCodes(), fromWindow}, world, nullptr)
    {
        world.session = &session;
    }
    // Steps until the run is over (at most a bound, so that a loop fails, not hangs).
    void ToEnd()
    {
        while (steps < 1000000 && session.RunStep() == StepResult::Next)
            ++steps;
    }
    // The commands as one text: "OpenDevice getDeviceStatus readCard card ...".
    std::string Commands() const
    {
        std::string all;
        for (const std::string& c : world.commands)
            all += (all.empty() ? "" : " ") + c;
        return all;
    }
};

std::string Cycles(int count)
{
    std::string all;
    for (int i = 0; i < count; ++i)
        all += " getDeviceStatus readCard card";
    return all;
}

TEST(BurnInSession, ProvesTheReportOpensRunsTheCyclesClosesAndReports)
{
    SessionRun run(3, false);
    run.ToEnd();
    EXPECT_EQ(run.Commands(), "OpenDevice" + Cycles(3) + " CloseDevice");
    ASSERT_GE(run.world.reports.size(), 2u);
    // The first write comes before any call: the checkpoint that proves the folder.
    EXPECT_FALSE(run.world.reports.front().finished);
    EXPECT_EQ(run.world.reports.front().cyclesDone, 0u);
    EXPECT_TRUE(run.world.reports.back().finished);
    EXPECT_EQ(run.world.reports.back().cyclesDone, 3u);
    for (std::size_t i = 0; i + 1 < run.world.reports.size(); ++i)
        EXPECT_FALSE(run.world.reports[i].finished) << "report " << i << ": only the last is the end";
    EXPECT_EQ(run.session.ExitCode(), 0);
    EXPECT_FALSE(run.session.Failed());
    EXPECT_TRUE(run.session.ReportWritten());
    EXPECT_TRUE(run.world.told.empty());
    EXPECT_EQ(run.session.Figures().operations[static_cast<int>(Operation::GetCardInfo)].calls, 33u);
    EXPECT_TRUE(run.session.CycleBegun());
}

TEST(BurnInSession, ARunWithoutAReportWritesNoneAndPasses)
{
    SessionRun run(2, false, nullptr);
    run.ToEnd();
    EXPECT_EQ(run.Commands(), "OpenDevice" + Cycles(2) + " CloseDevice");
    EXPECT_TRUE(run.world.reports.empty());
    EXPECT_EQ(run.session.ExitCode(), 0);
    EXPECT_FALSE(run.session.ReportWritten());
}

// The report that cannot be written before the first call: no call is made.
// Unattended, the run tells why and ends with 3; from the window, it ends at
// once and its verdict says that it did not run, and why, in the report too
// when that can be written at the end.
struct RefusedRow {
    const char* name;
    bool fromWindow;
    int refusals;          // of the report's writes
    bool writtenAtTheEnd;  // the report says why the run did not start
};

std::ostream& operator<<(std::ostream& os, const RefusedRow& row)
{
    return os << row.name;
}

class ReportRefusedTest : public ::testing::TestWithParam<RefusedRow> {};

TEST_P(ReportRefusedTest, NoCallIsMadeAndTheRunDoesNotPass)
{
    const RefusedRow& row = GetParam();
    SessionRun run(5, row.fromWindow);
    run.world.refusals = row.refusals;
    EXPECT_EQ(run.session.RunStep(), StepResult::Over);
    EXPECT_EQ(run.Commands(), "") << "not even OpenDevice";
    EXPECT_TRUE(run.session.Failed());
    EXPECT_FALSE(run.session.CycleBegun());
    if (!row.fromWindow) {
        EXPECT_EQ(run.session.ExitCode(), 3);
        ASSERT_EQ(run.world.told.size(), 1u);
        EXPECT_EQ(run.world.told[0], L"无法写入老化测试报告 D:\\r\\run.html 错误码：32：未打开设备，老化测试未开始");
        EXPECT_EQ(run.world.reports.size(), 1u) << "no second try";
        return;
    }
    EXPECT_TRUE(run.world.told.empty()) << "the window's box says it";
    ASSERT_EQ(run.world.reports.size(), 2u) << "tried once more at the end";
    EXPECT_TRUE(run.world.reports[1].finished);
    EXPECT_TRUE(run.world.reports[1].end.reportRefused);
    EXPECT_EQ(run.session.ReportWritten(), row.writtenAtTheEnd);
    EXPECT_TRUE(run.session.End().reportRefused);
    const RunVerdict verdict = JudgeRun(run.session.Figures(), run.session.End());
    EXPECT_TRUE(verdict.failed);
    ASSERT_EQ(verdict.reasonCount, 1u);
    EXPECT_STREQ(verdict.reasons[0].c_str(),
                 "did not run: the report could not be written before the device was opened");
    EXPECT_EQ(BurnInExitCode(verdict), 3) << "what the report's JSON gives, written or not";
}

INSTANTIATE_TEST_SUITE_P(Rows, ReportRefusedTest, ::testing::Values(
    RefusedRow{"Unattended", false, 1000, false},
    RefusedRow{"FromTheWindow", true, 1000, false},
    RefusedRow{"FromTheWindowWrittenAtTheEnd", true, 1, true}),
    [](const ::testing::TestParamInfo<RefusedRow>& row) { return std::string(row.param.name); });

// The checkpoints: at every resource sample while the cycles run and, whatever
// the cycles take, never more than 30 s apart.
TEST(BurnInSession, CheckpointsAtEverySampleAndEveryThirtySeconds)
{
    // A fast library: the samples alone (before the first cycle, every tenth
    // cycle of 1,000, before the close), after the checkpoint that proves the folder.
    SessionRun fast(1000, false);
    fast.ToEnd();
    const std::size_t atSamples = 1 + 100 + 1;
    EXPECT_EQ(fast.world.reports.size(), atSamples + 1) << "and the end";
    EXPECT_EQ(fast.world.samples, atSamples + 1) << "also at the end";

    // A slow one: 11 s a command, so that three commands pass 30 s.
    SessionRun slow(1000, false);
    slow.world.commandMs = 11000;
    slow.ToEnd();
    EXPECT_GE(slow.world.reports.size(), 3002u / 3) << "3,002 commands, a checkpoint every third";
    for (std::size_t i = 1; i + 1 < slow.world.reports.size(); ++i) {
        const std::uint64_t gap = slow.world.reports[i].at - slow.world.reports[i - 1].at;
        EXPECT_LE(gap, 33000u) << "checkpoint " << i;
        if (gap < 33000u) {
            EXPECT_EQ(slow.world.reports[i].cyclesDone % 10, 0u) << "checkpoint " << i << ": due to a sample";
        }
    }
}

// The watchdog claims a call that ran past the timeout: the report of the
// cycles before, the call as the first reason, the text for the standard error
// and the log, exit status 5. Only a call inside a cycle names one.
struct TimeoutRow {
    const char* name;
    std::size_t command;  // the command that hangs (counting from 0: the open)
    Operation operation;
    std::uint32_t cycle;  // as the report names it
    std::uint32_t cyclesDone;
    const wchar_t* told;
};

std::ostream& operator<<(std::ostream& os, const TimeoutRow& row)
{
    return os << row.name;
}

class SessionTimeoutTest : public ::testing::TestWithParam<TimeoutRow> {};

TEST_P(SessionTimeoutTest, WritesTheReportAndEndsWithFive)
{
    const TimeoutRow& row = GetParam();
    SessionRun run(3, false);
    run.world.before = [&run, &row](std::size_t command) {
        if (command == row.command) {
            EXPECT_EQ(run.session.TimedOut(row.operation, 7), 5);
        }
    };
    run.ToEnd();
    std::vector<ReportWrite> ends;
    for (const ReportWrite& report : run.world.reports)
        if (report.end.timedOut)
            ends.push_back(report);
    // The first: the fake world goes on where the process would have ended.
    ASSERT_FALSE(ends.empty());
    EXPECT_TRUE(ends[0].finished);
    EXPECT_EQ(ends[0].end.timedOutOperation, row.operation);
    EXPECT_EQ(ends[0].end.timeoutSeconds, 7u);
    EXPECT_EQ(ends[0].end.timedOutCycle, row.cycle);
    EXPECT_EQ(ends[0].cyclesDone, row.cyclesDone) << "the cycle under way is not counted";
    EXPECT_EQ(ends[0].folded, row.cycle == 0 ? row.cyclesDone : row.cycle) << "but its calls are";
    ASSERT_FALSE(run.world.told.empty());
    EXPECT_EQ(run.world.told[0], row.told);
    const RunVerdict verdict = JudgeRun(run.session.Figures(), ends[0].end);
    EXPECT_EQ(BurnInExitCode(verdict), 5);
}

INSTANTIATE_TEST_SUITE_P(Rows, SessionTimeoutTest, ::testing::Values(
    TimeoutRow{"Open", 0, Operation::OpenDevice, 0, 0, L"读卡器库 OpenDevice 调用 7 秒内未返回（第 0 轮），老化测试结束"},
    TimeoutRow{"FirstStatus", 1, Operation::getDeviceStatus, 1, 0,
               L"读卡器库 getDeviceStatus 调用 7 秒内未返回（第 1 轮），老化测试结束"},
    TimeoutRow{"SecondCyclesRead", 5, Operation::readCard, 2, 1,
               L"读卡器库 readCard 调用 7 秒内未返回（第 2 轮），老化测试结束"},
    TimeoutRow{"LastCardRead", 9, Operation::GetCardInfo, 3, 2,
               L"读卡器库 GetCardInfo 调用 7 秒内未返回（第 3 轮），老化测试结束"},
    TimeoutRow{"Close", 10, Operation::CloseDevice, 0, 3, L"读卡器库 CloseDevice 调用 7 秒内未返回（第 0 轮），老化测试结束"}),
    [](const ::testing::TestParamInfo<TimeoutRow>& row) { return std::string(row.param.name); });

// How a run ends: its exit code and whether it passed.
struct EndRow {
    const char* name;
    std::size_t stopAt;  // the operator stops before this command (SIZE_MAX: never)
    std::int32_t readResult;
    std::uint64_t lostLines;
    std::string commands;
    std::uint32_t cyclesDone;
    std::uint64_t folded;  // cycles in the series: a stopped one's calls too
    bool failed;
    int exitCode;
};

std::ostream& operator<<(std::ostream& os, const EndRow& row)
{
    return os << row.name;
}

class SessionEndTest : public ::testing::TestWithParam<EndRow> {};

TEST_P(SessionEndTest, EndsAsTheRowSays)
{
    const EndRow& row = GetParam();
    SessionRun run(3, false);
    run.world.readResult = row.readResult;
    run.world.lostLines = row.lostLines;
    run.world.before = [&run, &row](std::size_t command) {
        if (command == row.stopAt)
            run.session.Stop();
    };
    run.ToEnd();
    EXPECT_EQ(run.Commands(), row.commands);
    EXPECT_EQ(run.session.Figures().cyclesDone, row.cyclesDone);
    EXPECT_EQ(run.world.reports.back().folded, row.folded);
    EXPECT_EQ(run.session.Failed(), row.failed);
    EXPECT_EQ(run.session.ExitCode(), row.exitCode);
    EXPECT_TRUE(run.world.reports.back().finished);
}

INSTANTIATE_TEST_SUITE_P(Rows, SessionEndTest, ::testing::Values(
    EndRow{"Clean", SIZE_MAX, 0, 0, "OpenDevice" + Cycles(3) + " CloseDevice", 3, 3, false, 0},
    EndRow{"FailedReads", SIZE_MAX, -3, 0, "OpenDevice" + Cycles(3) + " CloseDevice", 3, 3, true, 1},
    EndRow{"LostLogLines", SIZE_MAX, 0, 2, "OpenDevice" + Cycles(3) + " CloseDevice", 3, 3, true, 1},
    // Stopped while the second cycle reads: that cycle is not finished.
    EndRow{"StoppedMidway", 5, 0, 0, "OpenDevice" + Cycles(1) + " getDeviceStatus readCard CloseDevice", 1, 2, false, 4},
    // Stopped during the open: no cycle, so no pass, though nothing failed.
    EndRow{"StoppedBeforeTheFirstCycle", 0, 0, 0, "OpenDevice CloseDevice", 0, 0, true, 4},
    EndRow{"StoppedInTheFirstCycle", 2, 0, 0, "OpenDevice getDeviceStatus readCard CloseDevice", 0, 1, true, 4},
    // A stop during the last card read stopped nothing.
    EndRow{"StoppedInTheLastStep", 9, 0, 0, "OpenDevice" + Cycles(3) + " CloseDevice", 3, 3, false, 0}),
    [](const ::testing::TestParamInfo<EndRow>& row) { return std::string(row.param.name); });

// The progress line's pace counts from the first cycle's start, not the open.
TEST(BurnInSession, ThePaceCountsFromTheFirstCycle)
{
    SessionRun run(2, false);
    run.world.commandMs = 100;
    run.world.before = [&run](std::size_t command) {
        if (command == 0)
            run.world.now = 90000;  // the open takes long
    };
    run.ToEnd();
    EXPECT_EQ(run.session.FirstCycleBegan(), 90100u);
}

}  // namespace

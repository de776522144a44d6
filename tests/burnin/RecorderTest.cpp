#include "Recorder.h"

#include <gtest/gtest.h>

#include "ScriptedCalls.h"

namespace {

constexpr std::uint32_t kAccessViolation = 0xC0000005;

ScriptedCall Status(std::int32_t result, const std::string& text, std::uint64_t ns = 1000)
{
    ScriptedCall c;
    c.result = result;
    c.text = text;
    c.nanoseconds = ns;
    return c;
}

// A scripted run: open, four cycles with a status code change, a fault, an
// overrun, a breach, a failed field and a card that changed, then close.
TEST(BurnInRecorder, CountsAScriptedRun)
{
    BurnInRecorder recorder(4);
    ScriptedCall open;
    open.operation = "OpenDevice";
    open.argument = 1001;
    Tell(recorder, open);

    const std::string photo(4000, 'A');
    // Cycle 1: all well; it becomes the reference.
    recorder.BeginCycle(1);
    Tell(recorder, Status(0, "\xC9\xE8\xB1\xB8\xD5\xFD\xB3\xA3", 2000));  // GBK 设备正常
    ScriptedCall read = Status(0, "ok", 3000);
    read.operation = "readCard";
    Tell(recorder, read);
    ReadCard(recorder, photo);
    recorder.EndCycle();

    // Cycle 2: another status code (counted, not failed), readCard faults twice
    // at one place, the address field and the photo differ.
    recorder.BeginCycle(2);
    Tell(recorder, Status(2, "busy"));
    ScriptedCall fault;
    fault.operation = "readCard";
    fault.raised = true;
    fault.exceptionCode = kAccessViolation;
    fault.address = 0x1234;
    Tell(recorder, fault);
    Tell(recorder, fault);
    for (std::int32_t field : kComparedFields) {
        ScriptedCall c;
        c.operation = "GetCardInfo";
        c.argument = field;
        c.value = field == 4 ? "2 Other Road" : CardField(field);
        Tell(recorder, c);
    }
    ScriptedCall changedPhoto;
    changedPhoto.operation = "GetCardInfo";
    changedPhoto.argument = 11;
    changedPhoto.value = photo + "B";
    Tell(recorder, changedPhoto);
    recorder.EndCycle();

    // Cycle 3: a breach, an overrun of the photo buffer, a field that failed:
    // the read is incomplete and is not compared.
    recorder.BeginCycle(3);
    ScriptedCall breach = Status(0, "ok");
    breach.breaches.push_back(ContractBreach{ContractRule::Register, "EBX", {1, 0}, {2, 0}, true});
    breach.breaches.push_back(ContractBreach{ContractRule::DirectionFlag, "DF", {0, 0}, {1, 0}, true});
    Tell(recorder, breach);
    Tell(recorder, breach);
    ScriptedCall failedField;
    failedField.operation = "GetCardInfo";
    failedField.argument = 0;
    failedField.result = 5;
    failedField.text = "no card";
    Tell(recorder, failedField);
    ScriptedCall overrun;
    overrun.operation = "GetCardInfo";
    overrun.argument = 11;
    overrun.raised = true;
    overrun.exceptionCode = kAccessViolation;
    overrun.overrun = mervik::kPhotoTextBufferSize;
    Tell(recorder, overrun);
    recorder.EndCycle();

    // Cycle 4: the same card as the reference.
    recorder.BeginCycle(4);
    Tell(recorder, Status(0, "other text, same code"));
    ReadCard(recorder, photo);
    recorder.RecordMessage(L"读卡器库 readCard 调用异常");
    recorder.RecordMessage(L"读卡器库 readCard 调用异常");
    recorder.EndCycle();
    recorder.Stop();

    const BurnInFigures& f = recorder.Figures();
    EXPECT_EQ(f.cyclesDone, 4u);
    EXPECT_TRUE(f.stopped);

    const OperationFigures& status = f.operations[static_cast<int>(Operation::getDeviceStatus)];
    EXPECT_EQ(status.calls, 5u);
    ASSERT_EQ(status.results.size(), 2u);
    EXPECT_EQ(status.results[0].code, 0);
    EXPECT_EQ(status.results[0].count, 4u);
    EXPECT_EQ(status.results[0].text, "设备正常");  // the first text, decoded from GBK
    EXPECT_EQ(status.results[1].code, 2);
    EXPECT_EQ(status.results[1].firstCycle, 2u);
    EXPECT_EQ(status.failedCalls, 2u);  // the breaches only: a status code is not a failure
    EXPECT_EQ(status.breaches, 4u);
    ASSERT_EQ(status.breachGroups.size(), 2u);
    EXPECT_EQ(status.breachGroups[0].name, "EBX");
    EXPECT_EQ(status.breachGroups[0].count, 2u);
    EXPECT_EQ(status.breachGroups[0].firstAfter[0], 2u);
    EXPECT_EQ(status.failedCycles, std::vector<std::uint32_t>{3});
    EXPECT_EQ(status.cycleDurationUs, (std::vector<float>{2, 1, 2, 1}));

    const OperationFigures& readCard = f.operations[static_cast<int>(Operation::readCard)];
    EXPECT_EQ(readCard.faults, 2u);
    ASSERT_EQ(readCard.faultGroups.size(), 1u);  // identical faults grouped
    EXPECT_EQ(readCard.faultGroups[0].count, 2u);
    EXPECT_EQ(readCard.faultGroups[0].offset, 0x1234u);  // in no module: the address
    EXPECT_EQ(readCard.failedCycles, std::vector<std::uint32_t>{2});  // once per cycle

    const OperationFigures& info = f.operations[static_cast<int>(Operation::GetCardInfo)];
    EXPECT_EQ(info.calls, 11u * 3 + 2);
    EXPECT_EQ(info.overruns, 1u);
    EXPECT_EQ(info.faults, 0u);  // an overrun is not counted as a fault too
    ASSERT_EQ(info.overrunGroups.size(), 1u);
    EXPECT_EQ(info.overrunGroups[0].bufferSize, mervik::kPhotoTextBufferSize);
    EXPECT_EQ(info.failedCalls, 2u);
    EXPECT_EQ(info.failedCycles, std::vector<std::uint32_t>{3});
    EXPECT_EQ(f.operations[static_cast<int>(Operation::OpenDevice)].failedCalls, 0u);

    const Consistency& c = f.consistency;
    ASSERT_TRUE(c.haveReference);
    EXPECT_EQ(c.referenceCycle, 1u);
    EXPECT_EQ(c.photoLength, 4000u);
    EXPECT_EQ(c.readsCompared, 2u);  // cycles 2 and 4; 3 was incomplete
    EXPECT_EQ(c.readsDiffered, 1u);
    ASSERT_EQ(c.differences.size(), 2u);
    EXPECT_EQ(c.differences[0].field, 4);
    EXPECT_EQ(c.differences[0].reference, "1 Example Road");
    EXPECT_EQ(c.differences[0].seen, "2 Other Road");
    EXPECT_EQ(c.differences[1].field, 11);
    EXPECT_NE(c.differences[1].seen.find("4001 characters"), std::string::npos);

    ASSERT_EQ(f.messages.size(), 1u);
    EXPECT_EQ(f.messages[0].count, 2u);
    EXPECT_EQ(f.messages[0].text, "读卡器库 readCard 调用异常");

    const RunVerdict verdict = JudgeRun(f);
    EXPECT_TRUE(verdict.failed);
    EXPECT_EQ(verdict.reasons.size(), 5u);  // readCard faults, status breaches, an overrun, a failure code, a difference
    EXPECT_EQ(BurnInExitCode(verdict), 1);
}

TEST(BurnInRecorder, ACleanRunPassesAndAStoppedOneSaysSo)
{
    BurnInRecorder recorder(2);
    for (std::uint32_t cycle = 1; cycle <= 2; ++cycle) {
        recorder.BeginCycle(cycle);
        Tell(recorder, Status(7, "no reader"));  // any status code is an answer
        ReadCard(recorder, "QUJD");
        recorder.EndCycle();
    }
    RunVerdict verdict = JudgeRun(recorder.Figures());
    EXPECT_FALSE(verdict.failed);
    EXPECT_EQ(BurnInExitCode(verdict), 0);
    recorder.Stop();
    verdict = JudgeRun(recorder.Figures());
    EXPECT_EQ(BurnInExitCode(verdict), 4);
}

}  // namespace

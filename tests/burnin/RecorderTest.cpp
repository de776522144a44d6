#include "Recorder.h"
#include "Verdict.h"

#include <gtest/gtest.h>

#include "ScriptedCalls.h"

namespace {

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
    open.operation = Operation::OpenDevice;
    open.argument = 1001;
    Tell(recorder, open);

    const std::string photo(4000, 'A');
    // Cycle 1: all well; it becomes the reference.
    recorder.BeginCycle(1);
    Tell(recorder, Status(0, "\xC9\xE8\xB1\xB8\xD5\xFD\xB3\xA3", 2000));  // GBK 设备正常
    ScriptedCall read = Status(0, "ok", 3000);
    read.operation = Operation::readCard;
    Tell(recorder, read);
    ReadCard(recorder, photo);
    recorder.EndCycle();

    // Cycle 2: another status code than the usual 0 (a failed call), readCard faults twice
    // at one place, the address field and the photo differ.
    recorder.BeginCycle(2);
    Tell(recorder, Status(2, "busy"));
    ScriptedCall fault;
    fault.operation = Operation::readCard;
    fault.raised = true;
    fault.exceptionCode = kAccessViolation;
    fault.address = 0x1234;
    Tell(recorder, fault);
    Tell(recorder, fault);
    for (std::int32_t field : kComparedFields) {
        ScriptedCall c;
        c.operation = Operation::GetCardInfo;
        c.argument = field;
        c.value = field == 4 ? "2 Other Road" : CardField(field);
        Tell(recorder, c);
    }
    ScriptedCall changedPhoto;
    changedPhoto.operation = Operation::GetCardInfo;
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
    failedField.operation = Operation::GetCardInfo;
    failedField.argument = 0;
    failedField.result = 5;
    failedField.text = "no card";
    Tell(recorder, failedField);
    ScriptedCall overrun;
    overrun.operation = Operation::GetCardInfo;
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
    EXPECT_EQ(Str(status.results[0].text), "设备正常");  // the first text, decoded from GBK
    EXPECT_EQ(status.results[1].code, 2);
    EXPECT_EQ(status.results[1].firstCycle, 2u);
    EXPECT_EQ(status.usualCode, 0);
    EXPECT_EQ(status.otherCodeCalls, 1u);
    EXPECT_EQ(status.failedCalls, 3u);  // the breaches and the other code
    EXPECT_EQ(status.breaches, 4u);
    ASSERT_EQ(status.breachGroups.size(), 2u);
    EXPECT_EQ(Str(status.breachGroups[0].name), "EBX");
    EXPECT_EQ(status.breachGroups[0].count, 2u);
    EXPECT_EQ(status.breachGroups[0].firstAfter[0], 2u);
    EXPECT_EQ(Vec(status.failedCycles), (std::vector<std::uint32_t>{2, 3}));
    EXPECT_EQ(Vec(status.cycleDurationUs), (std::vector<float>{2, 1, 2, 1}));

    const OperationFigures& readCard = f.operations[static_cast<int>(Operation::readCard)];
    EXPECT_EQ(readCard.faults, 2u);
    ASSERT_EQ(readCard.faultGroups.size(), 1u);  // identical faults grouped
    EXPECT_EQ(readCard.faultGroups[0].count, 2u);
    EXPECT_EQ(readCard.faultGroups[0].offset, 0x1234u);  // in no module: the address
    EXPECT_EQ(Vec(readCard.failedCycles), std::vector<std::uint32_t>{2});  // once per cycle

    const OperationFigures& info = f.operations[static_cast<int>(Operation::GetCardInfo)];
    EXPECT_EQ(info.calls, 11u * 3 + 2);
    EXPECT_EQ(info.overruns, 1u);
    EXPECT_EQ(info.faults, 0u);  // an overrun is not counted as a fault too
    ASSERT_EQ(info.overrunGroups.size(), 1u);
    EXPECT_EQ(info.overrunGroups[0].bufferSize, mervik::kPhotoTextBufferSize);
    EXPECT_EQ(info.failedCalls, 2u);
    EXPECT_EQ(Vec(info.failedCycles), std::vector<std::uint32_t>{3});
    EXPECT_EQ(f.operations[static_cast<int>(Operation::OpenDevice)].failedCalls, 0u);

    const Consistency& c = f.consistency;
    ASSERT_TRUE(c.haveReference);
    EXPECT_EQ(c.referenceCycle, 1u);
    EXPECT_EQ(c.photoLength, 4000u);
    EXPECT_EQ(c.readsCompared, 2u);  // cycles 2 and 4; 3 was incomplete
    EXPECT_EQ(c.readsDiffered, 1u);
    ASSERT_EQ(c.differences.size(), 2u);
    EXPECT_EQ(c.differences[0].field, 4);
    EXPECT_EQ(Str(c.differences[0].reference), "1 Example Road");
    EXPECT_EQ(Str(c.differences[0].seen), "2 Other Road");
    EXPECT_EQ(c.differences[1].field, 11);
    EXPECT_NE(Str(c.differences[1].seen).find("4001 characters"), std::string::npos);

    ASSERT_EQ(f.messages.size(), 1u);
    EXPECT_EQ(f.messages[0].count, 2u);
    EXPECT_EQ(Str(f.messages[0].text), "读卡器库 readCard 调用异常");

    const RunVerdict verdict = JudgeRun(f);
    EXPECT_TRUE(verdict.failed);
    // readCard faults, status breaches and another code, an overrun, a failure code, a difference
    EXPECT_EQ(verdict.reasonCount, 6u);
    EXPECT_EQ(BurnInExitCode(verdict), 1);
}

// getDeviceStatus and readCard: the code returned most often is the usual
// answer, and every call that returned another failed.
TEST(BurnInRecorder, StatusCodesAreJudgedByTheUsualOne)
{
    const struct {
        const char* what;
        std::vector<std::int32_t> codes;  // readCard's, one per cycle; 99: it raised instead
        std::int32_t usual;
        std::uint64_t failedCalls;
        std::vector<std::uint32_t> failedCycles;
        const char* reason;  // the verdict's only reason, or null
    } rows[] = {
        {"any code can be the usual one", {0x90, 0x90, 0x90}, 0x90, 0, {}, nullptr},
        {"1 is usual, 0 is not", {1, 1, 0, 1}, 1, 1, {3}, "readCard returned another code than its usual 1 in 1 call(s)"},
        {"a tie goes to the first seen", {5, 7, 7, 5, 0}, 5, 3, {2, 3, 5},
         "readCard returned another code than its usual 5 in 3 call(s)"},
        {"a call that raised is counted once, its cycle once", {0, 99, 3, 0}, 0, 2, {2, 3}, nullptr},
    };
    for (const auto& row : rows) {
        BurnInRecorder recorder(static_cast<std::uint32_t>(row.codes.size()));
        for (std::uint32_t cycle = 1; cycle <= row.codes.size(); ++cycle) {
            recorder.BeginCycle(cycle);
            ScriptedCall read = Status(row.codes[cycle - 1], "");
            read.operation = Operation::readCard;
            read.raised = read.result == 99;
            Tell(recorder, read);
            recorder.EndCycle();
        }
        const OperationFigures& op = recorder.Figures().operations[static_cast<int>(Operation::readCard)];
        SCOPED_TRACE(row.what);
        EXPECT_EQ(op.usualCode, row.usual);
        EXPECT_EQ(op.failedCalls, row.failedCalls);
        EXPECT_EQ(Vec(op.failedCycles), row.failedCycles);
        const RunVerdict verdict = JudgeRun(recorder.Figures());
        EXPECT_EQ(verdict.failed, row.failedCalls != 0);
        if (row.reason != nullptr) {
            ASSERT_EQ(verdict.reasonCount, 1u);
            EXPECT_STREQ(verdict.reasons[0].c_str(), row.reason);
        }
    }
}

// A heap that gives nothing, or only the first block.
void* NoHeap(void*, std::size_t) { return nullptr; }
void* OneBlock(void* block, std::size_t size) { return block == nullptr ? std::realloc(block, size) : nullptr; }

TEST(Growing, ARefusedGrowthKeepsTheContentsAndSaysSo)
{
    GrowingArray<int, &NoHeap> none;
    EXPECT_FALSE(none.Append(1));
    EXPECT_TRUE(none.failed());
    EXPECT_TRUE(none.empty());
    GrowingArray<int, &OneBlock> some;
    for (int i = 0; i < 16; ++i) ASSERT_TRUE(some.Append(i));  // the first block holds 16
    EXPECT_FALSE(some.Append(16));
    EXPECT_TRUE(some.failed());
    EXPECT_EQ(some.size(), 16u);
    EXPECT_EQ(some.back(), 15);
    EXPECT_FALSE(GrowingArray<double>().Reserve(SIZE_MAX / 4));  // a size that wraps is refused, not asked for

    BasicGrowingText<&OneBlock> text;
    text.Append("0123456789").AppendDecimal(-42);
    EXPECT_STREQ(text.c_str(), "0123456789-42");
    text.Append(std::string(100, 'x').c_str());  // past the first block
    EXPECT_TRUE(text.failed());
    EXPECT_STREQ(text.c_str(), "0123456789-42");
    GrowingText whole;
    whole.Append(text);  // a failed part fails the whole
    EXPECT_TRUE(whole.failed());

    BurnInFigures figures;  // the recorder ran out of memory: the run fails and says why
    figures.incomplete = true;
    const RunVerdict verdict = JudgeRun(figures);
    EXPECT_EQ(BurnInExitCode(verdict), 1);
    EXPECT_STREQ(verdict.reasons[0].c_str(), "memory ran out during the run: the figures are incomplete");
}

TEST(BurnInRecorder, ACleanRunPassesAndAStoppedOneSaysSo)
{
    BurnInRecorder recorder(2);
    for (std::uint32_t cycle = 1; cycle <= 2; ++cycle) {
        recorder.BeginCycle(cycle);
        Tell(recorder, Status(7, "no reader"));  // the usual status code, whatever it is
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

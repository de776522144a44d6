#include "Recorder.h"
#include "Verdict.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "ScriptedCalls.h"

// GrowingElsewhere.cpp: a file that sees another std::max_align_t.
std::size_t SizeHeaderElsewhere();
GrowingText TextMadeElsewhere(const char* text);
void ReleaseElsewhere(GrowingText&& text);

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
    BurnInRecorder recorder;
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

    // Cycle 2: a status code other than 0 (a failed call), readCard faults twice
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
    EXPECT_EQ(Str(f.texts.View(status.results[0].text)), "设备正常");  // the first text, decoded from GBK
    EXPECT_EQ(status.results[1].code, 2);
    EXPECT_EQ(status.results[1].firstCycle, 2u);
    EXPECT_EQ(status.failureCodeCalls, 1u);
    EXPECT_EQ(status.failedCalls, 3u);  // the breaches and the other code
    EXPECT_EQ(status.breaches, 4u);
    ASSERT_EQ(status.breachGroups.size(), 2u);
    EXPECT_EQ(Str(status.breachGroups[0].name), "EBX");
    EXPECT_EQ(status.breachGroups[0].count, 2u);
    EXPECT_EQ(status.breachGroups[0].firstAfter[0], 2u);
    EXPECT_EQ(Vec(status.failedCycles), (std::vector<std::uint32_t>{2, 3}));
    EXPECT_EQ(Vec(status.cycleDurations), (std::vector<float>{2, 1, 2, 1}));

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
    EXPECT_EQ(c.referenceReads, 2u);  // cycles 1 and 4
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

// 0 is success unless declared otherwise; every other code is a failed call,
// however often it came; an operation that returned one failure code every time
// gets a hint naming the option that would declare it.
TEST(BurnInRecorder, CodesAreJudgedByTheDeclaredSuccessCodes)
{
    SuccessCodes hex90;
    hex90.Declare(Operation::readCard, 0x90);
    SuccessCodes zeroOrOne;
    zeroOrOne.Declare(Operation::readCard, 0);
    zeroOrOne.Declare(Operation::readCard, 1);
    const struct {
        const char* what;
        SuccessCodes success;
        std::vector<std::int32_t> codes;  // readCard's, one per cycle; 99: it raised instead
        std::uint64_t failedCalls;
        std::vector<std::uint32_t> failedCycles;
        const char* reason;  // the verdict's first reason, or null
        const char* hint;    // or null
    } rows[] = {
        {"0 is success by default", {}, {0, 0, 0}, 0, {}, nullptr, nullptr},
        {"a reader that never reads fails, with a hint", {}, {7, 7, 7}, 3, {1, 2, 3},
         "3 readCard call(s) returned a failure code",
         "readCard returned 7 in every call; if that is its success code, run with /success readCard=7"},
        {"a declared code is success, 0 no longer", hex90, {0x90, 0x90, 0}, 1, {3},
         "1 readCard call(s) returned a failure code", nullptr},
        {"a majority of failures does not make them the success", {}, {5, 5, 0, 5, 5}, 4, {1, 2, 4, 5},
         "4 readCard call(s) returned a failure code", nullptr},
        {"several codes declared", zeroOrOne, {1, 0, 2}, 1, {3}, "1 readCard call(s) returned a failure code", nullptr},
        {"a call that raised is counted once, its cycle once; no hint", {}, {3, 99, 3, 3}, 4, {1, 2, 3, 4},
         "1 readCard call(s) raised an exception", nullptr},
    };
    for (const auto& row : rows) {
        BurnInRecorder recorder(row.success);
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
        EXPECT_EQ(op.failedCalls, row.failedCalls);
        EXPECT_EQ(Vec(op.failedCycles), row.failedCycles);
        const RunVerdict verdict = JudgeRun(recorder.Figures());
        EXPECT_EQ(verdict.failed, row.failedCalls != 0);
        if (row.reason != nullptr) {
            ASSERT_GE(verdict.reasonCount, 1u);
            EXPECT_STREQ(verdict.reasons[0].c_str(), row.reason);
        }
        EXPECT_EQ(verdict.hintCount, row.hint ? 1u : 0u);
        if (row.hint != nullptr) {
            EXPECT_STREQ(verdict.hints[0].c_str(), row.hint);
        }
    }
}

// The reference is the complete read seen most often, not the first: a garbled
// first read is the one that differs. A cycle whose photo call failed read no
// whole card and is not compared.
TEST(BurnInRecorder, TheReferenceIsTheReadSeenMostOften)
{
    BurnInRecorder recorder;
    const char* photos[] = {"GARBLED", "QUJD", "QUJD", "QUJD", "QUJD"};
    for (std::uint32_t cycle = 1; cycle <= 5; ++cycle) {
        recorder.BeginCycle(cycle);
        if (cycle == 4) {  // fields as in cycle 1, the photo call failed
            for (std::int32_t field : kComparedFields) {
                ScriptedCall c;
                c.operation = Operation::GetCardInfo;
                c.argument = field;
                c.value = CardField(field);
                Tell(recorder, c);
            }
            ScriptedCall failedPhoto;
            failedPhoto.operation = Operation::GetCardInfo;
            failedPhoto.argument = mervik::kFieldPhoto;
            failedPhoto.result = 3;
            failedPhoto.value = "GARBLED";
            Tell(recorder, failedPhoto);
        } else {
            ReadCard(recorder, photos[cycle - 1]);
        }
        recorder.EndCycle();
    }
    const Consistency& c = recorder.Figures().consistency;
    ASSERT_TRUE(c.haveReference);
    EXPECT_EQ(c.referenceCycle, 2u);
    EXPECT_EQ(c.referenceReads, 3u);
    EXPECT_EQ(c.photoLength, 4u);
    EXPECT_EQ(c.readsCompared, 3u);  // four complete reads, cycle 4 not one
    EXPECT_EQ(c.readsDiffered, 1u);
    ASSERT_EQ(c.differences.size(), 1u);
    EXPECT_EQ(c.differences[0].cycle, 1u);
    EXPECT_EQ(c.differences[0].field, 11);
    EXPECT_NE(Str(c.differences[0].seen).find("7 characters"), std::string::npos);
    EXPECT_STREQ(JudgeRun(recorder.Figures()).reasons[1].c_str(), "1 card read(s) differed from the one read most often");
}

// Reads that tie: the one read first among those seen most often is the
// reference, and stays so until another is read more often.
TEST(BurnInRecorder, ATieGoesToTheReadSeenFirst)
{
    const struct {
        const char* reads;  // one letter per cycle: the card as read then
        std::uint32_t referenceCycle;
        std::uint64_t referenceReads, readsDiffered;
    } rows[] = {
        {"AB", 1, 1, 1},
        {"ABBA", 1, 2, 2},
        {"ABB", 2, 2, 1},
        {"ABBAA", 1, 3, 2},
        {"ABCCB", 2, 2, 3},
        {"AAB", 1, 2, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.reads);
        BurnInRecorder recorder;
        const std::string reads = row.reads;
        for (std::uint32_t cycle = 1; cycle <= reads.size(); ++cycle) {
            recorder.BeginCycle(cycle);
            ReadCard(recorder, std::string("QUJ") + reads[cycle - 1]);
            recorder.EndCycle();
        }
        const Consistency& c = recorder.Figures().consistency;
        ASSERT_TRUE(c.haveReference);
        EXPECT_EQ(c.referenceCycle, row.referenceCycle);
        EXPECT_EQ(c.referenceReads, row.referenceReads);
        EXPECT_EQ(c.readsCompared, reads.size() - 1);
        EXPECT_EQ(c.readsDiffered, row.readsDiffered);
        // Each other distinct read is listed once, at the first cycle that read it.
        std::vector<std::uint32_t> listed;
        for (const FieldDifference& d : c.differences)
            listed.push_back(d.cycle);
        std::vector<std::uint32_t> expected;
        for (std::uint32_t cycle = 1; cycle <= reads.size(); ++cycle)
            if (reads.find(reads[cycle - 1]) == cycle - 1 && cycle != row.referenceCycle)
                expected.push_back(cycle);
        EXPECT_EQ(listed, expected);
    }
}

// The leak verdict sees only the samples taken while the device was open: a leak
// that the close frees still shows (the report's tests hold the open's step).
TEST(BurnInRecorder, ALeakTheCloseFreesStillShows)
{
    BurnInRecorder recorder;
    auto sample = [&recorder](std::uint32_t cycle, std::uint64_t handles) {
        ResourceSample s;
        s.cycle = cycle;
        s.measured[1] = true;
        s.value[1] = handles;
        recorder.RecordResources(s);
    };
    sample(0, 10);
    recorder.BeginCycle(1);  // opens the window as OpenDevice does
    for (std::uint32_t cycle = 0; cycle <= 100; cycle += 10)
        sample(cycle, 60 + 2 * cycle);
    ScriptedCall close;
    close.operation = Operation::CloseDevice;
    Tell(recorder, close);
    sample(100, 10);
    const BurnInFigures& f = recorder.Figures();
    EXPECT_EQ(f.samples.size(), 11u);
    EXPECT_TRUE(f.haveBeforeOpen && f.haveAfterClose && f.afterClose.value[1] == 10);
    EXPECT_STREQ(JudgeRun(f).reasons[0].c_str(), "handles grew steadily (a leak)");
}

// The per-cycle series folded into columns, against the raw series: every
// column's cycles, min, max, mean and failed mark, before and after its pairs merged.
TEST(BurnInRecorder, FoldedColumnsMatchTheRawSeries)
{
    const struct {
        std::uint32_t cycles;
        std::uint64_t width;  // cycles per column at the end
    } rows[] = {{7, 1}, {2000, 1}, {2001, 2}, {9999, 8}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.cycles);
        BurnInRecorder recorder;
        std::vector<double> raw;  // microseconds per cycle
        std::vector<bool> failed;
        for (std::uint32_t cycle = 1; cycle <= row.cycles; ++cycle) {
            recorder.BeginCycle(cycle);
            // Two calls a cycle, added up; every 37th cycle one of them breaks the contract.
            const std::uint64_t ns = 1000 + (cycle * 7919u) % 5000, more = 300 + cycle % 11;
            Tell(recorder, Status(0, "", ns));
            ScriptedCall second = Status(0, "", more);
            if (cycle % 37 == 0)
                second.breaches.push_back(ContractBreach{ContractRule::DirectionFlag, "DF", {0, 0}, {1, 0}, true});
            Tell(recorder, second);
            recorder.EndCycle();
            raw.push_back(static_cast<double>(ns + more) / 1000.0);
            failed.push_back(cycle % 37 == 0);
        }
        const FoldedSeries& series = recorder.Figures().operations[static_cast<int>(Operation::getDeviceStatus)].cycleDurations;
        ASSERT_EQ(series.cycles(), row.cycles);
        ASSERT_EQ(series.width(), row.width);
        ASSERT_EQ(series.columns(), (row.cycles + row.width - 1) / row.width);
        for (std::size_t c = 0; c < series.columns(); ++c) {
            const std::size_t first = static_cast<std::size_t>(series.FirstCycle(c) - 1);
            const std::size_t end = std::min<std::size_t>(first + row.width, raw.size());
            const auto begin = raw.begin() + static_cast<std::ptrdiff_t>(first), stop = raw.begin() + static_cast<std::ptrdiff_t>(end);
            SCOPED_TRACE(c);
            EXPECT_EQ(series[c].cycles, end - first);
            EXPECT_FLOAT_EQ(series[c].min, static_cast<float>(*std::min_element(begin, stop)));
            EXPECT_FLOAT_EQ(series[c].max, static_cast<float>(*std::max_element(begin, stop)));
            EXPECT_NEAR(series[c].sum / static_cast<double>(series[c].cycles),
                        std::accumulate(begin, stop, 0.0) / static_cast<double>(end - first), 1e-9);
            EXPECT_EQ(series[c].failed, std::find(failed.begin() + static_cast<std::ptrdiff_t>(first),
                                                  failed.begin() + static_cast<std::ptrdiff_t>(end), true) !=
                                            failed.begin() + static_cast<std::ptrdiff_t>(end));
        }
    }
}

// A library that answers with a counter: a new code, text and fault place at every
// call. The first 64 of each are kept, the rest counted; verdicts stay exact.
TEST(BurnInRecorder, GroupsStopAtSixtyFourAndCountTheOthers)
{
    constexpr std::uint32_t kCycles = 200;
    BurnInRecorder recorder;
    for (std::uint32_t cycle = 1; cycle <= kCycles; ++cycle) {
        recorder.BeginCycle(cycle);
        ScriptedCall field;
        field.operation = Operation::GetCardInfo;
        field.argument = 0;
        field.result = static_cast<std::int32_t>(cycle);
        field.text = "error " + std::to_string(cycle) + std::string(1000, 'x');
        Tell(recorder, field);
        ScriptedCall fault;
        fault.operation = Operation::readCard;
        fault.raised = true;
        fault.exceptionCode = kAccessViolation;
        fault.address = 0x1000 + cycle;
        Tell(recorder, fault);
        ScriptedCall breach = Status(0, "ok");
        breach.breaches.push_back(ContractBreach{ContractRule::Register, cycle % 2 ? "EBX" : "ESI", {1, 0}, {2, 0}, true});
        Tell(recorder, breach);
        recorder.EndCycle();
    }
    const BurnInFigures& f = recorder.Figures();
    const OperationFigures& info = f.operations[static_cast<int>(Operation::GetCardInfo)];
    ASSERT_EQ(info.results.size(), kMaxGroups);
    EXPECT_EQ(info.resultOthers, kCycles - kMaxGroups);
    EXPECT_EQ(info.results[63].code, 64);
    EXPECT_EQ(Str(f.texts.View(info.results[63].text)).substr(0, 9), "error 64x");
    EXPECT_EQ(info.failureCodeCalls, kCycles);
    const OperationFigures& read = f.operations[static_cast<int>(Operation::readCard)];
    EXPECT_EQ(read.faultGroups.size(), kMaxGroups);
    EXPECT_EQ(read.faultOthers, kCycles - kMaxGroups);
    EXPECT_EQ(read.faults, kCycles);
    const OperationFigures& status = f.operations[static_cast<int>(Operation::getDeviceStatus)];
    EXPECT_EQ(status.breachGroups.size(), 2u);  // two kinds: nothing left over
    EXPECT_EQ(status.breachOthers, 0u);
    const RunVerdict verdict = JudgeRun(f);
    ASSERT_GE(verdict.reasonCount, 3u);
    EXPECT_STREQ(verdict.reasons[1].c_str(), "200 readCard call(s) raised an exception");
    EXPECT_STREQ(verdict.reasons[2].c_str(), "200 GetCardInfo call(s) returned a failure code");
}

// Failed cycles in a row are kept as one range, so that the ranges hold far more
// than their number of cycles: 2,500 in a row, then two apart, are three.
TEST(BurnInRecorder, FailedCyclesInARowAreOneRange)
{
    BurnInRecorder recorder;
    for (std::uint32_t cycle = 1; cycle <= 2603; ++cycle) {
        recorder.BeginCycle(cycle);
        const bool fails = cycle <= 2500 || cycle == 2601 || cycle == 2603;
        Tell(recorder, Status(fails ? 1 : 0, ""));
        recorder.EndCycle();
    }
    const CycleRanges& failed = recorder.Figures().operations[static_cast<int>(Operation::getDeviceStatus)].failedCycles;
    EXPECT_EQ(failed.count(), 2502u);
    std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges;
    for (const CycleRange& range : failed)
        ranges.push_back({range.first, range.last});
    EXPECT_EQ(ranges, (std::vector<std::pair<std::uint64_t, std::uint64_t>>{{1, 2500}, {2601, 2601}, {2603, 2603}}));
    EXPECT_TRUE(failed.Contains(2500) && failed.Contains(2603));
    EXPECT_FALSE(failed.Contains(2501) || failed.Contains(2602) || failed.Contains(2604));
}

// A heap that gives nothing, or only the first block.
void* NoHeap(void*, std::size_t) { return nullptr; }
void* OneBlock(void* block, std::size_t size) { return block == nullptr ? std::realloc(block, size) : nullptr; }

// The leak check takes Zantor's own growing storage off what it measures: the
// count follows every block as it grows and is given back.
TEST(Growing, HeldBytesFollowEveryBlock)
{
    const std::size_t before = growing::HeldBytes().load();
    {
        GrowingArray<std::uint64_t> numbers;
        ASSERT_TRUE(numbers.Reserve(1000));
        EXPECT_EQ(growing::HeldBytes().load(), before + 8000) << "the block, once";
        ASSERT_TRUE(numbers.GrowTo(3000, 7));
        EXPECT_EQ(growing::HeldBytes().load(), before + 8 * 3000) << "grown: counted at its new size";
        GrowingText text;
        text.Append("abc");
        EXPECT_EQ(growing::HeldBytes().load(), before + 8 * 3000 + 16);
        GrowingArray<std::uint64_t> moved(std::move(numbers));
        EXPECT_EQ(growing::HeldBytes().load(), before + 8 * 3000 + 16) << "a move takes nothing more";
    }
    EXPECT_EQ(growing::HeldBytes().load(), before) << "all given back";
}

// Every file puts a block's size and items at the same place, whatever its
// headers say std::max_align_t is: a block made in one file and given back in
// another is counted and freed whole.
TEST(Growing, ABlockCrossesFilesThatSeeAnotherMaxAlign)
{
    ASSERT_EQ(SizeHeaderElsewhere(), growing::kSizeHeader) << "one header size in every file";
    const std::size_t before = growing::HeldBytes().load();
    {
        GrowingText made = TextMadeElsewhere("made elsewhere");
        EXPECT_STREQ(made.c_str(), "made elsewhere");
        EXPECT_EQ(growing::HeldBytes().load(), before + 16);
        made.Append(std::string(100, 'x').c_str());  // grown here
        EXPECT_EQ(growing::HeldBytes().load(), before + 115);
    }
    EXPECT_EQ(growing::HeldBytes().load(), before) << "given back here";
    GrowingText here("made here");
    here.Append(std::string(100, 'y').c_str());
    ReleaseElsewhere(std::move(here));
    EXPECT_EQ(growing::HeldBytes().load(), before) << "given back elsewhere";
}

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
    GrowingArray<double> huge;  // so is a doubling past half the address space: no room claimed that is not there
    EXPECT_FALSE(huge.GrowTo(SIZE_MAX / 4, 0.0));
    EXPECT_TRUE(huge.failed() && huge.empty());

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
    SuccessCodes success;
    success.Declare(Operation::getDeviceStatus, 7);
    BurnInRecorder recorder(success);
    for (std::uint32_t cycle = 1; cycle <= 2; ++cycle) {
        recorder.BeginCycle(cycle);
        Tell(recorder, Status(7, "ready"));  // the declared success code
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

// The recording's entries: the pace a call is written with, and the search for an
// identical answer written before (by the index on its hash, up to the cap on
// remembered answers). Their replay is tested with the stand-in (tests/standin).
#include <gtest/gtest.h>

#include <string>

#include "Mervik.h"
#include "RecordingWriter.h"

namespace {

// One getDeviceStatus call that wrote `text`, taking `nanoseconds`: its entry.
std::string StatusEntry(RecordingWriter& writer, const std::string& text, std::uint64_t nanoseconds = 0,
                        Operation operation = Operation::getDeviceStatus)
{
    std::string buffer(mervik::kTextBufferSize, '\0');
    CallRecord call;
    call.operation = operation;
    call.buffers[call.bufferCount++] = {BufferRole::Text, buffer.data(), buffer.size()};
    writer.Before(call);
    buffer.replace(0, text.size(), text);
    CallOutcome outcome = CallOutcome::Returned(0);
    outcome.durationNanoseconds = nanoseconds;
    call.outcome = &outcome;
    GrowingText entry;
    EXPECT_TRUE(writer.Entry(call, entry));
    return std::string(entry.data(), entry.size());
}

// The answer number an entry refers to: the last number on it, before any "@".
std::string CallWord(const std::string& entry)
{
    const std::size_t start = entry.find_last_of(" =") + 1;
    return entry.substr(start);
}

TEST(RecordingWriter, PaceIsRoundedToTheNearestMillisecond)
{
    const struct {
        std::uint64_t nanoseconds;
        const char* word;  // the call as calls= gives it
    } rows[] = {
        {0, "1"},
        {499999, "1"},      // under half a millisecond: no pace at all
        {500000, "1@1"},    // half a millisecond rounds up
        {1499999, "1@1"},   // not to the next
        {1500000, "1@2"},
        {2000000, "1@2"},   // whole milliseconds as they are, not one more
        {86400000000000ull, "1@86400000"},
    };
    for (const auto& row : rows) {
        RecordingWriter writer(936);
        EXPECT_EQ(CallWord(StatusEntry(writer, "ok", row.nanoseconds)), row.word) << row.nanoseconds << " ns";
    }
}

// The buffer a call wrote past: `overrun=1` alone where older readers know its
// buffer, GetCardInfo's error text named by its key.
TEST(RecordingWriter, AnOverrunNamesItsBufferOnlyWhereItMust)
{
    for (const std::size_t overran : {0u, 1u}) {
        std::string value(mervik::kTextBufferSize, '\0'), error(mervik::kTextBufferSize, '\0');
        CallRecord call;
        call.operation = Operation::GetCardInfo;
        call.hasArgument = true;
        call.buffers[call.bufferCount++] = {BufferRole::Value, value.data(), value.size()};
        call.buffers[call.bufferCount++] = {BufferRole::Error, error.data(), error.size()};
        RecordingWriter writer(936);
        writer.Before(call);
        CallOutcome outcome;
        outcome.raised = true;
        outcome.exceptionCode = 0xC0000005;
        call.outcome = &outcome;
        call.overrunBufferSize = mervik::kTextBufferSize;
        call.overrunBuffer = overran;
        GrowingText entry;
        ASSERT_TRUE(writer.Entry(call, entry));
        EXPECT_NE(std::string(entry.data()).find(overran == 0 ? "\r\noverrun=1\r\n" : "\r\noverrun=1 text\r\n"),
                  std::string::npos)
            << entry.data();
    }
}

// A breach's values in the notes, as the call log and the report spell them.
TEST(RecordingWriter, BreachNotesSpellEachValueAtItsWidth)
{
    const struct {
        ContractRule rule;
        const char* name;
        std::uint64_t before[2], after[2];
        const char* note;
    } rows[] = {
        {ContractRule::Register, "XMM6", {1, 2}, {3, 0xFEDCBA9876543210ull},
         "; XMM6 0x00000000000000020000000000000001 -> 0xFEDCBA98765432100000000000000003 (kept)\r\n"},
        {ContractRule::DirectionFlag, "DF", {0, 0}, {1, 0}, "; DF 0x0 -> 0x1 (kept)\r\n"},
        {ContractRule::Mxcsr, "MXCSR", {0x1F80, 0}, {0, 0}, "; MXCSR 0x1F80 -> 0x0000 (kept)\r\n"},
        {ContractRule::X87Stack, "x87 stack", {0, 0}, {2, 0}, "; x87 stack 0 -> 2 (kept)\r\n"},
    };
    for (const auto& row : rows) {
        std::string buffer(mervik::kTextBufferSize, '\0');
        CallRecord call;
        call.operation = Operation::readCard;
        call.buffers[call.bufferCount++] = {BufferRole::Text, buffer.data(), buffer.size()};
        RecordingWriter writer(936);
        writer.Before(call);
        CallOutcome outcome = CallOutcome::Returned(0);
        outcome.breaches[0] = {row.rule, row.name, {row.before[0], row.before[1]}, {row.after[0], row.after[1]}, false};
        outcome.breachCount = 1;
        call.outcome = &outcome;
        GrowingText entry;
        ASSERT_TRUE(writer.Entry(call, entry));
        EXPECT_NE(std::string(entry.data()).find(row.note), std::string::npos) << row.name << "\n" << entry.data();
    }
}

TEST(RecordingWriter, FindsEveryIdenticalAnswerWrittenBefore)
{
    RecordingWriter writer(936);
    // 5,000 answers, so that the index grows several times, then each again.
    constexpr int kAnswers = 5000;
    for (int i = 1; i <= kAnswers; ++i) {
        const std::string entry = StatusEntry(writer, "varied " + std::to_string(i));
        ASSERT_NE(entry.find("[Answer." + std::to_string(i) + "]"), std::string::npos) << i;
    }
    for (int i = kAnswers; i >= 1; --i) {
        const std::string entry = StatusEntry(writer, "varied " + std::to_string(i));
        ASSERT_EQ(entry.find("[Answer."), std::string::npos) << i << ": written before\n" << entry;
        ASSERT_EQ(CallWord(entry), std::to_string(i)) << i;
    }
    EXPECT_EQ(writer.Answers(), static_cast<std::uint32_t>(kAnswers));
    // What differs makes another answer: the operation, one byte, a longer text.
    EXPECT_NE(StatusEntry(writer, "varied 1", 0, Operation::readCard).find("[Answer.5001]"), std::string::npos)
        << "another operation";
    EXPECT_NE(StatusEntry(writer, "varied 1 ").find("[Answer.5002]"), std::string::npos) << "a blank more";
    EXPECT_NE(StatusEntry(writer, "varies 1").find("[Answer.5003]"), std::string::npos) << "one byte other";
}

TEST(RecordingWriter, PastTheCapNewAnswersAreWrittenAgainAndTheFileSaysSo)
{
    RecordingWriter writer(936, 3);
    for (int i = 1; i <= 3; ++i)
        StatusEntry(writer, "a" + std::to_string(i));
    const std::string fourth = StatusEntry(writer, "a4");
    EXPECT_NE(fourth.find("; From here on an answer is written as a new one even when it was written before: Zantor "
                          "remembers the first 3 answers only."),
              std::string::npos)
        << fourth;
    EXPECT_NE(fourth.find("[Answer.4]"), std::string::npos);
    EXPECT_EQ(writer.Remembered(), 3u) << "memory bounded";
    EXPECT_EQ(StatusEntry(writer, "a4").find("; From here on"), std::string::npos) << "said once";
    EXPECT_NE(StatusEntry(writer, "a4").find("[Answer.6]"), std::string::npos) << "not remembered: written again";
    EXPECT_EQ(CallWord(StatusEntry(writer, "a2")), "2") << "a remembered answer is still found";
    EXPECT_EQ(writer.Remembered(), 3u);
}

}  // namespace

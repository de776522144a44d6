#include "CallLogLine.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Gbk.h"
#include "Utf8.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

constexpr LogTime kTime{2026, 3, 7, 9, 5, 2, 41};

CallOutcome Outcome(bool raised, std::int32_t result, std::uint64_t nanoseconds, Convention convention)
{
    CallOutcome outcome = CallOutcome::Returned(result);
    outcome.raised = raised;
    outcome.exceptionCode = raised ? 0xC0000005 : 0;
    outcome.exceptionAddress = 0x1234;
    outcome.durationNanoseconds = nanoseconds;
    outcome.convention = convention;
    return outcome;
}

CallOutcome WithBreaches()
{
    CallOutcome outcome = Outcome(false, 0, 1000000, Convention::Unbalanced);
    outcome.breaches[0] = {ContractRule::Register, "EBX", {0x10, 0}, {0x2F, 0}, true};
    outcome.breaches[1] = {ContractRule::Register, "XMM6", {1, 2}, {3, 0xFFFFFFFFFFFFFFFFull}, false};
    outcome.breaches[2] = {ContractRule::CurrentDirectory, "CurrentDirectory", {}, {}, true};
    outcome.breaches[3] = {ContractRule::Mxcsr, "MXCSR", {0x1F80, 0}, {0, 0}, true};
    outcome.breachCount = 4;
    std::wcscpy(outcome.directoryBefore, L"C:\\work");
    std::wcscpy(outcome.directoryAfter, L"C:\\tmp\tx");
    return outcome;
}

struct LineRow {
    const char* fault;  // what a failure of the row would catch
    Operation operation;
    int argument;  // -1: none
    CallOutcome outcome;
    std::vector<std::string> texts;  // the buffers' bytes, in argument order
    std::size_t overrun;
    std::string expected;  // after the time and its tab, without CR LF; UTF-8
};

std::ostream& operator<<(std::ostream& os, const LineRow& row) { return os << row.fault; }

// The row's line, its buffers of the contract's sizes (field 11's value: the photo's).
std::string Line(const LineRow& row)
{
    std::vector<std::vector<char>> blocks;
    CallRecord call;
    call.operation = row.operation;
    call.hasArgument = row.argument >= 0;
    call.argument = row.argument;
    call.outcome = &row.outcome;
    call.photo = row.argument == 11;
    call.overrunBufferSize = row.overrun;
    blocks.reserve(2);
    for (const std::string& text : row.texts) {
        const std::size_t size = call.photo && call.bufferCount == 0 ? mervik::kPhotoTextBufferSize : 1024;
        blocks.emplace_back(size, '\0');
        std::memcpy(blocks.back().data(), text.data(), std::min(text.size(), size));
        call.buffers[call.bufferCount++] = {BufferRole::Text, blocks.back().data(), size};
    }
    return CallLogLine(call, kTime).c_str();
}

class CallLogLineTest : public ::testing::TestWithParam<LineRow> {};

TEST_P(CallLogLineTest, HoldsEveryFieldInOrder)
{
    EXPECT_EQ(Line(GetParam()), "2026-03-07 09:05:02.041\t" + GetParam().expected + "\r\n");
}

const std::string kFull(1023, '7');  // an unterminated value: the whole buffer
const std::string kAddress = sizeof(void*) == 8 ? "0x0000000000001234" : "0x00001234";
const std::string kWordPrefix = sizeof(void*) == 8 ? "0x00000000000000" : "0x000000";  // a register's first digits

// A fault at `offset` into this test program, raised `raisedOffset` into it:
// its file name and the offsets, as the fault message names them.
CallOutcome InThisProgram(std::uintptr_t offset, std::uintptr_t raisedOffset)
{
    CallOutcome outcome = Outcome(true, 0, 999, Convention::Unknown);
#ifdef _WIN32
    outcome.moduleBase = reinterpret_cast<std::uintptr_t>(GetModuleHandleW(nullptr));
#else
    Dl_info info{};
    dladdr(reinterpret_cast<const void*>(&InThisProgram), &info);
    outcome.moduleBase = reinterpret_cast<std::uintptr_t>(info.dli_fbase);
#endif
    outcome.raisedModuleBase = outcome.moduleBase;
    outcome.exceptionAddress = outcome.moduleBase + offset;
    outcome.raisedAddress = outcome.moduleBase + raisedOffset;
    return outcome;
}
#ifdef _WIN32
const std::string kThisProgram = "calllog_tests.exe";
#else
const std::string kThisProgram = "calllog_tests";
#endif

INSTANTIATE_TEST_SUITE_P(Rows, CallLogLineTest, ::testing::Values(
    LineRow{"success: port, result, microseconds, decoded text, convention", Operation::OpenDevice, 1001,
            Outcome(false, 0, 12345, Convention::Stdcall), {Gbk(u8"打开成功")}, 0,
            "OpenDevice\t1001\tresult=0\t12.345\t" u8"打开成功" "\t-\tstdcall\t-"},
    LineRow{"failure code, an empty text, no argument", Operation::CloseDevice, -1,
            Outcome(false, -2147483647 - 1, 7, Convention::Cdecl), {""}, 0,
            "CloseDevice\t-\tresult=-2147483648\t0.007\t\t-\tcdecl\t-"},
    LineRow{"tab, line breaks, backslash and other controls escaped", Operation::readCard, -1,
            Outcome(false, 3, 0, Convention::X64), {"a\tb\r\nc\\d\x01" "e\x7F"}, 0,
            "readCard\t-\tresult=3\t0.000\ta\\tb\\r\\nc\\\\d\\x01e\\x7F\t-\tx64\t-"},
    LineRow{"a fault outside any module: code and address", Operation::getDeviceStatus, -1,
            Outcome(true, 0, 999, Convention::Unknown), {"x"}, 0,
            "getDeviceStatus\t-\tfault=0xC0000005@" + kAddress + "\t0.999\tx\t-\tunknown\t-"},
    LineRow{"a software exception: where the library called for it, then where it was raised",
            Operation::readCard, -1, [] {
                CallOutcome outcome = Outcome(true, 0, 999, Convention::Unknown);
                outcome.exceptionCode = 0xE06D7363;
                outcome.raisedAddress = 0x1234;
                return outcome;
            }(), {"x"}, 0,
            "readCard\t-\tfault=0xE06D7363@" + kAddress + ",raised@" + kAddress + "\t0.999\tx\t-\tunknown\t-"},
    LineRow{"in a module: its file and the offset, 0 at its first byte", Operation::readCard, -1,
            InThisProgram(0, 0x1A2B), {"x"}, 0,
            "readCard\t-\tfault=0xC0000005@" + kThisProgram + "+0x0,raised@" + kThisProgram + "+0x1A2B\t0.999\tx\t-\tunknown\t-"},
    LineRow{"an overrun names the buffer's size; value and error text both shown", Operation::GetCardInfo, 4,
            Outcome(true, 0, 999, Convention::Unknown), {kFull, Gbk(u8"错误")}, 1024,
            "GetCardInfo\t4\toverrun=1024\t0.999\t" + kFull + u8"\t错误" "\tunknown\t-"},
    LineRow{"the photo only by its length", Operation::GetCardInfo, 11, Outcome(false, 0, 2000, Convention::Stdcall),
            {"QUJD", ""}, 0, "GetCardInfo\t11\tresult=0\t2.000\tlength=4\t\tstdcall\t-"},
    LineRow{"breaches: hex at the state's width as the notes write it, XMM as 128 bits, directories escaped, "
            "restored or kept", Operation::OpenDevice, 1, WithBreaches(), {"ok"}, 0,
            "OpenDevice\t1\tresult=0\t1000.000\tok\t-\tunbalanced\tEBX=" + kWordPrefix + "10->" + kWordPrefix +
                "2F,restored; XMM6=0x00000000000000020000000000000001->0xFFFFFFFFFFFFFFFF0000000000000003,kept; "
                "CurrentDirectory=\"C:\\\\work\"->\"C:\\\\tmp\\tx\",restored; MXCSR=0x1F80->0x0000,restored"}));

// A card's field never reaches the debugger's output, which any program may read;
// the file keeps it, and what is not a field stays in both.
TEST(CallLogDebuggerLine, ShowsAFieldsLengthOnly)
{
    std::string value(1024, '\0'), error(1024, '\0');
    value.replace(0, 6, Gbk(u8"林秋雨"));
    error.replace(0, 3, "old");
    const CallOutcome outcome = Outcome(false, -2, 1000, Convention::Stdcall);
    CallRecord call;
    call.operation = Operation::GetCardInfo;
    call.hasArgument = true;
    call.outcome = &outcome;
    call.buffers[call.bufferCount++] = {BufferRole::Value, value.data(), value.size()};
    call.buffers[call.bufferCount++] = {BufferRole::Error, error.data(), error.size()};
    EXPECT_EQ(std::string(CallLogDebuggerLine(call, kTime).c_str()),
              "2026-03-07 09:05:02.041\tGetCardInfo\t0\tresult=-2\t1.000\tlength=6\told\tstdcall\t-\r\n")
        << "whatever the call returned";
    EXPECT_NE(std::string(CallLogLine(call, kTime).c_str()).find(u8"\t林秋雨\told\t"), std::string::npos);
}

// The line before a call has the columns of every line, so that a reader of the
// log needs no second format; a note escapes its text like a library's.
TEST(CallLogLine, StartedLinesAndNotesKeepTheColumns)
{
    EXPECT_EQ(std::string(CallStartedLine(Operation::GetCardInfo, true, -11, kTime).c_str()),
              "2026-03-07 09:05:02.041\tGetCardInfo\t-11\tstarted\t-\t-\t-\t-\t-\r\n");
    EXPECT_EQ(std::string(CallStartedLine(Operation::readCard, false, 7, kTime).c_str()),
              "2026-03-07 09:05:02.041\treadCard\t-\tstarted\t-\t-\t-\t-\t-\r\n");
    EXPECT_EQ(std::string(CallLogNote("error", kTime, L"a\tb\n").c_str()),
              "#error\t2026-03-07 09:05:02.041\ta\\tb\\n\r\n");
}

TEST(CallLogLineLimits, TheLongestLineFitsUncut)
{
    // Two texts of control bytes (4 bytes each once escaped), every breach with
    // 128-bit values, both directories full of control characters.
    CallOutcome outcome = Outcome(false, 0, ~0ull, Convention::Unbalanced);
    for (ContractBreach& breach : outcome.breaches)
        breach = {ContractRule::Register, "XMM15", {~0ull, ~0ull}, {~0ull, ~0ull}, true};
    outcome.breaches[0].rule = ContractRule::CurrentDirectory;
    outcome.breachCount = CallOutcome::kMaxBreaches;
    for (std::size_t i = 0; i + 1 < CallOutcome::kDirectoryCapacity; ++i)
        outcome.directoryBefore[i] = outcome.directoryAfter[i] = L'\x01';
    const std::string controls(1023, '\x02');
    const std::string line = Line({"", Operation::GetCardInfo, 0, outcome, {controls, controls}, 0, ""});
    EXPECT_EQ(line.find("[cut]"), std::string::npos);
    EXPECT_EQ(line.find('\n'), line.size() - 1) << "one line, ending in CR LF";
}

TEST(CallLogHeader, NamesTheColumnsInTheLinesOrder)
{
    EXPECT_STREQ(CallLogHeader().c_str(),
                 "#time\toperation\targument\toutcome\tduration_us\ttext\terror_text\tconvention\tbreaches\r\n");
}

// The encoder at the edges of each length, and surrogates that are not a pair
// (UTF-16 on Windows; natively wchar_t holds code points, where one is unpaired too).
TEST(Utf8, EncodesTheEdgesAndReplacesLoneSurrogates)
{
    const std::pair<char32_t, std::string> points[] = {
        {0x7F, "\x7F"}, {0x80, "\xC2\x80"}, {0x7FF, "\xDF\xBF"}, {0x800, "\xE0\xA0\x80"},
        {0xFFFF, "\xEF\xBF\xBF"}, {0x10000, "\xF0\x90\x80\x80"}, {0x10FFFF, "\xF4\x8F\xBF\xBF"},
        {0xD800, "\xEF\xBF\xBD"}, {0xDFFF, "\xEF\xBF\xBD"}, {0x110000, "\xEF\xBF\xBD"}};
    for (const auto& [c, expected] : points) {
        char bytes[4];
        EXPECT_EQ(std::string(bytes, EncodeUtf8(c, bytes)), expected) << std::hex << static_cast<unsigned>(c);
    }
    const auto unit = [](unsigned u) { return static_cast<wchar_t>(u); };
    const std::pair<std::wstring, std::string> texts[] = {
        {{unit(0xD83D), unit(0xDE00)}, sizeof(wchar_t) == 2 ? "\xF0\x9F\x98\x80" : "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {{unit(0xD83D), L'a'}, "\xEF\xBF\xBD" "a"},
        {{L'a', unit(0xDE00)}, "a\xEF\xBF\xBD"},
        {{unit(0xDE00), unit(0xD83D)}, "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {{L'a', unit(0xD83D)}, "a\xEF\xBF\xBD"},  // a high surrogate last
    };
    for (const auto& [text, expected] : texts) {
        NarrowText<64> utf8;
        AppendUtf8(utf8, text.data(), text.size());
        EXPECT_EQ(std::string(utf8.c_str(), utf8.size()), expected);
    }
}

}  // namespace

namespace {

// The one writer of the local time, in each of its styles: the log's lines and
// the recording's date, a report's start, end and stamp, a report's default name.
TEST(LocalTime, EachStyleWithItsLeadingZeros)
{
    const struct {
        LocalTime time;
        LocalTimeStyle style;
        const char* text;
    } rows[] = {
        {{2026, 3, 7, 9, 5, 2, 41}, LocalTimeStyle::Milliseconds, "2026-03-07 09:05:02.041"},
        {{2026, 3, 7, 9, 5, 2, 41}, LocalTimeStyle::Seconds, "2026-03-07 09:05:02"},
        {{2026, 3, 7, 9, 5, 2, 41}, LocalTimeStyle::Compact, "20260307-090502"},
        {{2026, 12, 31, 23, 59, 59, 999}, LocalTimeStyle::Milliseconds, "2026-12-31 23:59:59.999"},
        {{987, 1, 1, 0, 0, 0, 0}, LocalTimeStyle::Seconds, "0987-01-01 00:00:00"},
        {{30827, 12, 31, 23, 59, 59, 999}, LocalTimeStyle::Milliseconds, "30827-12-31 23:59:59.999"},  // SYSTEMTIME's last
    };
    for (const auto& row : rows) {
        char text[kLocalTimeRoom];
        EXPECT_EQ(std::string(text, WriteLocalTime(text, row.time, row.style)), row.text);
    }
}

}  // namespace

#include "CallLogLine.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Gbk.h"

namespace {

constexpr LogTime kTime{2026, 3, 7, 9, 5, 2, 41};

struct LineRow {
    const char* fault;  // what a failure of the row would catch
    const char* operation;
    bool hasArgument;
    std::int32_t argument;
    CallOutcome outcome;
    std::vector<std::string> texts;  // the buffers' bytes, in argument order
    bool photo;
    std::size_t overrun;
    std::string expected;  // after the time and its tab, without CR LF; UTF-8
};

std::ostream& operator<<(std::ostream& os, const LineRow& row)
{
    return os << row.fault;
}

CallOutcome Returned(std::int32_t code, std::uint64_t nanoseconds, Convention convention)
{
    CallOutcome outcome = CallOutcome::Returned(code);
    outcome.durationNanoseconds = nanoseconds;
    outcome.convention = convention;
    return outcome;
}

CallOutcome Raised(std::uint32_t code, std::uintptr_t address)
{
    CallOutcome outcome;
    outcome.raised = true;
    outcome.exceptionCode = code;
    outcome.exceptionAddress = address;
    outcome.durationNanoseconds = 999;
    return outcome;
}

CallOutcome WithBreaches()
{
    CallOutcome outcome = Returned(0, 1000000, Convention::Unbalanced);
    outcome.breaches[0] = {ContractRule::Register, "EBX", {0x10, 0}, {0x2F, 0}, true};
    outcome.breaches[1] = {ContractRule::Register, "XMM6", {1, 2}, {3, 0xFFFFFFFFFFFFFFFFull}, false};
    outcome.breaches[2] = {ContractRule::CurrentDirectory, "CurrentDirectory", {}, {}, true};
    outcome.breachCount = 3;
    std::wcscpy(outcome.directoryBefore, L"C:\\work");
    std::wcscpy(outcome.directoryAfter, L"C:\\tmp\tx");
    return outcome;
}

// A buffer of the contract's size holding `text` and zeros.
struct Buffers {
    std::vector<std::vector<char>> blocks;
};

std::string Line(const LineRow& row, Buffers& keep)
{
    CallRecord call;
    call.operation = row.operation;
    call.hasArgument = row.hasArgument;
    call.argument = row.argument;
    call.outcome = &row.outcome;
    call.photo = row.photo;
    call.overrunBufferSize = row.overrun;
    for (const std::string& text : row.texts) {
        const std::size_t size = row.photo && call.bufferCount == 0 ? mervik::kPhotoTextBufferSize : mervik::kTextBufferSize;
        keep.blocks.emplace_back(size, '\0');
        std::memcpy(keep.blocks.back().data(), text.data(), std::min(text.size(), size));
        call.buffers[call.bufferCount++] = {"text", keep.blocks.back().data(), size};
    }
    return CallLogLine(call, kTime).c_str();
}

class CallLogLineTest : public ::testing::TestWithParam<LineRow> {};

TEST_P(CallLogLineTest, HoldsEveryFieldInOrder)
{
    const LineRow& row = GetParam();
    Buffers keep;
    EXPECT_EQ(Line(row, keep), std::string("2026-03-07 09:05:02.041\t") + row.expected + "\r\n");
}

const std::string kFull(1023, '7');  // an unterminated value: the whole buffer

INSTANTIATE_TEST_SUITE_P(Rows, CallLogLineTest, ::testing::Values(
    LineRow{"success: port, result, microseconds, text, convention", "OpenDevice", true, 1001,
            Returned(0, 12345, Convention::Stdcall), {Gbk(u8"打开成功")}, false, 0,
            "OpenDevice\t1001\tresult=0\t12.345\t" u8"打开成功" "\t-\tstdcall\t-"},
    LineRow{"failure code, an empty text, no argument", "CloseDevice", false, 0,
            Returned(-2147483647 - 1, 7, Convention::Cdecl), {""}, false, 0,
            "CloseDevice\t-\tresult=-2147483648\t0.007\t\t-\tcdecl\t-"},
    LineRow{"escaping of tab, line breaks, backslash and other controls", "readCard", false, 0,
            Returned(3, 0, Convention::X64), {"a\tb\r\nc\\d\x01" "e\x7F"}, false, 0,
            "readCard\t-\tresult=3\t0.000\ta\\tb\\r\\nc\\\\d\\x01e\\x7F\t-\tx64\t-"},
    LineRow{"a fault outside any module: code and address", "getDeviceStatus", false, 0,
            Raised(0xC000001D, 0x1234), {"x"}, false, 0,
            sizeof(void*) == 8 ? "getDeviceStatus\t-\tfault=0xC000001D@0x0000000000001234\t0.999\tx\t-\tunknown\t-"
                               : "getDeviceStatus\t-\tfault=0xC000001D@0x00001234\t0.999\tx\t-\tunknown\t-"},
    LineRow{"an overrun names the buffer's size; value and error text both shown", "GetCardInfo", true, 4,
            Raised(0xC0000005, 0x1234), {kFull, Gbk(u8"错误")}, false, 1024,
            ("GetCardInfo\t4\toverrun=1024\t0.999\t" + kFull + u8"\t错误" "\tunknown\t-")},
    LineRow{"the photo only by its length", "GetCardInfo", true, 11, Returned(0, 2000, Convention::Stdcall),
            {"QUJD", ""}, true, 0, "GetCardInfo\t11\tresult=0\t2.000\tlength=4\t\tstdcall\t-"},
    LineRow{"breaches: registers in hex, XMM as 128 bits, directories escaped, restored or kept", "OpenDevice",
            true, 1, WithBreaches(), {"ok"}, false, 0,
            "OpenDevice\t1\tresult=0\t1000.000\tok\t-\tunbalanced\t"
            "EBX=0x10->0x2F,restored; "
            "XMM6=0x00000000000000020000000000000001->0xFFFFFFFFFFFFFFFF0000000000000003,kept; "
            "CurrentDirectory=\"C:\\\\work\"->\"C:\\\\tmp\\tx\",restored"}));

TEST(CallLogLineLimits, TheLongestLineFitsUncut)
{
    // Two texts of control bytes (4 bytes each once escaped), every breach with
    // 128-bit values, directories full of tabs.
    CallOutcome outcome = Returned(0, ~0ull, Convention::Unbalanced);
    for (ContractBreach& breach : outcome.breaches)
        breach = {ContractRule::Register, "XMM15", {~0ull, ~0ull}, {~0ull, ~0ull}, true};
    outcome.breaches[0].rule = ContractRule::CurrentDirectory;
    outcome.breachCount = CallOutcome::kMaxBreaches;
    for (std::size_t i = 0; i + 1 < CallOutcome::kDirectoryCapacity; ++i)
        outcome.directoryBefore[i] = outcome.directoryAfter[i] = L'\x01';
    const std::string controls(1023, '\x02');
    LineRow row{"", "GetCardInfo", true, -2147483647 - 1, outcome, {controls, controls}, false, 0, ""};
    Buffers keep;
    const std::string line = Line(row, keep);
    EXPECT_EQ(line.find("[cut]"), std::string::npos);
    EXPECT_EQ(line.substr(line.size() - 2), "\r\n");
    EXPECT_EQ(line.find('\n'), line.size() - 1) << "one line";
}

TEST(CallLogLineLimits, HeaderAndSessionNameTheColumnsAndTheLibrary)
{
    EXPECT_STREQ(CallLogHeader().c_str(),
                 "#time\toperation\targument\toutcome\tduration_us\ttext\terror_text\tconvention\tbreaches\r\n");
    static LibraryIdentity library;
    library.found = true;
    std::wcscpy(library.path, L"C:\\读卡器\\Mervik.dll");
    library.sized = true;
    library.size = 3;
    library.versioned = true;
    library.version[0] = 2;
    library.version[3] = 65535;
    library.hashed = true;
    library.sha256[0] = 0xBA;
    library.sha256[31] = 0x0F;
    EXPECT_EQ(std::string(CallLogSession(kTime, "1.0.0.1", 32, library).c_str()),
              "#session\t2026-03-07 09:05:02.041\tZantor 1.0.0.1 32-bit\t" u8"C:\\\\读卡器\\\\Mervik.dll" "\tsize=3"
              "\tversion=2.0.0.65535\tsha256=ba" + std::string(60, '0') + "0f\r\n");
}

}  // namespace

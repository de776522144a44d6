#include "ContractNotes.h"
#include "ResultMessage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "Gbk.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

// A built text as a standard string, for comparing and printing.
template <class Char, std::size_t N>
std::basic_string<Char> Str(const BoundedText<Char, N>& text)
{
    return std::basic_string<Char>(text.c_str(), text.size());
}

struct PortCase {
    const char* text;
    std::int32_t port;
};

std::ostream& operator<<(std::ostream& os, const PortCase& c)
{
    return os << '"' << c.text << "\" -> " << c.port;
}

class ParsePortTest : public ::testing::TestWithParam<PortCase> {};

TEST_P(ParsePortTest, ReadsAsAtoiWithSaturation)
{
    EXPECT_EQ(ParsePort(GetParam().text), GetParam().port);
}

INSTANTIATE_TEST_SUITE_P(
    Ports, ParsePortTest,
    ::testing::Values(
        PortCase{"1001", 1001},
        PortCase{"", 0},                      // empty box opens port 0
        PortCase{" 12abc", 12},               // leading blank, trailing letters
        PortCase{"-3", -3},
        PortCase{"+7", 7},
        PortCase{"\t\n\v\f\r 5", 5},          // every C-locale white space
        PortCase{"abc", 0},
        PortCase{"- 3", 0},                   // sign must touch the digits
        PortCase{"--3", 0},
        PortCase{"0009", 9},
        PortCase{"12 34", 12},
        PortCase{"2147483647", INT_MAX},
        PortCase{"2147483648", INT_MAX},      // one past the top saturates
        PortCase{"-2147483648", INT_MIN},
        PortCase{"-2147483649", INT_MIN},
        PortCase{"99999999999999999999999999", INT_MAX},
        PortCase{"-99999999999999999999999999", INT_MIN}));

TEST(TextFromBuffer, StopsAtNulOrAtTheBufferEnd)
{
    const char terminated[8] = {'a', 'b', '\0', 'x', 'x', 'x', 'x', 'x'};
    EXPECT_EQ(Str(TextFromBuffer(terminated, sizeof terminated)), "ab");

    // A library that filled the buffer without a NUL: read exactly its size.
    char unterminated[16];
    std::memset(unterminated, 'z', sizeof unterminated);
    EXPECT_EQ(Str(TextFromBuffer(unterminated, 8)), std::string(8, 'z'));

    // The measure reads blocks of words: every alignment, a NUL at every place
    // around the block edges, and buffers ending inside a block.
    std::vector<char> buffer(300, 'x');
    for (std::size_t start = 0; start < 8; ++start) {
        for (std::size_t nul = start; nul < 200; ++nul) {
            buffer[nul] = '\0';
            for (const std::size_t capacity : {nul - start, nul - start + 1, std::size_t{150}, std::size_t{290}})
                EXPECT_EQ(TextFromBuffer(buffer.data() + start, capacity).size(), std::min(capacity, nul - start))
                    << "start " << start << ", NUL at " << nul << ", capacity " << capacity;
            buffer[nul] = 'x';
        }
    }
}

// A library's 1024-byte buffer holding `text`.
std::string Padded(std::string text)
{
    text.resize(1024, '\0');
    return text;
}

TEST(ResultForms, AreExactWithTheLibraryTextDecodedOnItsOwn)
{
    struct Row {
        const char* why;
        std::wstring shown;
        std::wstring expected;
    };
    const std::string occupied = Gbk(u8"端口被占用");
    const Row rows[] = {
        {"empty text", Str(FailureMessage(L"打开失败！", Padded("").c_str(), 1024, 5)), L"打开失败！ 错误码：5"},
        {"text and negative code", Str(FailureMessage(L"关闭失败！", Padded(Gbk(u8"端口")).c_str(), 1024, -1)),
         L"关闭失败！端口 错误码：-1"},
        {"status begins with the space", Str(StatusMessage(Padded("").c_str(), 1024, 0)), L" 状态码：0"},
        {"percent is data", Str(StatusMessage(Padded("100%s%d%n").c_str(), 1024, INT_MIN)), L"100%s%d%n 状态码：-2147483648"},
        // A lone lead byte at the end, or a byte that starts no character, is
        // the library's own: Zantor's following space stays.
        {"lone lead byte, failure form", Str(FailureMessage(L"打开失败！", Padded(occupied + "\x81").c_str(), 1024, 5)),
         L"打开失败！端口被占用? 错误码：5"},
        {"lone lead byte, status form", Str(StatusMessage(Padded(occupied + "\xFE").c_str(), 1024, 3)),
         L"端口被占用? 状态码：3"},
        {"lone lead byte cut by the buffer's end", Str(StatusMessage((occupied + "\xB6\xCB").c_str(), 11, 1)),
         L"端口被占用? 状态码：1"},
        {"lead byte before a byte that cannot trail it", Str(FailureMessage(L"信息读取失败！", Padded("a\x81 z").c_str(), 1024, 2)),
         L"信息读取失败！a?z 错误码：2"},
        {"the same as the text's last two bytes", Str(FailureMessage(L"信息读取失败！", Padded("a\x81 ").c_str(), 1024, 2)),
         L"信息读取失败！a? 错误码：2"},
        {"undefined byte, status form", Str(StatusMessage(Padded("\xFF").c_str(), 1024, -4)), L"\xF8F5 状态码：-4"},
    };
    for (const Row& row : rows) EXPECT_EQ(row.shown, row.expected) << row.why;
}

// This test program's own file name and base, as a module the fault can lie in.
std::wstring ThisModule()
{
#ifdef _WIN32
    return L"commands_tests.exe";
#else
    return L"commands_tests";
#endif
}

CallOutcome InModule(CallOutcome outcome, std::uintptr_t offset)
{
#ifdef _WIN32
    outcome.moduleBase = reinterpret_cast<std::uintptr_t>(GetModuleHandleW(nullptr));
#else
    Dl_info info{};
    dladdr(reinterpret_cast<const void*>(&ThisModule), &info);
    outcome.moduleBase = reinterpret_cast<std::uintptr_t>(info.dli_fbase);
#endif
    outcome.exceptionAddress = outcome.moduleBase + offset;
    return outcome;
}

TEST(FaultMessage, NamesTheOverrunBufferOrTheException)
{
    char text[1024];
    char photo[102400];
    const auto end = [](const char* buffer, std::size_t size) { return reinterpret_cast<std::uintptr_t>(buffer) + size; };
    const auto raised = [](std::uint32_t code, std::uintptr_t address, bool write) {
        CallOutcome outcome;
        outcome.raised = true;
        outcome.exceptionCode = code;
        outcome.exceptionAddress = 0x6A1C2F10;
        outcome.accessAddress = address;
        outcome.writeAccess = write;
        return outcome;
    };
    const std::wstring at = sizeof(void*) == 8 ? L"（地址 0x000000006A1C2F10）" : L"（地址 0x6A1C2F10）";
    struct Row {
        const char* why;
        CallOutcome outcome;
        std::wstring expected;
    };
    const Row rows[] = {
        {"one byte past the text", raised(0xC0000005, end(text, 1024), true),
         L"读卡器库 GetCardInfo 写入超出缓冲区（1024 字节）"},
        {"last byte of the guard page", raised(0xC0000005, end(text, 1024) + 4095, true),
         L"读卡器库 GetCardInfo 写入超出缓冲区（1024 字节）"},
        {"past the photo text", raised(0xC0000005, end(photo, 102400), true),
         L"读卡器库 GetCardInfo 写入超出缓冲区（102400 字节）"},
        {"beyond the guard page", raised(0xC0000005, end(text, 1024) + 4096, true),
         L"读卡器库 GetCardInfo 调用异常：0xC0000005" + at},
        {"a read past is no overrun", raised(0xC0000005, end(text, 1024), false),
         L"读卡器库 GetCardInfo 调用异常：0xC0000005" + at},
        {"another exception", raised(0xC0000094, end(text, 1024), true), L"读卡器库 GetCardInfo 调用异常：0xC0000094" + at},
        {"the stub of a missing entry point", raised(0x80000100, 0, false),
         L"读卡器库 GetCardInfo 调用异常：0x80000100" + at},
        {"inside a module: its file and the offset", InModule(raised(0xC0000005, 0, false), 0x1A2B),
         L"读卡器库 GetCardInfo 调用异常：0xC0000005（地址 " + ThisModule() + L"+0x1A2B）"},
        {"at the module's first byte: offset 0", InModule(raised(0xC0000005, 0, false), 0),
         L"读卡器库 GetCardInfo 调用异常：0xC0000005（地址 " + ThisModule() + L"+0x0）"},
        {"a C++ exception: the library's place, then where it was raised",
         [&] {
             CallOutcome outcome = InModule(raised(0xE06D7363, 0, false), 0x1A2B);
             outcome.raisedAddress = 0x6A1C2F10;
             return outcome;
         }(),
         L"读卡器库 GetCardInfo 调用异常：0xE06D7363（地址 " + ThisModule() + L"+0x1A2B，引发于 " + at.substr(4)},
    };
    for (const Row& row : rows)
        EXPECT_EQ(Str(FaultMessage(L"GetCardInfo", row.outcome, {{text, sizeof text, 4096}, {photo, sizeof photo, 4096}})),
                  row.expected)
            << row.why;
}

// The text builder at its edges, and the longest message of each form fits whole.
TEST(BoundedText, FillsToItsCapacityAndCutsWhatIsPast)
{
    const std::string longest(1023, '7');  // the longest library text
    const std::wstring longestWide(longest.begin(), longest.end());
    const CallOutcome slowest = [] {
        CallOutcome outcome;
        outcome.exceptionCode = 0xC0000005;
        outcome.exceptionAddress = UINTPTR_MAX;
        return outcome;
    }();
    char photo[1];
    struct Row {
        const char* why;
        std::wstring shown;
        bool cut;
        std::wstring expected;
    };
    const auto row = [](const char* why, const auto& text, const std::wstring& expected) {
        return Row{why, Str(text), text.cut(), expected};
    };
    const std::wstring maxAddress = sizeof(void*) == 8 ? L"0xFFFFFFFFFFFFFFFF" : L"0xFFFFFFFF";
    const Row rows[] = {
        row("exactly full", WideText<4>().Append(L"abc"), L"abc"),
        row("one past full", WideText<4>().Append(L"abcd"), L"abc"),
        row("at most, fitting", WideText<8>().AppendAtMost(L"abc", 3).Append(L'.'), L"abc."),
        row("at most, longer: an ellipsis, the rest keeps its room", WideText<8>().AppendAtMost(L"abcd", 3).Append(L'.'),
            L"abc…."),
        row("decimals", WideText<64>().AppendDecimal(0).Append(L' ').AppendDecimal(102399).Append(L' ').AppendDecimal(INT64_MIN),
            L"0 102399 -9223372036854775808"),
        row("hex, fixed and shortest", WideText<32>().AppendHex(0x1A2B, 8).Append(L' ').AppendHex(0, 0), L"0x00001A2B 0x0"),
        row("longest failure form", FailureMessage(L"信息读取失败！", longest.c_str(), 1024, INT32_MIN),
            L"信息读取失败！" + longestWide + L" 错误码：-2147483648"),
        row("longest status form", StatusMessage(longest.c_str(), 1024, INT32_MIN), longestWide + L" 状态码：-2147483648"),
        row("longest overrun form", FaultMessage(L"getDeviceStatus", [&] {
                CallOutcome outcome = slowest;
                outcome.writeAccess = true;
                outcome.accessAddress = reinterpret_cast<std::uintptr_t>(photo) + 102400;
                return outcome;
            }(), {{photo, 102400, 4096}}), L"读卡器库 getDeviceStatus 写入超出缓冲区（102400 字节）"),
        row("longest fault form outside a module", FaultMessage(L"getDeviceStatus", slowest, {}),
            L"读卡器库 getDeviceStatus 调用异常：0xC0000005（地址 " + maxAddress + L"）"),
    };
    for (const Row& r : rows) {
        EXPECT_EQ(r.shown, r.expected) << r.why;
        EXPECT_EQ(r.cut, r.why == std::string("one past full")) << r.why;
    }
    if (sizeof(wchar_t) == 2) {
        WideText<3> pair;
        EXPECT_EQ(Str(pair.Append(L"a\xD83D\xDE00")), L"a") << "a UTF-16 pair is never split";
    }
}

TEST(ContractNotes, OneLineEachAndCutVisibly)
{
    const auto breach = [](ContractRule rule, const char* name, std::uint64_t before, std::uint64_t after) {
        ContractBreach made;
        made.rule = rule;
        made.name = name;
        made.before[0] = before;
        made.after[0] = after;
        made.restored = rule != ContractRule::CurrentDirectory;
        return made;
    };
    const std::wstring wide = sizeof(std::uintptr_t) == 8 ? L"00000000" : L"";
    ContractBreach xmm = breach(ContractRule::Register, "XMM6", 1, 2);
    xmm.before[1] = 0xFF;
    const struct {
        ContractBreach breach;
        std::wstring expected;
    } rows[] = {
        {breach(ContractRule::Register, "EBP", 0x12FF00, 0x0BADF00D),
         L"注意：readCard 返回时 EBP 已被改变（0x" + wide + L"0012FF00 → 0x" + wide + L"0BADF00D），已恢复。"},
        {xmm, L"注意：readCard 返回时 XMM6 已被改变（0x00000000000000FF0000000000000001 → "
              L"0x00000000000000000000000000000002），已恢复。"},
        {breach(ContractRule::Mxcsr, "MXCSR", 0x1F80, 0), L"注意：readCard 返回时 MXCSR 已被改变（0x1F80 → 0x0000），已恢复。"},
        {breach(ContractRule::X87Stack, "x87stack", 0, 2), L"注意：readCard 返回时 x87 寄存器栈中留有 2 个值，已清空。"},
        {breach(ContractRule::StackPopped, "ESP", 4, 12),
         L"注意：readCard 返回时从栈上弹出了 12 字节参数（stdcall 应为 4 字节，cdecl 应为 0 字节），栈已恢复。"},
        {breach(ContractRule::CurrentDirectory, "cwd", 0, 0), L"注意：readCard 改变了当前目录（C:\\a → D:\\b），未恢复。"},
        {breach(ContractRule::ExceptionChain, "fs:[0]", 0x0019FF64, 0xDEADBEEF),  // every digit of the address
         L"注意：readCard 返回时异常链（fs:[0]）已被改变（0x" + wide + L"0019FF64 → 0x" + wide + L"DEADBEEF），已恢复。"},
    };
    for (const auto& row : rows) {
        Message line;
        AppendContractNote(line, L"readCard", row.breach, L"C:\\a", L"D:\\b");
        EXPECT_EQ(std::wstring(line.c_str()), row.expected);
    }

    // The same rule broken by every call of a command is one note; a message
    // with room for one note more says that the rest did not fit.
    CallOutcome outcome = CallOutcome::Returned(0);
    outcome.breaches[0] = rows[0].breach;
    outcome.breaches[1] = rows[1].breach;
    outcome.breachCount = 2;
    ContractNotes notes;
    for (int call = 0; call < 11; ++call)
        notes.Add(L"readCard", outcome);
    Message full;
    while (full.Room() > rows[0].expected.size() + 1 + 40)
        full.Append(L'x');
    notes.AppendTo(full);
    const std::wstring shown = full.c_str();
    EXPECT_EQ(shown.substr(shown.find(L'\n')), L"\n" + rows[0].expected + L"\n注意：其余注意事项过长，未能显示。");
}

}  // namespace

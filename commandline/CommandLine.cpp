#include "CommandLine.h"

#include <limits>

#include "Decimal.h"

namespace {

enum class Setting : std::uint8_t { Usage, Log, Cycles, Port, Report, Success, Record, Anonymize, Timeout, Trace };

struct OptionRow {
    const wchar_t* name;   // as typed, after '/' or '-'
    const wchar_t* value;  // the value's placeholder in the usage; null: takes none
    Setting sets;
    const wchar_t* usage;
};

constexpr OptionRow kOptions[] = {
    {L"?", nullptr, Setting::Usage, L"显示本说明"},
    {L"log", L"<文件>", Setting::Log, L"把每次库调用追加记入该文件（UTF-8）"},
    {L"cycles", L"<n>", Setting::Cycles, L"老化测试：循环 n 次（1 至 10000000）"},
    {L"port", L"<p>", Setting::Port, L"老化测试的端口（默认 1001，须与 /cycles 同用）"},
    {L"report", L"<文件.html>", Setting::Report, L"老化测试报告（须与 /cycles 同用）"},
    {L"success", L"<操作>=<码>[,<码>…]", Setting::Success, L"老化测试中算作成功的返回码（默认 0，可重复）"},
    {L"record", L"<文件.ini>", Setting::Record, L"把本次会话录制为模拟读卡器可回放的脚本"},
    {L"anonymize", nullptr, Setting::Anonymize, L"以假数据替换卡上个人信息（须与 /record 同用）"},
    {L"timeout", L"<秒>", Setting::Timeout, L"库调用超过此时间未返回即结束老化测试（1 至 86400，默认 60）"},
    {L"trace", L"none", Setting::Trace, L"不跟踪读卡器库向 Windows 取得的句柄、线程、内存与模块"},
};
constexpr std::size_t kOptionCount = sizeof kOptions / sizeof kOptions[0];

// Whether every row stands at its setting's place, as the reading relies on.
constexpr bool InSettingOrder()
{
    for (std::size_t r = 0; r < kOptionCount; ++r) {
        if (static_cast<std::size_t>(kOptions[r].sets) != r)
            return false;
    }
    return true;
}
static_assert(InSettingOrder(), "the table's rows in the order of Setting");
constexpr std::uint32_t kMostCycles = 10000000;
constexpr std::uint32_t kMostTimeoutSeconds = 86400;  // a day

wchar_t Lower(wchar_t c)
{
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

bool SameName(const wchar_t* typed, const wchar_t* name)
{
    for (; *typed && *name; ++typed, ++name) {
        if (Lower(*typed) != *name)
            return false;
    }
    return *typed == 0 && *name == 0;
}

// A signed decimal from `least` to `most`: an optional sign and digits only.
bool ReadDecimal(const wchar_t* text, std::int64_t least, std::int64_t most, std::int64_t& value)
{
    const decimal::Reading<wchar_t> reading =
        decimal::ReadLeading(text, least < 0 ? least : 0, most > 0 ? most : 0);
    value = reading.value;
    return reading.digits && *reading.end == 0 && !reading.outOfRange && value >= least && value <= most;
}

// An operation's name as the library spells it, in any case, ending at `end`.
bool ReadOperation(const wchar_t* name, const wchar_t* end, Operation& operation)
{
    for (int i = 0; i < kOperationCount; ++i) {
        const char* known = OperationName(static_cast<Operation>(i));
        const wchar_t* typed = name;
        for (; typed != end && *known && Lower(*typed) == Lower(static_cast<wchar_t>(*known)); ++typed, ++known) {
        }
        if (typed == end && *known == 0 && typed != name) {
            operation = static_cast<Operation>(i);
            return true;
        }
    }
    return false;
}

// One result code: decimal (a 32-bit signed value) or 0x hexadecimal (up to
// 0xFFFFFFFF, taken as the same 32 bits), from `text` to `end`.
bool ReadCode(const wchar_t* text, const wchar_t* end, std::int32_t& code)
{
    if (end - text > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X')) {
        std::uint32_t value = 0;
        for (text += 2; text != end; ++text) {
            const wchar_t c = Lower(*text);
            const int digit = c >= L'0' && c <= L'9' ? c - L'0' : c >= L'a' && c <= L'f' ? c - L'a' + 10 : -1;
            // A ninth significant digit would not fit in the 32 bits.
            if (digit < 0 || value > 0x0FFFFFFFu)
                return false;
            value = value * 16 + static_cast<std::uint32_t>(digit);
        }
        code = static_cast<std::int32_t>(value);
        return true;
    }
    wchar_t digits[16];
    if (text == end || end - text >= 16)
        return false;
    std::size_t length = 0;
    for (; text != end; ++text)
        digits[length++] = *text;
    digits[length] = 0;
    std::int64_t value = 0;
    if (!ReadDecimal(digits, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max(), value))
        return false;
    code = static_cast<std::int32_t>(value);
    return true;
}

CommandLineError Fail(const wchar_t*& fault, CommandLineError error, const wchar_t* word)
{
    fault = word;
    return error;
}

// "<operation>=<code>[,<code>...]" added to `success`.
bool ReadSuccessCodes(const wchar_t* value, SuccessCodes& success)
{
    const wchar_t* equals = value;
    while (*equals && *equals != L'=')
        ++equals;
    Operation operation = Operation::OpenDevice;
    if (*equals == 0 || !ReadOperation(value, equals, operation))
        return false;
    const wchar_t* code = equals + 1;
    for (;;) {
        const wchar_t* end = code;
        while (*end && *end != L',')
            ++end;
        std::int32_t parsed = 0;
        if (!ReadCode(code, end, parsed) || !success.Declare(operation, parsed))
            return false;
        if (*end == 0)
            return true;
        code = end + 1;
    }
}

// Reads the words into `options`; at the first fault, returns it with the word at
// fault in `fault`.
CommandLineError ReadWords(const wchar_t* const* words, std::size_t count, CommandLineOptions& options,
                           const wchar_t*& fault)
{
    // Each option's word, the last one given (only /success may repeat); null
    // while it has not been given. In the table's order, which is Setting's.
    const wchar_t* given[kOptionCount] = {};
    for (std::size_t i = 0; i < count; ++i) {
        const wchar_t* word = words[i];
        const OptionRow* row = nullptr;
        if (word[0] == L'/' || word[0] == L'-') {
            for (std::size_t r = 0; r < kOptionCount && !row; ++r) {
                if (SameName(word + 1, kOptions[r].name)) {
                    row = &kOptions[r];
                    // /success adds to what it said before: one operation each time.
                    if (given[r] && kOptions[r].sets != Setting::Success)
                        return Fail(fault, CommandLineError::RepeatedOption, word);
                    given[r] = word;
                }
            }
        }
        if (!row)
            return Fail(fault, CommandLineError::UnknownOption, word);
        const wchar_t* value = nullptr;
        if (row->value) {
            if (i + 1 == count)
                return Fail(fault, CommandLineError::MissingValue, word);
            value = words[++i];
        }
        // A value that is not what its option takes is refused below, with the
        // option's setting left as it was.
        bool good = true;
        const wchar_t** path = nullptr;   // a path: any text but an empty one
        std::uint32_t* whole = nullptr;   // a count: digits only, from 1 to `most`
        std::uint32_t most = kMostCycles;
        std::int64_t number = 0;
        switch (row->sets) {
        case Setting::Usage:
            options.usage = true;
            break;
        case Setting::Anonymize:
            options.anonymize = true;
            break;
        case Setting::Log:
            path = &options.logPath;
            break;
        case Setting::Report:
            path = &options.reportPath;
            break;
        case Setting::Record:
            path = &options.recordPath;
            break;
        case Setting::Cycles:
            whole = &options.cycles;
            break;
        case Setting::Timeout:
            whole = &options.timeoutSeconds;
            most = kMostTimeoutSeconds;
            break;
        case Setting::Port:
            good = ReadDecimal(value, std::numeric_limits<std::int32_t>::min(),
                               std::numeric_limits<std::int32_t>::max(), number);
            if (good)
                options.port = static_cast<std::int32_t>(number);
            break;
        case Setting::Success:
            good = ReadSuccessCodes(value, options.success);
            break;
        case Setting::Trace:
            good = SameName(value, L"none");
            if (good)
                options.traceImports = false;
            break;
        }
        if (path) {
            good = value[0] != 0;
            if (good)
                *path = value;
        }
        if (whole) {
            good = value[0] != L'+' && value[0] != L'-' && ReadDecimal(value, 1, most, number);
            if (good)
                *whole = static_cast<std::uint32_t>(number);
        }
        if (!good)
            return Fail(fault, CommandLineError::MalformedValue, value);
    }
    const wchar_t* const portWord = given[static_cast<std::size_t>(Setting::Port)];
    const wchar_t* const reportWord = given[static_cast<std::size_t>(Setting::Report)];
    const wchar_t* const successWord = given[static_cast<std::size_t>(Setting::Success)];
    const wchar_t* const anonymizeWord = given[static_cast<std::size_t>(Setting::Anonymize)];
    if (options.cycles == 0 && (portWord || reportWord || successWord))
        return Fail(fault, CommandLineError::NeedsCycles,
                    portWord ? portWord : reportWord ? reportWord : successWord);
    if (anonymizeWord && !options.recordPath)
        return Fail(fault, CommandLineError::NeedsRecord, anonymizeWord);
    return CommandLineError::None;
}

}  // namespace

ParsedCommandLine ParseCommandLine(const wchar_t* const* words, std::size_t count)
{
    ParsedCommandLine parsed;
    parsed.error = ReadWords(words, count, parsed.options, parsed.word);
    return parsed;
}

UnattendedWords FindUnattended(const wchar_t* const* words, std::size_t count)
{
    UnattendedWords found;
    for (std::size_t i = 0; i < count; ++i) {
        const wchar_t* word = words[i];
        if (word[0] != L'/' && word[0] != L'-')
            continue;
        if (SameName(word + 1, L"cycles"))
            found.burnIn = true;
        else if (SameName(word + 1, L"log") && i + 1 < count && !found.logPath && words[i + 1][0] != 0)
            found.logPath = words[i + 1];
    }
    return found;
}

UsageText CommandLineUsage(const wchar_t* programName)
{
    UsageText text;
    text.Append(L"用法：");
    // A name longer than any file name is cut, leaving the table its room.
    std::size_t length = 0;
    while (programName[length] && length < 260)
        ++length;
    text.Append(programName, length).Append(L" [选项]\n");
    for (const OptionRow& row : kOptions) {
        text.Append(L"  /").Append(row.name);
        if (row.value)
            text.Append(L' ').Append(row.value);
        text.Append(L"\t").Append(row.usage).Append(L'\n');
    }
    text.Append(L"选项不区分大小写，也可以 - 开头。");
    return text;
}

UsageText CommandLineErrorText(const ParsedCommandLine& parsed)
{
    // Each error's words, in the order of CommandLineError.
    static const wchar_t* const kErrorTexts[] = {
        nullptr,
        L"未知的选项：",
        L"选项缺少值：",
        L"选项的值无效：",
        L"选项重复：",
        L"选项须与 /cycles 同用：",
        L"选项须与 /record 同用：",
        L"两个选项指向同一个文件：",
    };
    static_assert(sizeof kErrorTexts / sizeof kErrorTexts[0] == std::size_t(CommandLineError::SameFile) + 1,
                  "a text for every error");
    UsageText text;
    if (parsed.error == CommandLineError::None || parsed.word == nullptr)
        return text;
    text.Append(kErrorTexts[static_cast<std::size_t>(parsed.error)]);
    // The word, cut so that the usage after it keeps its room.
    text.AppendAtMost(parsed.word, 200);
    return text;
}

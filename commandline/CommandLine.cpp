#include "CommandLine.h"

#include <limits>

namespace {

enum class Setting : std::uint8_t { Usage, Log, Cycles, Port, Report, Timeout };

struct OptionRow {
    const wchar_t* name;   // as typed, after '/' or '-'
    const wchar_t* value;  // the value's placeholder in the usage; null: takes none
    Setting sets;
    const wchar_t* usage;
};

const OptionRow kOptions[] = {
    {L"?", nullptr, Setting::Usage, L"显示本说明"},
    {L"log", L"<文件>", Setting::Log, L"把每次库调用追加记入该文件（UTF-8）"},
    {L"cycles", L"<n>", Setting::Cycles, L"老化测试：循环 n 次（1 至 10000000）"},
    {L"port", L"<p>", Setting::Port, L"老化测试的端口（默认 1001，须与 /cycles 同用）"},
    {L"report", L"<文件.html>", Setting::Report, L"老化测试报告（须与 /cycles 同用）"},
    {L"timeout", L"<秒>", Setting::Timeout, L"库调用超过此时间未返回即结束老化测试（1 至 86400，默认 60）"},
};
constexpr std::size_t kOptionCount = sizeof kOptions / sizeof kOptions[0];
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

// Past every range read here (32-bit values and the cycles).
constexpr std::int64_t kBeyondEveryRange = std::int64_t{1} << 40;

// A signed decimal from `least` to `most`: an optional sign and digits only.
bool ReadDecimal(const wchar_t* text, std::int64_t least, std::int64_t most, std::int64_t& value)
{
    const bool negative = *text == L'-';
    if (*text == L'-' || *text == L'+')
        ++text;
    if (*text == 0)
        return false;
    std::int64_t magnitude = 0;
    for (; *text; ++text) {
        if (*text < L'0' || *text > L'9')
            return false;
        magnitude = magnitude * 10 + (*text - L'0');
        if (magnitude > kBeyondEveryRange)
            return false;  // stop before it could overflow
    }
    value = negative ? -magnitude : magnitude;
    return value >= least && value <= most;
}

ParsedCommandLine Fail(ParsedCommandLine parsed, CommandLineError error, const wchar_t* word)
{
    parsed.error = error;
    parsed.word = word;
    return parsed;
}

}  // namespace

ParsedCommandLine ParseCommandLine(const wchar_t* const* words, std::size_t count)
{
    ParsedCommandLine parsed;
    bool seen[kOptionCount] = {};
    const wchar_t* portWord = nullptr;
    const wchar_t* reportWord = nullptr;
    for (std::size_t i = 0; i < count; ++i) {
        const wchar_t* word = words[i];
        const OptionRow* row = nullptr;
        if (word[0] == L'/' || word[0] == L'-') {
            for (std::size_t r = 0; r < kOptionCount && !row; ++r) {
                if (SameName(word + 1, kOptions[r].name)) {
                    row = &kOptions[r];
                    if (seen[r])
                        return Fail(parsed, CommandLineError::RepeatedOption, word);
                    seen[r] = true;
                }
            }
        }
        if (!row)
            return Fail(parsed, CommandLineError::UnknownOption, word);
        const wchar_t* value = nullptr;
        if (row->value) {
            if (i + 1 == count)
                return Fail(parsed, CommandLineError::MissingValue, word);
            value = words[++i];
        }
        CommandLineOptions& options = parsed.options;
        std::int64_t number = 0;
        switch (row->sets) {
        case Setting::Usage:
            options.usage = true;
            break;
        case Setting::Log:
            if (value[0] == 0)
                return Fail(parsed, CommandLineError::MalformedValue, value);
            options.logPath = value;
            break;
        case Setting::Cycles:
            if (!ReadDecimal(value, 1, kMostCycles, number) || value[0] == L'+' || value[0] == L'-')
                return Fail(parsed, CommandLineError::MalformedValue, value);
            options.cycles = static_cast<std::uint32_t>(number);
            break;
        case Setting::Port:
            if (!ReadDecimal(value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max(),
                             number))
                return Fail(parsed, CommandLineError::MalformedValue, value);
            options.port = static_cast<std::int32_t>(number);
            portWord = word;
            break;
        case Setting::Report:
            if (value[0] == 0)
                return Fail(parsed, CommandLineError::MalformedValue, value);
            options.reportPath = value;
            reportWord = word;
            break;
        case Setting::Timeout:
            if (!ReadDecimal(value, 1, kMostTimeoutSeconds, number) || value[0] == L'+' || value[0] == L'-')
                return Fail(parsed, CommandLineError::MalformedValue, value);
            options.timeoutSeconds = static_cast<std::uint32_t>(number);
            break;
        }
    }
    if (parsed.options.cycles == 0 && (portWord || reportWord))
        return Fail(parsed, CommandLineError::NeedsCycles, portWord ? portWord : reportWord);
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
    UsageText text;
    switch (parsed.error) {
    case CommandLineError::None:
        return text;
    case CommandLineError::UnknownOption:
        text.Append(L"未知的选项：");
        break;
    case CommandLineError::MissingValue:
        text.Append(L"选项缺少值：");
        break;
    case CommandLineError::MalformedValue:
        text.Append(L"选项的值无效：");
        break;
    case CommandLineError::RepeatedOption:
        text.Append(L"选项重复：");
        break;
    case CommandLineError::NeedsCycles:
        text.Append(L"选项须与 /cycles 同用：");
        break;
    }
    // The word, cut so that the usage after it keeps its room.
    std::size_t length = 0;
    while (parsed.word[length] && length < 200)
        ++length;
    text.Append(parsed.word, length);
    if (parsed.word[length])
        text.Append(L"…");
    return text;
}

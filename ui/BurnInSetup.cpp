#include "BurnInSetup.h"

#include "OutputFiles.h"
#include "ResultMessage.h"

namespace {

bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

// A whole number from 1 to `most`: blanks, digits, blanks.
bool ReadCount(const wchar_t* text, std::uint32_t most, std::uint32_t& value)
{
    while (IsBlank(*text))
        ++text;
    std::uint64_t number = 0;
    const wchar_t* digits = text;
    for (; *text >= L'0' && *text <= L'9'; ++text) {
        number = number * 10 + static_cast<std::uint64_t>(*text - L'0');
        if (number > most)
            return false;  // stop before it could overflow
    }
    if (text == digits)
        return false;
    while (IsBlank(*text))
        ++text;
    if (*text != 0 || number == 0)
        return false;
    value = static_cast<std::uint32_t>(number);
    return true;
}

bool IsSeparator(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

}  // namespace

BurnInSettings ReadBurnInFields(const BurnInFields& fields)
{
    BurnInSettings settings;
    if (!ReadCount(fields.cycles, kSetupMostCycles, settings.cycles)) {
        settings.error = BurnInFieldError::Cycles;
        return settings;
    }
    settings.port = ParsePort(fields.port);
    if (!ReadCount(fields.timeout, kSetupMostTimeoutSeconds, settings.timeoutSeconds)) {
        settings.error = BurnInFieldError::Timeout;
        return settings;
    }
    const wchar_t* report = fields.report;
    while (IsBlank(*report))
        ++report;
    if (*report == 0)
        settings.error = BurnInFieldError::Report;
    return settings;
}

const wchar_t* BurnInFieldErrorText(BurnInFieldError error)
{
    switch (error) {
    case BurnInFieldError::None:
        return nullptr;
    case BurnInFieldError::Cycles:
        return L"循环次数须为 1 至 10000000 之间的整数";
    case BurnInFieldError::Timeout:
        return L"超时须为 1 至 86400 之间的整数（秒）";
    case BurnInFieldError::Report:
        return L"请填写报告文件的路径";
    }
    return nullptr;
}

ReportName DefaultReportName(unsigned year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                             unsigned second)
{
    // Each part with its leading zeros, at most its own width: the year's four
    // digits, then two each, a hyphen between the date and the time.
    const unsigned parts[] = {year, month, day, hour, minute, second};
    wchar_t digits[16];
    std::size_t at = 0;
    for (std::size_t i = 0; i < 6; ++i) {
        if (i == 3)
            digits[at++] = L'-';
        const std::size_t width = i == 0 ? 4 : 2;
        unsigned value = parts[i];
        for (std::size_t d = width; d-- > 0;) {
            digits[at + d] = static_cast<wchar_t>(L'0' + value % 10);
            value /= 10;
        }
        at += width;
    }
    ReportName name;
    name.Append(L"burn-in-").Append(digits, at).Append(L".html");
    return name;
}

bool PathInFolder(const wchar_t* folder, const wchar_t* path, SetupPath& full)
{
    full.Clear();
    const bool rooted = IsSeparator(path[0]) || (path[0] != 0 && path[1] == L':');
    if (!rooted) {
        full.Append(folder);
        if (full.size() > 0 && !IsSeparator(full.c_str()[full.size() - 1]))
            full.Append(L'\\');
    }
    full.Append(path);
    return !full.cut();
}

bool CallLogPathBeside(const wchar_t* reportPath, SetupPath& logPath)
{
    return PathBeside(reportPath, L".log", logPath);
}

#include "BurnInSetup.h"

#include "Decimal.h"
#include "HeapObject.h"
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
    if (*text == L'+' || *text == L'-')
        return false;
    const decimal::Reading<wchar_t> reading = decimal::ReadLeading(text, 0, most);
    const wchar_t* end = reading.end;
    while (IsBlank(*end))
        ++end;
    if (!reading.digits || *end != 0 || reading.outOfRange || reading.value == 0)
        return false;
    value = static_cast<std::uint32_t>(reading.value);
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

ReportName DefaultReportName(const LocalTime& time)
{
    char digits[kLocalTimeRoom];
    ReportName name;
    name.Append(L"burn-in-").AppendNarrow(digits, WriteLocalTime(digits, time, LocalTimeStyle::Compact)).Append(L".html");
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

bool CheckBurnInOutputs(const BurnInOutputs& outputs, CollisionText& text)
{
    text.Clear();
    if (outputs.reportIsFolder) {
        text.Append(L"报告须是一个文件，而不是文件夹：").Append(outputs.report);
        return false;
    }
    struct Beside {
        SetupPath json, log;
    };
    Beside* beside = NewOnHeap<Beside>();  // paths as long as the system allows: out of the stack
    if (beside == nullptr)
        return true;  // nothing to compare with: the run finds out itself
    const bool json = PathBeside(outputs.report, L".json", beside->json);
    const bool log = outputs.callLog && CallLogPathBeside(outputs.report, beside->log);
    const OutputFile files[] = {
        {L"报告", outputs.report},
        {L"报告的 JSON 文件", json ? beside->json.c_str() : nullptr},
        {L"报告旁的调用日志", log ? beside->log.c_str() : nullptr},
        {L"/log 调用日志", outputs.consoleLog},
        {L"/record 录制文件", outputs.consoleRecording},
    };
    constexpr std::size_t kCount = sizeof files / sizeof files[0];
    const OutputCollision collision = FindOutputCollision(files, kCount);
    if (collision.first < kCount)
        text = OutputCollisionText(files[collision.first], files[collision.second]);
    DeleteOnHeap(beside);
    return collision.first == kCount;
}

#include "BurnInSetup.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A wide text for a failure message.
std::string Shown(const wchar_t* text)
{
    return ::testing::PrintToString(std::wstring(text));
}

// Each row: the boxes as typed, and what is taken or which box is refused.
struct FieldsRow {
    const wchar_t* cycles;
    const char* port;
    const wchar_t* timeout;
    const wchar_t* report;
    BurnInFieldError error;
    std::uint32_t cycles_;
    std::int32_t port_;
    std::uint32_t timeout_;
};

TEST(ReadBurnInFields, TakesTheRangesAndRefusesTheFirstBadBox)
{
    using E = BurnInFieldError;
    const FieldsRow rows[] = {
        {L"1000", "1001", L"60", L"a.html", E::None, 1000, 1001, 60},
        {L"1", "0", L"1", L"a", E::None, 1, 0, 1},                                   // the least of each
        {L"10000000", "-5", L"86400", L"a", E::None, 10000000, -5, 86400},           // the most of each
        {L" 20 ", " 12ab", L"\t5 ", L" a ", E::None, 20, 12, 5},                     // blanks; port as atoi
        {L"0", "1", L"60", L"a", E::Cycles, 0, 0, 0},                                // none asked
        {L"10000001", "1", L"60", L"a", E::Cycles, 0, 0, 0},                         // one too many
        {L"99999999999999999999", "1", L"60", L"a", E::Cycles, 0, 0, 0},             // no overflow
        {L"1,000", "1", L"60", L"a", E::Cycles, 0, 0, 0},
        {L"+5", "1", L"60", L"a", E::Cycles, 0, 0, 0},                               // digits only, no sign
        {L"-0", "1", L"60", L"a", E::Cycles, 0, 0, 0},
        {L"5 5", "1", L"60", L"a", E::Cycles, 0, 0, 0},                              // one number, not two
        {L"5", "1", L"", L"a", E::Timeout, 0, 0, 0},                                 // a blank box is no number
        {L"5", "1", L"0", L"a", E::Timeout, 0, 0, 0},
        {L"5", "1", L"86401", L"a", E::Timeout, 0, 0, 0},
        {L"5", "1", L"60", L"", E::Report, 0, 0, 0},
        {L"5", "1", L"60", L"  ", E::Report, 0, 0, 0},
        {L"0", "1", L"0", L"", E::Cycles, 0, 0, 0},  // the first bad box is named
    };
    for (const FieldsRow& row : rows) {
        BurnInFields fields;
        fields.cycles = row.cycles;
        fields.port = row.port;
        fields.timeout = row.timeout;
        fields.report = row.report;
        const BurnInSettings settings = ReadBurnInFields(fields);
        SCOPED_TRACE(Shown(row.cycles) + " " + row.port + " " + Shown(row.timeout) + " " + Shown(row.report));
        EXPECT_EQ(settings.error, row.error);
        if (row.error != E::None) {
            EXPECT_NE(BurnInFieldErrorText(settings.error), nullptr);
            continue;
        }
        EXPECT_EQ(settings.cycles, row.cycles_);
        EXPECT_EQ(settings.port, row.port_);
        EXPECT_EQ(settings.timeoutSeconds, row.timeout_);
    }
}

TEST(DefaultReportName, IsTheLocalTimeWithItsLeadingZeros)
{
    EXPECT_EQ(std::wstring(DefaultReportName({2026, 3, 7, 9, 5, 2, 41}).c_str()), L"burn-in-20260307-090502.html");
    EXPECT_EQ(std::wstring(DefaultReportName({2026, 12, 31, 23, 59, 59, 999}).c_str()), L"burn-in-20261231-235959.html");
}

TEST(PathInFolder, JoinsARelativePathAndKeepsARootedOne)
{
    const struct {
        const wchar_t* folder;
        const wchar_t* path;
        const wchar_t* full;
    } rows[] = {
        {L"D:\\Zantor", L"run.html", L"D:\\Zantor\\run.html"},
        {L"D:\\", L"run.html", L"D:\\run.html"},  // a root keeps its one backslash
        {L"D:\\Zantor", L"sub\\run.html", L"D:\\Zantor\\sub\\run.html"},
        {L"D:\\Zantor", L"C:\\r\\run.html", L"C:\\r\\run.html"},
        {L"D:\\Zantor", L"\\\\srv\\share\\run.html", L"\\\\srv\\share\\run.html"},
        {L"D:\\Zantor", L"\\run.html", L"\\run.html"},
    };
    for (const auto& row : rows) {
        SetupPath full;
        EXPECT_TRUE(PathInFolder(row.folder, row.path, full));
        EXPECT_EQ(std::wstring(full.c_str()), row.full) << Shown(row.path);
    }
    // A path that would be cut is refused, never shortened into another file.
    SetupPath full;
    EXPECT_FALSE(PathInFolder(L"D:\\Zantor", std::wstring(kLongestPath - 4, L'a').c_str(), full));
}

TEST(CallLogPathBeside, ReplacesTheReportsExtension)
{
    const struct {
        const wchar_t* report;
        const wchar_t* log;
    } rows[] = {
        {L"D:\\Zantor\\burn-in-20260307-090502.html", L"D:\\Zantor\\burn-in-20260307-090502.log"},
        {L"D:\\Zantor\\run", L"D:\\Zantor\\run.log"},
        {L"D:\\v1.0\\run", L"D:\\v1.0\\run.log"},  // a dot in a folder is not the name's
        {L"D:\\a\\run.v2.htm", L"D:\\a\\run.v2.log"},
        // The JSON's rule: a name that starts with a dot has no extension, and a
        // report named as its log would be gets the log beside it, never over it.
        {L"D:\\a\\.html", L"D:\\a\\.html.log"},
        {L"D:\\a\\run.LOG", L"D:\\a\\run.LOG.log"},
    };
    for (const auto& row : rows) {
        SetupPath log;
        EXPECT_TRUE(CallLogPathBeside(row.report, log));
        EXPECT_EQ(std::wstring(log.c_str()), row.log) << Shown(row.report);
    }
}

}  // namespace

namespace {

TEST(CheckBurnInOutputs, RefusesAFolderAndTwoOutputsThatAreOneFile)
{
    const struct {
        const char* fault;  // what a failure of the row would catch
        BurnInOutputs outputs;
        const wchar_t* refusal;  // null: taken
    } rows[] = {
        {"a report beside the console's files is taken",
         {L"D:\\Zantor\\run.html", false, true, L"D:\\Zantor\\zantor.log", L"D:\\Zantor\\case.ini"}, nullptr},
        {"a folder is no report", {L"D:\\Zantor\\reports", true, false, nullptr, nullptr},
         L"报告须是一个文件，而不是文件夹：D:\\Zantor\\reports"},
        {"a report named like its log gets the log beside it, never over it",
         {L"D:\\Zantor\\run.log", false, true, nullptr, nullptr}, nullptr},
        {"the log beside the report is the console's log, in another case",
         {L"D:\\Zantor\\run.html", false, true, L"d:\\zantor\\RUN.log", nullptr},
         L"报告旁的调用日志 与 /log 调用日志 指向同一个文件：D:\\Zantor\\run.log"},
        {"without the tick there is no log beside the report",
         {L"D:\\Zantor\\run.html", false, false, L"D:\\Zantor\\run.log", nullptr}, nullptr},
        {"the report is the console's recording", {L"D:\\Zantor\\case.ini", false, false, nullptr, L"D:\\Zantor\\case.ini"},
         L"报告 与 /record 录制文件 指向同一个文件：D:\\Zantor\\case.ini"},
        {"the report's JSON is the console's log", {L"D:\\Zantor\\x.html", false, false, L"D:\\Zantor\\x.json", nullptr},
         L"报告的 JSON 文件 与 /log 调用日志 指向同一个文件：D:\\Zantor\\x.json"},
    };
    for (const auto& row : rows) {
        CollisionText text;
        EXPECT_EQ(CheckBurnInOutputs(row.outputs, text), row.refusal == nullptr) << row.fault;
        EXPECT_EQ(std::wstring(text.c_str()), row.refusal ? row.refusal : L"") << row.fault;
    }
}

}  // namespace

#include "CommandLine.h"
#include "OutputFiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct OptionRow {
    const char* fault;  // what a failure of the row would catch
    std::vector<const wchar_t*> words;
    CommandLineError error;
    int wordAtFault;  // index into words, -1: none
};

std::ostream& operator<<(std::ostream& os, const OptionRow& row)
{
    return os << row.fault;
}

class OptionTableTest : public ::testing::TestWithParam<OptionRow> {};

TEST_P(OptionTableTest, RefusesOrAcceptsAndNamesTheWord)
{
    const OptionRow& row = GetParam();
    const ParsedCommandLine parsed = ParseCommandLine(row.words.data(), row.words.size());
    EXPECT_EQ(parsed.error, row.error);
    if (row.wordAtFault >= 0) {
        EXPECT_EQ(parsed.word, row.words[static_cast<std::size_t>(row.wordAtFault)]);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, OptionTableTest, ::testing::Values(
    OptionRow{"names are case-insensitive, either prefix", {L"-LoG", L"a", L"/CYCLES", L"5", L"-?"},
              CommandLineError::None, -1},
    OptionRow{"unknown option", {L"/frobnicate"}, CommandLineError::UnknownOption, 0},
    OptionRow{"a bare word is no option", {L"log"}, CommandLineError::UnknownOption, 0},
    OptionRow{"missing value", {L"/cycles", L"3", L"/log"}, CommandLineError::MissingValue, 2},
    OptionRow{"cycles zero", {L"/cycles", L"0"}, CommandLineError::MalformedValue, 1},
    OptionRow{"cycles past ten million", {L"/cycles", L"10000001"}, CommandLineError::MalformedValue, 1},
    OptionRow{"cycles with letters", {L"/cycles", L"12x"}, CommandLineError::MalformedValue, 1},
    OptionRow{"port past 32 bits", {L"/cycles", L"1", L"/port", L"2147483648"}, CommandLineError::MalformedValue, 3},
    OptionRow{"an endless number", {L"/cycles", L"99999999999999999999999"}, CommandLineError::MalformedValue, 1},
    OptionRow{"port at the bottom of 32 bits", {L"/cycles", L"1", L"/port", L"-2147483648"}, CommandLineError::None, -1},
    OptionRow{"cycles with a sign", {L"/cycles", L"+5"}, CommandLineError::MalformedValue, 1},
    OptionRow{"a bare sign is no number", {L"/cycles", L"1", L"/port", L"-"}, CommandLineError::MalformedValue, 3},
    OptionRow{"port just below 32 bits", {L"/cycles", L"1", L"/port", L"-2147483649"}, CommandLineError::MalformedValue, 3},
    OptionRow{"leading zeros are digits like any other", {L"/cycles", L"0000000000007", L"/success",
              L"readCard=0x000000000090"}, CommandLineError::None, -1},
    OptionRow{"repeated, another case", {L"/log", L"a", L"-LOG", L"b"}, CommandLineError::RepeatedOption, 2},
    OptionRow{"port without cycles", {L"/port", L"7"}, CommandLineError::NeedsCycles, 0},
    OptionRow{"report without cycles", {L"/report", L"r.html"}, CommandLineError::NeedsCycles, 0},
    OptionRow{"an option is not matched by its prefix", {L"/logx", L"a"}, CommandLineError::UnknownOption, 0},
    OptionRow{"nor by a part of its name", {L"/lo", L"a"}, CommandLineError::UnknownOption, 0},
    OptionRow{"success repeats, any case, hex and lists", {L"/cycles", L"1", L"/success", L"READCARD=0x90",
              L"-Success", L"getDeviceStatus=0,1,-2"}, CommandLineError::None, -1},
    OptionRow{"success for an unknown operation", {L"/cycles", L"1", L"/success", L"readCards=0"},
              CommandLineError::MalformedValue, 3},
    OptionRow{"success without a code", {L"/cycles", L"1", L"/success", L"readCard="}, CommandLineError::MalformedValue, 3},
    OptionRow{"success without an operation", {L"/cycles", L"1", L"/success", L"=0"}, CommandLineError::MalformedValue, 3},
    OptionRow{"success with an empty code in the list", {L"/cycles", L"1", L"/success", L"readCard=0,"},
              CommandLineError::MalformedValue, 3},
    OptionRow{"success with a bare 0x", {L"/cycles", L"1", L"/success", L"readCard=0x"}, CommandLineError::MalformedValue, 3},
    OptionRow{"success past 32 bits", {L"/cycles", L"1", L"/success", L"readCard=0x100000000"},
              CommandLineError::MalformedValue, 3},
    OptionRow{"success with letters", {L"/cycles", L"1", L"/success", L"readCard=9a"}, CommandLineError::MalformedValue, 3},
    OptionRow{"success without cycles", {L"/success", L"readCard=0"}, CommandLineError::NeedsCycles, 0},
    OptionRow{"success takes sixteen codes for one operation", {L"/cycles", L"1", L"/success",
              L"readCard=0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15"}, CommandLineError::None, -1},
    OptionRow{"a seventeenth code is refused", {L"/cycles", L"1", L"/success",
              L"readCard=0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16"}, CommandLineError::MalformedValue, 3},
    OptionRow{"a code given twice counts once", {L"/cycles", L"1", L"/success",
              L"readCard=0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,0x0F"}, CommandLineError::None, -1},
    OptionRow{"the seventeenth in a later /success is refused too", {L"/cycles", L"1", L"/success",
              L"readCard=0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15", L"/success", L"getDeviceStatus=16", L"/success",
              L"readCard=16"}, CommandLineError::MalformedValue, 7},

    OptionRow{"anonymize without record", {L"/log", L"a", L"/anonymize"}, CommandLineError::NeedsRecord, 2},
    OptionRow{"record and anonymize, a burn-in's too", {L"/ANONYMIZE", L"/record", L"s.ini", L"/cycles", L"3"},
              CommandLineError::None, -1},
    OptionRow{"record without a file", {L"/record", L""}, CommandLineError::MalformedValue, 1},
    OptionRow{"timeout at the console, the longest", {L"/timeout", L"86400"}, CommandLineError::None, -1},
    OptionRow{"timeout zero", {L"/cycles", L"1", L"/timeout", L"0"}, CommandLineError::MalformedValue, 3},
    OptionRow{"timeout past a day", {L"/timeout", L"86401"}, CommandLineError::MalformedValue, 1},
    OptionRow{"timeout with a sign", {L"/timeout", L"+5"}, CommandLineError::MalformedValue, 1},
    OptionRow{"trace none, any case", {L"/TRACE", L"None"}, CommandLineError::None, -1},
    OptionRow{"trace takes none only", {L"/trace", L"off"}, CommandLineError::MalformedValue, 1}));

// /cycles anywhere, even after the fault that stops the parse, makes the run
// unattended; the log's path is found the same way.
TEST(CommandLineTest, AnUnattendedRunIsFoundBesideAMistake)
{
    const wchar_t* words[] = {L"/bogus", L"-LOG", L"a.log", L"/Cycles", L"x", L"/log", L"b.log"};
    const UnattendedWords found = FindUnattended(words, 7);
    EXPECT_TRUE(found.burnIn);
    EXPECT_STREQ(found.logPath, L"a.log");
    EXPECT_FALSE(FindUnattended(words, 3).burnIn);
    const wchar_t* valueOnly[] = {L"/log", L"/cycles"};  // the word after /log is its value, still a burn-in word
    EXPECT_TRUE(FindUnattended(valueOnly, 2).burnIn);
    EXPECT_EQ(ParseCommandLine(words + 3, 0).options.timeoutSeconds, 60u) << "the default";
    EXPECT_TRUE(ParseCommandLine(words + 3, 0).options.traceImports) << "routed by default";
    const wchar_t* untraced[] = {L"-trace", L"NONE"};
    EXPECT_FALSE(ParseCommandLine(untraced, 2).options.traceImports);
}

TEST(CommandLineTest, EveryOptionSetsWhatItNames)
{
    const wchar_t* words[] = {L"/log", L"calls.log", L"/cycles", L"10000000", L"/port", L"-2147483648",
                              L"/report", L"r.html", L"/?"};
    const ParsedCommandLine parsed = ParseCommandLine(words, 9);
    ASSERT_EQ(parsed.error, CommandLineError::None);
    EXPECT_STREQ(parsed.options.logPath, L"calls.log");
    EXPECT_EQ(parsed.options.cycles, 10000000u);
    EXPECT_EQ(parsed.options.port, -2147483647 - 1);
    EXPECT_STREQ(parsed.options.reportPath, L"r.html");
    EXPECT_TRUE(parsed.options.usage);
    EXPECT_TRUE(parsed.options.success.IsSuccess(Operation::readCard, 0)) << "0 unless declared";
    EXPECT_FALSE(parsed.options.success.IsSuccess(Operation::readCard, 1));

    const wchar_t* success[] = {L"/cycles", L"1", L"/success", L"readCard=0x90", L"/success", L"readcard=144,0xFFFFFFFF",
                                L"/success", L"getDeviceStatus=-3"};
    const SuccessCodes& codes = ParseCommandLine(success, 8).options.success;
    EXPECT_EQ(codes.Count(Operation::readCard), 2u) << "0x90 and 144 are one code";
    EXPECT_TRUE(codes.IsSuccess(Operation::readCard, 0x90) && codes.IsSuccess(Operation::readCard, -1));
    EXPECT_FALSE(codes.IsSuccess(Operation::readCard, 0)) << "a declared set replaces 0";
    EXPECT_TRUE(codes.IsSuccess(Operation::getDeviceStatus, -3) && codes.IsSuccess(Operation::GetCardInfo, 0));

    const wchar_t* sixteen[] = {L"/cycles", L"1", L"/success", L"readCard=100,101,102,103,104,105,106,107,108,109,"
                                L"110,111,112,113,114,115"};
    const SuccessCodes& full = ParseCommandLine(sixteen, 4).options.success;
    EXPECT_EQ(full.Count(Operation::readCard), SuccessCodes::kMaxPerOperation);
    EXPECT_TRUE(full.IsSuccess(Operation::readCard, 100) && full.IsSuccess(Operation::readCard, 115))
        << "the first and the last kept";
    EXPECT_FALSE(full.IsSuccess(Operation::readCard, 116) || full.IsSuccess(Operation::readCard, 0));

    const ParsedCommandLine none = ParseCommandLine(words, 0);
    EXPECT_TRUE(none.error == CommandLineError::None && !none.options.logPath && none.options.cycles == 0 &&
                none.options.port == 1001 && !none.options.usage) << "no option: nothing asked, the default port";
}

TEST(CommandLineTest, UsageComesFromTheTableAndTheErrorNamesTheWord)
{
    const std::wstring usage = CommandLineUsage(L"Zantor").c_str();
    EXPECT_EQ(usage.rfind(L"用法：Zantor [选项]\n  /?\t", 0), 0u);
    EXPECT_NE(usage.find(L"\n  /report <文件.html>\t"), std::wstring::npos) << "the last row too";
    const wchar_t* words[] = {L"/frobnicate"};
    EXPECT_STREQ(CommandLineErrorText(ParseCommandLine(words, 1)).c_str(), L"未知的选项：/frobnicate");
}

}  // namespace

namespace {

// Natively the paths are taken as full already, but for a folder the test adds
// to a relative one, as the system would join the working folder.
bool TestFullPath(const wchar_t* path, OutputPath& full)
{
    full.Clear();
    if (path[0] != L'C')
        full.Append(L"C:\\work\\");
    full.Append(path);
    return !full.cut();
}

struct CollisionRow {
    const char* fault;  // what a failure of the row would catch
    std::vector<const wchar_t*> words;
    const wchar_t* text;  // null: no two outputs are one file
};

TEST(CommandLineTest, TwoOutputsThatAreOneFileAreNamedByTheirOptions)
{
    const CollisionRow rows[] = {
        {"the JSON beside the report is the log", {L"/cycles", L"5", L"/report", L"x.html", L"/log", L"x.json"},
         L"/report 的 JSON 文件 与 /log 指向同一个文件：C:\\work\\x.json"},
        {"the log is the recording, in another case and spelling",
         {L"/log", L"C:\\work\\Run.LOG", L"/record", L"run.log"}, L"/log 与 /record 指向同一个文件：C:\\work\\Run.LOG"},
        {"the report is the recording", {L"/cycles", L"5", L"/report", L"s.ini", L"/record", L"s.ini"},
         L"/report 与 /record 指向同一个文件：C:\\work\\s.ini"},
        {"the report is the log", {L"/cycles", L"5", L"/report", L"r", L"/log", L"r"},
         L"/report 与 /log 指向同一个文件：C:\\work\\r"},
        {"a report named *.json has its JSON beside it, not over it",
         {L"/cycles", L"5", L"/report", L"x.json", L"/log", L"x.log"}, nullptr},
        {"outputs in different folders are different files",
         {L"/cycles", L"5", L"/report", L"C:\\a\\x.html", L"/log", L"C:\\b\\x.json"}, nullptr},
        {"a name that only starts like another is another", {L"/log", L"x.log", L"/record", L"x.log2"}, nullptr},
        {"nothing named, nothing compared", {}, nullptr},
    };
    for (const CollisionRow& row : rows) {
        const ParsedCommandLine parsed = ParseCommandLine(row.words.data(), row.words.size());
        ASSERT_EQ(parsed.error, CommandLineError::None) << row.fault;
        CollisionText text;
        EXPECT_EQ(FindCommandLineCollision(parsed.options, &TestFullPath, text), row.text != nullptr) << row.fault;
        if (row.text) {
            EXPECT_EQ(std::wstring(text.c_str()), row.text) << row.fault;
        }
    }
}

}  // namespace

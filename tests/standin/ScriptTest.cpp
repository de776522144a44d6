// The stand-in reader's script parser: what a script says, and the errors that
// point a test author at the line they mistyped.
#include <gtest/gtest.h>

#include <cctype>
#include <climits>
#include <ostream>

#include "Script.h"

using standin::ParseScript;
using standin::Piece;
using standin::Script;
using standin::ScriptError;

namespace {

Script Parsed(const std::string& text)
{
    const standin::ParseResult result = ParseScript(text);
    EXPECT_EQ(result.error, ScriptError::None) << "line " << result.line << ": " << result.detail;
    return result.script;
}

// The piece as "kind:text", for compact comparisons.
std::string Show(const std::optional<Piece>& piece)
{
    if (!piece)
        return "unset";
    static const char* const kKinds[] = {"text", "none", "longest", "photo", "valuefile"};
    return std::string(kKinds[static_cast<int>(piece->kind)]) + ":" + piece->text;
}

TEST(StandinScript, Syntax)
{
    const Script s = Parsed(
        "\xEF\xBB\xBF; comment\r\n"
        "\r\n"
        "# comment = not a key\r\n"
        "[READCARD]\r\n"
        "   ; indented comment\r\n"
        "  Text\t=\t a;b#c \"quoted\" \t\r\n"
        "RESULT=5\r\n"
        "[getDeviceStatus]\n"
        "text=\n"
        "[field7]\n"
        "value=v\n"
        "[Field.11]\nphoto=a.jpg\nvalue=QUJD\n"
        "[readCard]\nresult=6\n"
        "[GetCardInfo]\nfault=CPP-Exception\nlog=calls.log\n[Field.4]\noverrun=3\nfault=divide-by-zero\n"
        "extra=Write\npump=20\n[readCard]\nextra=scratch\n[Field.6]\noverrun=2  Text\n[Field.8]\noverrun=1 value\n");
    EXPECT_EQ(Show(s.readCard.text), "text:a;b#c \"quoted\"") << "trimmed; comments are whole lines; quotes are text";
    EXPECT_EQ(s.readCard.result, 6) << "a later key replaces an earlier one";
    EXPECT_EQ(Show(s.deviceStatus.text), "text:");
    EXPECT_EQ(Show(s.fields.at(7).value), "text:v") << "[FieldN] is taken as [Field.N]";
    EXPECT_EQ(Show(s.fields.at(11).value), "text:QUJD") << "value and photo set the same thing";
    EXPECT_EQ(s.ForField(4).fault, standin::Fault::DivideByZero) << "a field's fault over the general one";
    EXPECT_EQ(s.ForField(4).overrun, 3);
    EXPECT_EQ(s.ForField(5).fault, standin::Fault::CppException);
    EXPECT_EQ(s.ForField(5).overrun, std::nullopt);
    EXPECT_EQ(s.ForField(4).overrunBuffer, standin::OverrunBuffer::Operation) << "overrun=N: the operation's buffer";
    EXPECT_EQ(s.ForField(6).overrun, 2);
    EXPECT_EQ(s.ForField(6).overrunBuffer, standin::OverrunBuffer::Text) << "named by its key, in any case";
    EXPECT_EQ(s.ForField(8).overrunBuffer, standin::OverrunBuffer::Value);
    EXPECT_EQ(s.ForField(4).extra, standin::Extra::Write);
    EXPECT_EQ(s.ForField(4).pump, 20);
    EXPECT_EQ(s.ForField(4).log, "calls.log") << "from [GetCardInfo]";
    EXPECT_EQ(s.ForField(5).extra, std::nullopt);
    EXPECT_EQ(s.readCard.extra, standin::Extra::Scratch);

    const standin::AnswerScript field =
        Parsed("[GetCardInfo]\nDelay=5\njitter=6\nleak=7\nleak_handles=8\nfail_every=9\nvary_every=10\n"
               "chdir=sub dir\nlocale=German\n[Field.3]\nleak=70\nvary_every=1\n")
            .ForField(3);
    EXPECT_EQ(field.leak, 70) << "the field's own";
    EXPECT_EQ(field.varyEvery, 1);
    EXPECT_TRUE(field.delay == 5 && field.jitter == 6 && field.leakHandles == 8 && field.failEvery == 9);
    EXPECT_EQ(field.chdir, "sub dir");
    EXPECT_EQ(field.locale, "German");
    EXPECT_EQ(Parsed("[GetCardInfo]\ntake=thread\n[Field.3]\ntake=Malloc, Thread_End once\n").ForField(3).take,
              standin::take_bits::kMalloc | standin::take_bits::kThreadEnds | standin::take_bits::kOnce)
        << "the field's own, any case";
}

// clobber= takes the words of the build's architecture, blanks and/or commas between.
TEST(StandinScript, ClobberWordsPerArchitecture)
{
    using standin::Architecture;
    const struct {
        Architecture architecture;
        const char* list;
        std::uint32_t bits;
    } rows[] = {
        {Architecture::X86, " EBX,esi  edi,,ebp df x87cw,MXCSR x87stack", 0x3C000F},
        {Architecture::X64, "rbx rsi rdi rbp r12 r13 r14 r15 xmm6,xmm15 df", 0x400FF | 0x100 | 0x20000},
        {Architecture::X64, "", 0},
    };
    for (const auto& row : rows) {
        const standin::ParseResult result = ParseScript(std::string("[readCard]\nclobber=") + row.list,
                                                        row.architecture);
        EXPECT_EQ(result.error, ScriptError::None) << row.list;
        EXPECT_EQ(result.script.readCard.clobber, row.bits) << row.list;
    }
}

struct ErrorCase {
    const char* what;  // the fault this row would catch
    const char* script;
    ScriptError error;
    int line;
    const char* detail;
    standin::Architecture architecture = standin::Architecture::X64;
};

void PrintTo(const ErrorCase& c, std::ostream* out)
{
    *out << c.what;
}

// The row's description as a test name: letters and digits, other characters "_".
std::string RowName(const testing::TestParamInfo<ErrorCase>& info)
{
    std::string name;
    for (const char* p = info.param.what; *p; ++p)
        name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
    return name;
}

class StandinScriptErrors : public testing::TestWithParam<ErrorCase> {};

TEST_P(StandinScriptErrors, ReportsLineAndWord)
{
    const ErrorCase& c = GetParam();
    const standin::ParseResult result = ParseScript(c.script, c.architecture);
    EXPECT_EQ(result.error, c.error);
    EXPECT_EQ(result.line, c.line);
    EXPECT_EQ(result.detail, c.detail);
}

const ErrorCase kErrorCases[] = {
    {"unclosed section", "[readCard", ScriptError::UnclosedSection, 1, "[readCard"},
    {"unknown section", "[OpenDevice]\n[Foo]", ScriptError::UnknownSection, 2, "Foo"},
    {"field without number", "[Field.]", ScriptError::UnknownSection, 1, "Field."},
    {"field out of range", "[Field.2147483648]", ScriptError::UnknownSection, 1, "Field.2147483648"},
    {"key before any section", "result=1", ScriptError::KeyOutsideSection, 1, "result=1"},
    {"line without =", "[OpenDevice]\nresult", ScriptError::MissingEquals, 2, "result"},
    {"unknown key", "[readCard]\ncode=1", ScriptError::UnknownKey, 2, "code"},
    {"result not a number", "[readCard]\nresult=abc", ScriptError::BadNumber, 2, "abc"},
    {"result with plus sign", "[readCard]\nresult=+5", ScriptError::BadNumber, 2, "+5"},
    {"result above int32", "[readCard]\nresult=2147483648", ScriptError::BadNumber, 2, "2147483648"},
    {"misspelt special", "[readCard]\ntext=@nothing", ScriptError::UnknownSpecial, 2, "@nothing"},
    {"unknown fault", "[readCard]\nfault=segfault", ScriptError::UnknownFault, 2, "segfault"},
    {"overrun of nothing", "[readCard]\noverrun=0", ScriptError::NotPositive, 2, "0"},
    {"overrun not a number", "[OpenDevice]\noverrun=many", ScriptError::NotPositive, 2, "many"},
    {"pump of no time", "[readCard]\npump=0", ScriptError::NotPositive, 2, "0"},
    {"unknown use of the extra parameter", "[readCard]\nextra=read", ScriptError::UnknownExtra, 2, "read"},
    {"a 64-bit register on 32-bit", "[readCard]\nclobber=ebx rbx", ScriptError::UnknownClobber, 2, "rbx",
     standin::Architecture::X86},
    {"a 32-bit register on 64-bit", "[Field.1]\nclobber=rbx,Ebx", ScriptError::UnknownClobber, 2, "Ebx"},
    {"a register callers do not keep", "[OpenDevice]\nclobber=xmm5", ScriptError::UnknownClobber, 2, "xmm5"},
    {"nothing of that name to take", "[readCard]\ntake=event,socket", ScriptError::UnknownTake, 2, "socket"},
    {"delay of no time", "[readCard]\ndelay=0", ScriptError::NotPositive, 2, "0"},
    {"jitter not a number", "[readCard]\njitter=some", ScriptError::NotPositive, 2, "some"},
    {"negative leak", "[readCard]\nleak=-1", ScriptError::NotPositive, 2, "-1"},
    {"no handles to leak", "[readCard]\nleak_handles=0", ScriptError::NotPositive, 2, "0"},
    {"fail on every 0th call", "[readCard]\nfail_every=0", ScriptError::NotPositive, 2, "0"},
    {"vary every 0th read", "[Field.0]\nvary_every=0", ScriptError::NotPositive, 2, "0"},
    {"first error wins", "[readCard]\nresult=x\n[Foo]", ScriptError::BadNumber, 2, "x"},
    {"overrun of an unknown buffer", "[Field.1]\noverrun=1 photo", ScriptError::UnknownBuffer, 2, "photo"},
    {"overrun's count before its buffer", "[Field.1]\noverrun=value 1", ScriptError::NotPositive, 2, "value"},
    {"overrun of no bytes in a named buffer", "[Field.1]\noverrun=0 text", ScriptError::NotPositive, 2, "0"},
    {"odd hex digits", "[readCard]\ntext=@hex:ABC", ScriptError::BadHex, 2, "@hex:ABC"},
    {"not a hex digit", "[readCard]\ntext=@hex:0G", ScriptError::BadHex, 2, "@hex:0G"},
    {"an operation misspelt in an answer", "[Recording]\n[Answer.1]\noperation=opendevice", ScriptError::UnknownOperation,
     3, "opendevice"},
    {"a call of an answer not given", "[Recording]\n[Answer.1]\noperation=readCard\n[Calls]\ncalls=1 2",
     ScriptError::UnknownAnswer, 5, "2"},
    {"a call's pace below zero", "[Recording]\n[Answer.1]\noperation=readCard\n[Calls]\ncalls=1@-1",
     ScriptError::BadNumber, 5, "1@-1"},
    {"a negative code page", "[Recording]\ncodepage=-1", ScriptError::BadNumber, 2, "-1"},
    {"an unknown key in the recording's header", "[Recording]\npace=1", ScriptError::UnknownKey, 2, "pace"},
    {"an answer key among the calls", "[Recording]\n[Calls]\nresult=1", ScriptError::UnknownKey, 3, "result"},
};

INSTANTIATE_TEST_SUITE_P(Rows, StandinScriptErrors, testing::ValuesIn(kErrorCases), RowName);

}  // namespace

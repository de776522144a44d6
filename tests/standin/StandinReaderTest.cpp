// The stand-in reader: its state machine, the script's overrides and specials, and
// the buffer limits it keeps. Built-in texts are narrow literals (code page 936,
// like the reader's); script texts are UTF-8 and kept as they are by the fake.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

#include "Base64.h"
#include "Mervik.h"
#include "RecordingSession.h"
#include "RecordingText.h"
#include "RecordingWriter.h"
#include "SampleCard.h"
#include "StandinReader.h"
#include "TestBuffer.h"

using standin::Extra;
using standin::Fault;
using standin::FileRead;
using standin::State;

namespace {

// Serves the script (at /cards/Mervik.ini) and the files it names from memory.
class FakeEnvironment : public standin::Environment {
public:
    std::map<std::string, std::string> files;
    std::set<std::string> locked;  // there, but cannot be read
    mutable std::optional<Fault> raised;
    std::function<std::string(const std::string&)> convert = [](const std::string& s) { return s; };

    std::optional<std::string> ScriptPath() const override { return std::string("/cards/Mervik.ini"); }
    std::string ToNarrow(const std::string& utf8) const override { return convert(utf8); }
    // 936 as the system converts it; another code page marked, to show which was asked for.
    std::string ToCodePage(const std::string& utf8, std::uint32_t codePage) const override
    {
        if (codePage != 936)
            return "cp" + std::to_string(codePage) + ":" + utf8;
        std::string out(utf8.size() * 2 + 1, '\0');
#ifdef _WIN32
        std::wstring wide(utf8.size() + 1, L'\0');
        wide.resize(static_cast<std::size_t>(
            MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), static_cast<int>(wide.size()))));
        out.resize(static_cast<std::size_t>(WideCharToMultiByte(936, 0, wide.data(), static_cast<int>(wide.size()),
                                                                out.data(), static_cast<int>(out.size()), nullptr, nullptr)));
#else
        const iconv_t cd = iconv_open("GBK", "UTF-8");
        char* in = const_cast<char*>(utf8.data());
        char* o = out.data();
        std::size_t inLeft = utf8.size(), outLeft = out.size();
        iconv(cd, &in, &inLeft, &o, &outLeft);
        iconv_close(cd);
        out.resize(out.size() - outLeft);
#endif
        return out;
    }
    std::uint32_t missingCodePage = 0;  // the one code page the machine lacks
    bool HasCodePage(std::uint32_t codePage) const override { return codePage != missingCodePage; }
    std::optional<std::uint64_t> FileStamp(const std::string& path) const override
    {
        const auto found = files.find(path);
        return found == files.end() ? std::nullopt : std::optional<std::uint64_t>(std::hash<std::string>()(found->second));
    }
    FileRead ReadFile(const std::string& path, std::string& bytes) const override
    {
        if (locked.count(path))
            return FileRead::Unreadable;
        const auto found = files.find(path);
        if (found == files.end())
            return FileRead::Missing;
        bytes = found->second;
        return FileRead::Ok;
    }
    void Raise(Fault fault) const override { raised = fault; }
    mutable std::uint32_t raisedCode = 0;
    void RaiseCode(std::uint32_t code) const override { raisedCode = code; }
    // What the call did besides answering, in order.
    mutable std::string done;
    void UseExtraParameter(Extra extra) const override { done += extra == Extra::Write ? "write;" : "scratch;"; }
    void PumpMessages(std::int32_t ms) const override { done += "pump " + std::to_string(ms) + ";"; }
    bool AppendLine(const std::string& path, const std::string& line) const override
    {
        done += path + ": " + line + ";";
        return !locked.count(path);
    }
    bool ChangeDirectory(const std::string& path) const override
    {
        done += "chdir " + path + ";";
        return !locked.count(path);
    }
    void Delay(std::int32_t ms) const override { done += "delay " + std::to_string(ms) + ";"; }
    void LeakMemory(std::int32_t bytes) const override { done += "leak " + std::to_string(bytes) + ";"; }
    void LeakHandles(std::int32_t count) const override { done += "handles " + std::to_string(count) + ";"; }
    void TakeFromWindows(std::uint32_t what) const override { done += "take " + std::to_string(what) + ";"; }
    void SetLocale(const std::string& name) const override { done += "locale " + name + ";"; }
    void ClobberOnReturn(std::uint32_t clobbers) const override { done += "clobber " + std::to_string(clobbers) + ";"; }
    void EndProcess(std::int32_t code) const override { done += "exit " + std::to_string(code) + ";"; }
};

std::string Digits(std::size_t length)  // what @longest writes
{
    std::string out;
    for (std::size_t i = 0; i < length; ++i)
        out += static_cast<char>('0' + i % 10);
    return out;
}

enum class Op { Open, Close, Status, Read, Field };

struct Answer {
    std::int32_t code;
    std::optional<std::string> text;   // status or error text; nullopt: buffer untouched
    std::optional<std::string> value;  // GetCardInfo's value; nullopt: buffer untouched
    std::size_t past;                  // bytes written past either buffer
};

class StandinReaderTest : public testing::Test {
protected:
    // One call with fresh buffers of the contract's sizes (and 64 bytes past them).
    Answer Call(Op op, std::int32_t argument = 0)
    {
        TestBuffer text(mervik::kTextBufferSize);
        TestBuffer value(argument == mervik::kFieldPhoto ? mervik::kPhotoTextBufferSize : mervik::kTextBufferSize);
        std::int32_t code = 0;
        switch (op) {
        case Op::Open: code = reader->OpenDevice(argument, text.data()); break;
        case Op::Close: code = reader->CloseDevice(text.data()); break;
        case Op::Status: code = reader->getDeviceStatus(text.data()); break;
        case Op::Read: code = reader->readCard(text.data()); break;
        case Op::Field: code = reader->GetCardInfo(argument, value.data(), text.data()); break;
        }
        return {code, text.Written(), value.Written(), text.WrittenPast() + value.WrittenPast()};
    }
    void Script(const std::string& text) { env.files["/cards/Mervik.ini"] = text; }

    FakeEnvironment env;
    std::optional<standin::StandinReader> reader{std::in_place, env};
};

const char kBadPortText[] = "无效：串口为 1 至 16，USB 端口为 1001 至 1016";

struct Step {
    Op op;
    std::int32_t argument;  // port or field index
    std::int32_t code;
    std::string text;   // "-": untouched; a text ending in kBadPortText is matched by its end
    std::string value;  // "-": untouched
    State after;
};

TEST_F(StandinReaderTest, SessionFollowsTheStateMachine)
{
    const std::string usb = "USB 端口 1001";
    const Step session[] = {
        {Op::Status, 0, 3, "设备未打开", "-", State::Closed},
        {Op::Close, 0, 3, "设备未打开，无需关闭", "-", State::Closed},
        {Op::Read, 0, 3, "设备未打开，请先打开设备", "-", State::Closed},
        {Op::Field, 0, 3, "设备未打开，请先打开设备", "-", State::Closed},
        {Op::Field, 9, 5, "不支持的字段索引：9", "-", State::Closed},
        {Op::Open, 0, 1, std::string("端口号 0 ") + kBadPortText, "-", State::Closed},
        {Op::Open, 17, 1, std::string("端口号 17 ") + kBadPortText, "-", State::Closed},
        {Op::Open, 1017, 1, std::string("端口号 1017 ") + kBadPortText, "-", State::Closed},
        {Op::Open, INT32_MIN, 1, std::string("端口号 -2147483648 ") + kBadPortText, "-", State::Closed},
        {Op::Open, 1001, 0, "设备已打开：" + usb, "-", State::Open},
        {Op::Status, 0, 0, "设备正常：" + usb + "，等待读卡", "-", State::Open},
        {Op::Field, 0, 4, "尚未读卡，请先读卡", "-", State::Open},
        {Op::Open, 1001, 0, "设备已打开：" + usb, "-", State::Open},
        {Op::Open, 16, 2, "设备已在其他端口打开（" + usb + "），请先关闭设备", "-", State::Open},
        {Op::Read, 0, 0, "读卡成功", "-", State::CardRead},
        {Op::Status, 0, 0, "设备正常：" + usb + "，已读卡", "-", State::CardRead},
        {Op::Field, 0, 0, "-", "林秋雨", State::CardRead},
        {Op::Field, 10, 0, "-", "zp.jpg", State::CardRead},
        {Op::Field, 11, 0, "-", standin::SamplePhotoBase64(), State::CardRead},
        {Op::Field, 12, 5, "不支持的字段索引：12", "-", State::CardRead},
        {Op::Open, 1001, 0, "设备已打开：" + usb, "-", State::CardRead},  // keeps the card
        {Op::Close, 0, 0, "设备已关闭", "-", State::Closed},
        {Op::Open, 16, 0, "设备已打开：串口 COM16", "-", State::Open},
        {Op::Field, 1, 4, "尚未读卡，请先读卡", "-", State::Open},  // the card is forgotten on close
        {Op::Status, 0, 0, "设备正常：串口 COM16，等待读卡", "-", State::Open},
    };
    int row = 0;
    for (const Step& step : session) {
        const Answer a = Call(step.op, step.argument);
        EXPECT_EQ(a.code, step.code) << "row " << row;
        EXPECT_EQ(a.text.value_or("-"), step.text) << "row " << row;
        EXPECT_EQ(a.value.value_or("-"), step.value) << "row " << row;
        EXPECT_EQ(reader->state(), step.after) << "row " << row;
        EXPECT_EQ(a.past, 0u) << "row " << row << ": wrote past a buffer";
        ++row;
    }
}

struct Override {
    const char* what;
    std::string script;
    State before;
    Op op;
    std::int32_t argument;
    std::int32_t code;
    std::string text;   // "-": untouched
    std::string value;  // "-": untouched
    State after;
    std::size_t past = 0;              // bytes written past the buffer
    std::optional<Fault> raised = {};  // the fault raised during the call
    std::string done = "";             // FakeEnvironment::done
};

TEST_F(StandinReaderTest, ScriptOverridesTheAnswer)
{
    const std::string missing = "模拟读卡器脚本错误：无法读取文件 /cards/nowhere.jpg";
    env.files["/cards/photos/a.jpg"] = std::string("\xFF\xD8\xFF\x00\x01", 5);
    env.files["/cards/raw.txt"] = "QQ=A";
    env.files["/cards/big.bin"] = std::string(90000, '\x7F');  // 120000 characters in base64
    env.files["/cards/long.txt"] = std::string(200000, 'B');
    env.locked.insert("/cards/locked.log");
    env.locked.insert("/locked");
    const Override rows[] = {
        {"result and text", u8"[OpenDevice]\nresult=-5\ntext=端口被占用", State::Closed, Op::Open, 1001, -5,
         u8"端口被占用", "-", State::Closed},
        {"result alone keeps the text", "[readCard]\nresult=-7", State::Open, Op::Read, 0, -7, "读卡成功", "-",
         State::Open},
        {"text alone keeps the result", "[OpenDevice]\ntext=x", State::Closed, Op::Open, 99, 1, "x", "-",
         State::Closed},
        {"result 0 opens any port", "[OpenDevice]\nresult=0", State::Closed, Op::Open, 99, 0,
         std::string("端口号 99 ") + kBadPortText, "-", State::Open},
        {"failed close stays open", "[CloseDevice]\nresult=1", State::Open, Op::Close, 0, 1, "设备已关闭", "-",
         State::Open},
        {"result 0 reads on a closed reader", "[readCard]\nresult=0", State::Closed, Op::Read, 0, 0,
         "设备未打开，请先打开设备", "-", State::CardRead},
        {"empty text", "[getDeviceStatus]\nresult=0\ntext=", State::Open, Op::Status, 0, 0, "", "-", State::Open},
        {"@none", "[CloseDevice]\nresult=5\ntext=@none", State::Open, Op::Close, 0, 5, "-", "-", State::Open},
        {"@longest text", "[readCard]\ntext=@longest", State::Open, Op::Read, 0, 0, Digits(1023), "-",
         State::CardRead},
        {"overlong text cut", "[Field.0]\nresult=1\ntext=" + std::string(5000, 'L'), State::CardRead, Op::Field, 0,
         1, std::string(1023, 'L'), "-", State::CardRead},
        {"failing name, no value", u8"[Field.0]\nresult=-2\ntext=姓名读取失败", State::CardRead, Op::Field, 0, -2,
         u8"姓名读取失败", "-", State::CardRead},
        {"every field failing silently", "[GetCardInfo]\nresult=-1\nvalue=@none\ntext=@none", State::CardRead,
         Op::Field, 5, -1, "-", "-", State::CardRead},
        {"...the photo too", "[GetCardInfo]\nresult=-1\nvalue=@none\ntext=@none", State::CardRead, Op::Field, 11,
         -1, "-", "-", State::CardRead},
        {"value whatever the state", u8"[Field.0]\nvalue=张三", State::Closed, Op::Field, 0, 3,
         "设备未打开，请先打开设备", u8"张三", State::Closed},
        {"field 9 made to answer", u8"[Field.9]\nresult=0\nvalue=指纹", State::CardRead, Op::Field, 9, 0,
         "不支持的字段索引：9", u8"指纹", State::CardRead},
        {"field over general", "[GetCardInfo]\nresult=-1\n[Field.1]\nresult=0", State::CardRead, Op::Field, 1, 0,
         "-", "女", State::CardRead},
        {"@longest value", "[Field.3]\nvalue=@longest", State::CardRead, Op::Field, 3, 0, "-", Digits(1023),
         State::CardRead},
        {"@longest photo", "[Field.11]\nvalue=@longest", State::CardRead, Op::Field, 11, 0, "-", Digits(102399),
         State::CardRead},
        {"malformed photo text", "[Field.11]\nvalue=QQ=A not base64!", State::CardRead, Op::Field, 11, 0, "-",
         "QQ=A not base64!", State::CardRead},
        {"photo beside the script", "[Field.11]\nphoto=photos/a.jpg", State::CardRead, Op::Field, 11, 0, "-",
         "/9j/AAE=", State::CardRead},
        {"value file as it is", "[Field.11]\nvaluefile=raw.txt", State::CardRead, Op::Field, 11, 0, "-", "QQ=A",
         State::CardRead},
        {"value file cut", "[Field.11]\nvaluefile=long.txt", State::CardRead, Op::Field, 11, 0, "-",
         std::string(102399, 'B'), State::CardRead},
        {"photo file cut", "[Field.11]\nphoto=big.bin", State::CardRead, Op::Field, 11, 0, "-",
         standin::EncodeBase64(std::string(90000, '\x7F')).substr(0, 102399), State::CardRead},
        {"missing photo file", "[Field.11]\nphoto=nowhere.jpg", State::CardRead, Op::Field, 11, 99, missing, "-",
         State::CardRead},
        {"broken script", "[readCard]\nresult=1\nreslut=2", State::Open, Op::Read, 0, 99,
         "模拟读卡器脚本错误：/cards/Mervik.ini 第 3 行，未知的键：reslut", "-", State::Open},
        // Faults are raised before anything is written or the state changes.
        {"access violation", "[OpenDevice]\nfault=access-violation", State::Closed, Op::Open, 1001, 98, "-", "-",
         State::Closed, 0, Fault::AccessViolation},
        {"divide by zero", "[CloseDevice]\nfault=Divide-By-Zero", State::Open, Op::Close, 0, 98, "-", "-",
         State::Open, 0, Fault::DivideByZero},
        {"illegal instruction", "[getDeviceStatus]\nfault=illegal-instruction", State::Open, Op::Status, 0, 98, "-",
         "-", State::Open, 0, Fault::IllegalInstruction},
        {"C++ exception", "[readCard]\nfault=cpp-exception", State::Open, Op::Read, 0, 98, "-", "-", State::Open, 0,
         Fault::CppException},
        {"access violation without unwind data", "[getDeviceStatus]\nfault=bare-access-violation", State::Open,
         Op::Status, 0, 98, "-", "-", State::Open, 0, Fault::BareAccessViolation},
        {"fault in one field", "[Field.4]\nfault=access-violation", State::CardRead, Op::Field, 4, 98, "-", "-",
         State::CardRead, 0, Fault::AccessViolation},
        {"...not in the others", "[Field.4]\nfault=access-violation", State::CardRead, Op::Field, 5, 0, "-",
         "330106199008151286", State::CardRead},
        {"fault in every field", "[GetCardInfo]\nfault=cpp-exception", State::CardRead, Op::Field, 11, 98, "-", "-",
         State::CardRead, 0, Fault::CppException},
        // Overruns write size + N bytes into the operation's buffer; the rest of the answer stands.
        {"overrun of a text", "[OpenDevice]\noverrun=1", State::Closed, Op::Open, 1001, 0, "<unterminated>", "-",
         State::Open, 1},
        {"overrun of a status", "[readCard]\noverrun=64", State::Open, Op::Read, 0, 0, "<unterminated>", "-",
         State::CardRead, 64},
        {"overrun of a value", "[Field.4]\noverrun=3", State::CardRead, Op::Field, 4, 0, "-", "<unterminated>",
         State::CardRead, 3},
        {"overrun of the photo", "[Field.11]\noverrun=1", State::CardRead, Op::Field, 11, 0, "-", "<unterminated>",
         State::CardRead, 1},
        // The log's lines around pumping and the extra parameter, before the answer.
        {"log, pump, extra", "[readCard]\nlog=calls.log\npump=50\nextra=scratch", State::Open, Op::Read, 0, 0,
         "读卡成功", "-", State::CardRead, 0, {},
         "/cards/calls.log: begin readCard;pump 50;scratch;/cards/calls.log: end readCard;"},
        {"a raising call logs no end", "[GetCardInfo]\nlog=/l\n[Field.4]\nextra=write\nfault=divide-by-zero",
         State::CardRead, Op::Field, 4, 98, "-", "-", State::CardRead, 0, Fault::DivideByZero,
         "/l: begin GetCardInfo;write;"},
        {"unwritable log", "[CloseDevice]\nlog=locked.log", State::Open, Op::Close, 0, 99,
         "模拟读卡器脚本错误：无法写入文件 /cards/locked.log", "-", State::Open, 0, {},
         "/cards/locked.log: begin CloseDevice;"},
        // The platform's part, in the call's order; the jitter is the seeded generator's first draw.
        {"chdir, leak, delay, jitter, clobber", "[readCard]\nclobber=df mxcsr\njitter=10\ndelay=20\npump=5\n"
         "leak_handles=3\nleak=4096\nchdir=sub\nlog=l\nlocale=German", State::Open, Op::Read, 0, 0, "读卡成功", "-",
         State::CardRead, 0, {},
         "/cards/l: begin readCard;chdir /cards/sub;leak 4096;handles 3;locale German;delay 24;pump 5;/cards/l: end readCard;"
         "clobber 1310720;"},
        {"take, and once only on the first call", "[readCard]\ntake=event heap,give_back\n[CloseDevice]\ntake=once,module",
         State::Open, Op::Read, 0, 0, "读卡成功", "-", State::CardRead, 0, {}, "take 16641;"},
        {"jitter alone, clobber of a field", "[GetCardInfo]\njitter=10\n[Field.2]\nclobber=x87cw", State::CardRead,
         Op::Field, 2, 0, "-", "汉", State::CardRead, 0, {}, "delay 4;clobber 524288;"},
        {"a folder that cannot be entered", "[CloseDevice]\nchdir=/locked\nleak=1\nclobber=df", State::Open,
         Op::Close, 0, 99, "模拟读卡器脚本错误：无法进入文件夹 /locked", "-", State::Open, 0, {},
         "chdir /locked;clobber 262144;"},
        {"a raising call clobbers nothing", "[readCard]\nclobber=df\nfault=illegal-instruction", State::Open,
         Op::Read, 0, 98, "-", "-", State::Open, 0, Fault::IllegalInstruction, ""},
        // The delay on the n-th call only; an exit after the delay, in place of a fault or an answer.
        {"delay on another call", "[readCard]\ndelay=9\ndelay_call=2", State::Open, Op::Read, 0, 0, "读卡成功", "-",
         State::CardRead, 0, {}, ""},
        {"delay on this call", "[readCard]\ndelay=9\ndelay_call=1", State::Open, Op::Read, 0, 0, "读卡成功", "-",
         State::CardRead, 0, {}, "delay 9;"},
        {"exit after the delay", "[Field.3]\nlog=l\ndelay=7\nexit=3\nfault=access-violation", State::CardRead,
         Op::Field, 3, 98, "-", "-", State::CardRead, 0, {}, "/cards/l: begin GetCardInfo;delay 7;exit 3;"},
    };
    for (const Override& row : rows) {
        SCOPED_TRACE(row.what);
        reader.emplace(env);
        Script("");
        if (row.before != State::Closed) {
            ASSERT_EQ(Call(Op::Open, 1001).code, 0);
        }
        if (row.before == State::CardRead) {
            ASSERT_EQ(Call(Op::Read).code, 0);
        }
        Script(row.script);
        env.raised.reset();
        env.done.clear();
        const Answer a = Call(row.op, row.argument);
        EXPECT_EQ(a.code, row.code);
        EXPECT_EQ(a.text.value_or("-"), row.text);
        EXPECT_EQ(a.value.value_or("-"), row.value);
        EXPECT_EQ(reader->state(), row.after);
        EXPECT_EQ(a.past, row.past);
        EXPECT_EQ(env.raised, row.raised);
        EXPECT_EQ(env.done, row.done);
    }
}

// fail_every and vary_every count each operation's calls from the reader's
// creation, a [Field.N]'s count that field's reads; here after an OpenDevice and a
// readCard (call 1 of each).
TEST_F(StandinReaderTest, CountedKeysActOnEveryNthCall)
{
    struct Row {
        const char* what;
        std::string script;
        Op op;
        std::vector<std::int32_t> arguments;  // one call each
        std::string answers;                  // "code:text" ("code:value" for fields), "|" between calls
    };
    const std::string status = "设备正常：USB 端口 1001，已读卡";
    const Row rows[] = {
        {"result and text on every 2nd call", "[readCard]\nresult=-7\ntext=忙\nfail_every=2", Op::Read,
         {0, 0, 0, 0}, "-7:忙|0:读卡成功|-7:忙|0:读卡成功"},
        {"no result: code 97", "[getDeviceStatus]\nfail_every=3", Op::Status, {0, 0, 0, 0},
         "0:" + status + "|0:" + status + "|97:模拟读卡器按脚本失败：第 3 次调用|0:" + status},
        {"a field counts its own reads", "[Field.1]\nresult=-2\nfail_every=2", Op::Field, {1, 0, 1, 1},
         "0:女|0:林秋雨|-2:-|0:女"},
        {"[GetCardInfo] counts every call", "[GetCardInfo]\nresult=-2\nfail_every=2", Op::Field, {1, 0, 1, 1},
         "0:女|-2:-|0:女|-2:-"},
        {"a varied field", "[Field.0]\nvary_every=2", Op::Field, {0, 1, 0, 0},
         "0:林秋雨|0:女|0:林秋雨 (varied 2)|0:林秋雨"},
        {"a varied text", "[readCard]\nvary_every=3", Op::Read, {0, 0, 0}, "0:读卡成功|0:读卡成功 (varied 3)|0:读卡成功"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        reader.emplace(env);
        Script("");
        ASSERT_EQ(Call(Op::Open, 1001).code, 0);
        ASSERT_EQ(Call(Op::Read).code, 0);
        Script(row.script);
        std::string answers;
        for (const std::int32_t argument : row.arguments) {
            const Answer a = Call(row.op, argument);
            answers += (answers.empty() ? "" : "|") + std::to_string(a.code) + ":" +
                       (row.op == Op::Field ? a.value : a.text).value_or("-");
        }
        EXPECT_EQ(answers, row.answers);
    }
}

TEST_F(StandinReaderTest, ReadsTheScriptAfreshAndConvertsItsTexts)
{
    env.convert = [](const std::string& s) { return "<" + s + ">"; };
    Script("[readCard]\nresult=7\ntext=hi\n");
    EXPECT_EQ(Call(Op::Read).code, 7);
    Script("[readCard]\ntext=ab\n[Field.0]\nvalue=name\ntext=@longest\n");
    EXPECT_EQ(Call(Op::Read).text, std::string("<ab>"));
    const Answer name = Call(Op::Field, 0);
    EXPECT_EQ(name.value, std::string("<name>")) << "values are script texts too";
    EXPECT_EQ(name.text, Digits(1023)) << "@longest is the same in any code page";
    env.files.clear();
    EXPECT_EQ(Call(Op::Read).text, std::string("设备未打开，请先打开设备")) << "no script: the built-in reader";
}

// A script that is there but cannot be read is not taken for no script.
TEST_F(StandinReaderTest, UnreadableScriptFailsEveryCall)
{
    Script("");
    ASSERT_EQ(Call(Op::Open, 1001).code, 0);
    env.locked.insert("/cards/Mervik.ini");
    for (Op op : {Op::Open, Op::Close, Op::Status, Op::Read, Op::Field}) {
        const Answer a = Call(op, 1001);
        EXPECT_EQ(a.code, 99);
        EXPECT_EQ(a.text, std::string("模拟读卡器脚本错误：无法读取脚本文件 /cards/Mervik.ini"));
    }
    EXPECT_EQ(reader->state(), State::Open);
}

// overrun= writes past the buffer it names: `text` the error text, `value` and a
// count alone (a recording of before the buffer was named) the value buffer.
TEST_F(StandinReaderTest, OverrunWritesPastTheBufferNamed)
{
    const struct {
        const char* key;
        bool pastText;
    } rows[] = {{"overrun=1", false}, {"overrun=1 value", false}, {"overrun=3 text", true}};
    Call(Op::Open, 1001);
    Call(Op::Read);
    for (const auto& row : rows) {
        Script(std::string("[Field.1]\n") + row.key + "\n");
        TestBuffer text(mervik::kTextBufferSize), value(mervik::kTextBufferSize);
        reader->GetCardInfo(1, value.data(), text.data());
        EXPECT_EQ(text.WrittenPast() != 0, row.pastText) << row.key;
        EXPECT_EQ(value.WrittenPast() != 0, !row.pastText) << row.key;
    }
    Script("[readCard]\noverrun=2 value\n");
    TestBuffer text(mervik::kTextBufferSize);
    reader->readCard(text.data());
    EXPECT_EQ(text.WrittenPast(), 2u) << "no value buffer: the operation's text";
}

// A recording in a code page this machine lacks would replay every text empty:
// refused when it is loaded, every call answered 99 with the reason.
TEST_F(StandinReaderTest, ARecordingInACodePageTheMachineLacksIsRefused)
{
    env.missingCodePage = 54936;
    Script("[Recording]\nformat=zantor-recording 1\ncodepage=54936\n[Answer.1]\noperation=OpenDevice\nargument=1001\n"
           "result=0\n[Calls]\ncalls=1\n");
    const Answer refused = Call(Op::Open, 1001);
    EXPECT_EQ(refused.code, 99);
    EXPECT_EQ(refused.text, std::string("模拟读卡器脚本错误：/cards/Mervik.ini 第 3 行，本机没有录制所用的代码页，其文本无法还原：54936"));
    env.missingCodePage = 0;
    EXPECT_EQ(Call(Op::Open, 1001).code, 0) << "once the machine has it";
}

// A write that fails ends the recording at its last whole entry: the stand-in
// loads what is there and replays it, and every call from the failed one on is
// counted as not recorded.
class FailingSink final : public RecordingSink {
public:
    bool Write(const char* bytes, std::size_t size) override
    {
        if (writes++ != failing) {
            file.append(bytes, size);
            return true;
        }
        whole = file;
        file.append(bytes, size / 2);  // half of it went out before the disk was full
        return false;
    }
    void CutTo(std::uint64_t size) override { file.resize(static_cast<std::size_t>(size)); }
    int writes = 0;
    int failing = 0;  // the write that fails (0: the header)
    std::string file;
    std::string whole;  // the file just before the write that failed
};

TEST_F(StandinReaderTest, ARecordingWhoseWriteFailedEndsAtItsLastWholeEntry)
{
    for (const int whole : {1, 3, 6}) {
        FailingSink sink;
        sink.failing = whole;  // after the header and whole - 1 calls
        RecordingSession session(936, sink);
        GrowingText header;
        AppendRecordingHeader(header, RecordingHeader{"1.0", 32, nullptr, {}, 936, false});
        ASSERT_TRUE(session.Write(header));
        for (int i = 0; i < 8; ++i) {
            std::string text(mervik::kTextBufferSize, '\0');
            CallRecord call;
            call.operation = Operation::getDeviceStatus;
            call.buffers[call.bufferCount++] = {BufferRole::Text, text.data(), text.size()};
            session.BeforeCall(call);
            text.replace(0, 9, "status " + std::to_string(i % 2));
            const CallOutcome outcome = CallOutcome::Returned(0);
            call.outcome = &outcome;
            session.OnCall(call);
        }
        const int recorded = whole - 1;
        EXPECT_EQ(session.CallsNotRecorded(), static_cast<std::uint64_t>(8 - recorded)) << whole;
        const standin::ParseResult parsed = standin::ParseScript(sink.file);
        ASSERT_EQ(parsed.error, standin::ScriptError::None) << whole << ": line " << parsed.line << "\n" << sink.file;
        EXPECT_EQ(parsed.script.recording->calls.size(), static_cast<std::size_t>(recorded)) << whole;
        const std::string end = "; The recording ends here: a write to this file failed.\r\n";
        EXPECT_EQ(sink.file, sink.whole + "\r\n" + end) << whole << ": the whole entries and the line saying why";
    }
}

TEST(StandinPaths, ResolvedAgainstTheScriptsFolder)
{
    const char* const rows[][3] = {
        {"/cards/Mervik.ini", "sub/a.jpg", "/cards/sub/a.jpg"}, {"/cards/Mervik.ini", "/abs/a.jpg", "/abs/a.jpg"},
        {"C:\\cards\\Mervik.ini", "a.jpg", "C:\\cards\\a.jpg"}, {"C:\\cards\\Mervik.ini", "D:\\x.jpg", "D:\\x.jpg"},
        {"C:\\cards\\Mervik.ini", "\\x.jpg", "\\x.jpg"},          {"Z:/t/Mervik.ini", "a.jpg", "Z:/t/a.jpg"},
        {"Mervik.ini", "a.jpg", "a.jpg"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(standin::ResolvePath(row[0], row[1]), row[2]) << row[0] << " + " << row[1];
}

// A session as Zantor records it, replayed by the stand-in from the recording:
// every buffer byte for byte, the codes, faults and breaches, one answer written
// once however often it came, and the end of the recording.
struct RecordedStep {
    const char* what;
    Op op;
    std::int32_t argument;
    std::string before;  // the buffer the call writes into, as handed over (the error text for a field)
    std::string after;   // as the call left it
    std::int32_t result;
    std::uint32_t fault = 0;
    std::uint64_t milliseconds = 0;
    const char* clobber = nullptr;  // a breach of the contract: the register's name
};

TEST_F(StandinReaderTest, ReplaysWhatWasRecorded)
{
    const std::string zeros(8, '\0');
    const RecordedStep steps[] = {
        {"a text in the code page", Op::Open, 1001, zeros, std::string("设备已打开\0", 11), 0},
        {"a tab, a status of 0x90, a breach", Op::Status, 0, zeros, std::string("a\tb\0", 4), 0x90, 0, 0, "DF"},
        {"a byte no character: hex", Op::Read, 0, zeros, std::string("\xFF\xFF\0", 3), 0, 0, 300},
        {"an unchanged buffer: @none", Op::Field, 0, "old\0", "old\0", 0},
        {"an empty text over the old one", Op::Field, 1, "old\0", std::string("\0ld\0", 4), -2},
        {"the same answer again", Op::Field, 0, "old\0", "old\0", 0},
        {"blanks at the ends, bytes past the NUL: hex", Op::Close, 0, zeros, std::string(" x\0yz", 5), 0},
        {"a text starting with @", Op::Close, 0, zeros, std::string("@home\0", 6), 1},
        {"a fault", Op::Read, 0, zeros, zeros, 0, 0xC0000094},
    };
    // The value buffer of the fields: "林秋雨" written, and for the failing field nothing.
    const auto valueAfter = [](const RecordedStep& s) { return s.argument == 0 ? std::string("林秋雨\0", 7) : ""; };
    constexpr Operation kOperations[] = {Operation::OpenDevice, Operation::CloseDevice, Operation::getDeviceStatus,
                                         Operation::readCard, Operation::GetCardInfo};
    const auto buffer = [](const std::string& content) {
        std::string b(mervik::kTextBufferSize, '\0');
        b.replace(0, content.size(), content);
        return b;
    };

    RecordingWriter writer(936);
    GrowingText recording, entry;
    AppendRecordingHeader(recording, RecordingHeader{"1.0", 32, nullptr, {}, 936, false});
    for (const RecordedStep& s : steps) {
        std::string text = buffer(s.before), value = buffer("");
        CallRecord call;
        call.operation = kOperations[static_cast<int>(s.op)];
        call.hasArgument = s.op == Op::Open || s.op == Op::Field;
        call.argument = s.argument;
        if (s.op == Op::Field) {
            call.buffers[call.bufferCount++] = {BufferRole::Value, value.data(), value.size()};
            call.buffers[call.bufferCount++] = {BufferRole::Error, text.data(), text.size()};
        } else {
            call.buffers[call.bufferCount++] = {BufferRole::Text, text.data(), text.size()};
        }
        writer.Before(call);
        text = buffer(s.after);
        if (s.op == Op::Field)
            value = buffer(valueAfter(s));
        call.buffers[0].data = s.op == Op::Field ? value.data() : text.data();
        call.buffers[call.bufferCount - 1].data = text.data();
        CallOutcome outcome = CallOutcome::Returned(s.result);
        outcome.raised = s.fault != 0;
        outcome.exceptionCode = s.fault;
        outcome.durationNanoseconds = s.milliseconds * 1000000;
        if (s.clobber) {
            outcome.breaches[0] = {ContractRule::DirectionFlag, s.clobber, {0, 0}, {1, 0}, true};
            outcome.breachCount = 1;
        }
        call.outcome = &outcome;
        ASSERT_TRUE(writer.Entry(call, entry));
        recording.Append(entry);
    }
    const std::string script(recording.data(), recording.size());
    std::size_t answers = 0;
    for (std::size_t at = script.find("[Answer."); at != std::string::npos; at = script.find("[Answer.", at + 1))
        ++answers;
    EXPECT_EQ(answers, 8u) << "the repeated answer is written once\n" << script;
    EXPECT_NE(script.find("text=@hex:FFFF00"), std::string::npos) << script;
    EXPECT_NE(script.find("text=@@home"), std::string::npos) << script;
    Script(script);

    const Answer wrong = Call(Op::Field, 3);
    EXPECT_EQ(wrong.code, 98);
    EXPECT_EQ(wrong.text, std::string(u8"模拟读卡器回放：第 1 次调用应为 OpenDevice(1001)，实为 GetCardInfo(3)"));
    for (const RecordedStep& s : steps) {
        TestBuffer text(mervik::kTextBufferSize), value(mervik::kTextBufferSize);
        std::string textBefore = buffer(s.before), valueBefore = buffer("");
        std::memcpy(text.data(), textBefore.data(), textBefore.size());
        std::memcpy(value.data(), valueBefore.data(), valueBefore.size());
        env.done.clear();
        env.raised.reset();
        env.raisedCode = 0;
        std::int32_t code = 0;
        switch (s.op) {
        case Op::Open: code = reader->OpenDevice(s.argument, text.data()); break;
        case Op::Close: code = reader->CloseDevice(text.data()); break;
        case Op::Status: code = reader->getDeviceStatus(text.data()); break;
        case Op::Read: code = reader->readCard(text.data()); break;
        case Op::Field: code = reader->GetCardInfo(s.argument, value.data(), text.data()); break;
        }
        if (s.fault) {
            EXPECT_EQ(env.raised, Fault::DivideByZero) << s.what;
            continue;
        }
        EXPECT_EQ(code, s.result) << s.what;
        EXPECT_EQ(std::string(text.data(), mervik::kTextBufferSize), buffer(s.after)) << s.what;
        if (s.op == Op::Field) {
            EXPECT_EQ(std::string(value.data(), mervik::kTextBufferSize), buffer(valueAfter(s))) << s.what;
        }
        EXPECT_TRUE(text.CanaryIntact() && value.CanaryIntact()) << s.what;
        EXPECT_EQ(env.done, std::string(s.milliseconds ? "delay 300;" : "") + (s.clobber ? "clobber 262144;" : "")) << s.what;
    }
    const Answer after = Call(Op::Status);
    EXPECT_EQ(after.code, 98);
    EXPECT_EQ(after.text, std::string(u8"模拟读卡器回放：录制已结束（共 9 次调用）"));
}

}  // namespace

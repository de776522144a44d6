#include "StandinReader.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <limits>
#include <utility>

#include "Base64.h"
#include "Mervik.h"
#include "SampleCard.h"

namespace standin {
namespace {

constexpr char kInternalErrorText[] = "模拟读卡器内部错误";

// Copies at most size - 1 bytes of `text` and a NUL into `buffer` (none if null).
void WriteBounded(char* buffer, std::size_t size, const std::string& text)
{
    if (!buffer)
        return;
    const std::size_t length = text.size() < size ? text.size() : size - 1;
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
}

std::string PortName(std::int32_t port)
{
    if (!IsReaderPort(port))  // only where a script made the reader open on such a port
        return "端口 " + std::to_string(port);
    if (port >= 1001)
        return "USB 端口 " + std::to_string(port);
    return "串口 COM" + std::to_string(port);
}

const char* Reason(ScriptError error)
{
    switch (error) {
    case ScriptError::UnclosedSection:
        return "节名缺少“]”：";
    case ScriptError::UnknownSection:
        return "未知的节：";
    case ScriptError::KeyOutsideSection:
        return "键不在任何节中：";
    case ScriptError::MissingEquals:
        return "缺少“=”：";
    case ScriptError::UnknownKey:
        return "未知的键：";
    case ScriptError::BadNumber:
        return "不是有效的 32 位整数：";
    case ScriptError::UnknownSpecial:
        return "未知的特殊值（应为 @none、@longest 或以 @@ 开头）：";
    case ScriptError::UnknownFault:
        return "未知的故障（应为 access-violation、divide-by-zero、illegal-instruction、cpp-exception、bare-access-violation 或 0x 开头的异常码）：";
    case ScriptError::NotPositive:
        return "不是正整数：";
    case ScriptError::UnknownExtra:
        return "未知的额外参数用法（应为 scratch 或 write）：";
    case ScriptError::UnknownClobber:
        return "不是本架构可改的寄存器或状态：";
    case ScriptError::UnknownTake:
        return "未知的取用项（应为 event、mutex、semaphore、mapping、file、registry、thread、thread_end、heap、local、global、virtual、malloc、module、give_back 或 once）：";
    case ScriptError::BadHex:
        return "@hex: 之后应为成对的十六进制数字：";
    case ScriptError::UnknownOperation:
        return "未知的操作：";
    case ScriptError::UnknownAnswer:
        return "调用引用了此前未给出的应答：";
    case ScriptError::UnknownBuffer:
        return "未知的缓冲区（应为 value 或 text）：";
    case ScriptError::MissingCodePage:
        return "本机没有录制所用的代码页，其文本无法还原：";
    case ScriptError::None:
        break;
    }
    return "";
}

// overrun=N: size + N bytes from the start of the buffer, the digits of @longest
// and a NUL last, written byte by byte from the start, so that the first byte past
// the end is the first to fault.
void WriteOverrun(char* buffer, std::size_t size, std::int32_t overrun)
{
    volatile char* out = buffer;
    const std::size_t last = size + static_cast<std::size_t>(overrun) - 1;
    for (std::size_t i = 0; i < last; ++i)
        out[i] = static_cast<char>('0' + i % 10);
    out[last] = '\0';
}

// @longest: the digits 0 to 9 over and over, `length` characters.
std::string Longest(std::size_t length)
{
    std::string out(length, '0');
    for (std::size_t i = 0; i < length; ++i)
        out[i] = static_cast<char>('0' + i % 10);
    return out;
}

// fail_every: the script's result and text on every n-th call only; the failing
// call without a result of the script's fails with kScheduledFailure.
AnswerScript Scheduled(AnswerScript script, std::uint64_t call)
{
    if (!script.failEvery)
        return script;
    if (call == 0 || call % static_cast<std::uint64_t>(*script.failEvery) != 0) {
        script.result.reset();
        script.text.reset();
    } else if (!script.result) {
        script.result = kScheduledFailure;
    }
    return script;
}

// Runs one operation; an exception (out of memory) is answered with the
// internal-error code and text instead of crossing the library's boundary.
template <typename Body>
std::int32_t Guarded(char* text, Body body)
{
    try {
        return body();
    } catch (const std::exception&) {
        WriteBounded(text, mervik::kTextBufferSize, kInternalErrorText);
        return kInternalError;
    }
}

}  // namespace

std::string ResolvePath(const std::string& base, const std::string& relative)
{
    const bool absolute = (!relative.empty() && (relative[0] == '/' || relative[0] == '\\')) ||
                          (relative.size() >= 2 && relative[1] == ':');
    const std::size_t slash = base.find_last_of("/\\");
    if (absolute || slash == std::string::npos)
        return relative;
    return base.substr(0, slash + 1) + relative;
}

StandinReader::StandinReader(const Environment& environment) : m_environment(environment) {}

StandinReader::Loaded StandinReader::Load()
{
    Loaded loaded;
    const std::optional<std::string> path = m_environment.ScriptPath();
    // A recording is long and does not change while it is replayed: parsed once.
    const std::optional<std::uint64_t> stamp = path ? m_environment.FileStamp(*path) : std::nullopt;
    if (m_replay && stamp && stamp == m_replayStamp && *path == m_replayPath) {
        loaded.path = *path;
        loaded.script = m_replay;
        return loaded;
    }
    std::string bytes;
    const FileRead read = path ? m_environment.ReadFile(*path, bytes) : FileRead::Missing;
    if (read == FileRead::Missing) {
        loaded.script = std::make_shared<const Script>();
        return loaded;  // no script: the built-in reader
    }
    loaded.path = *path;
    if (read == FileRead::Unreadable) {
        // A script that is there but cannot be read must not pass for no script.
        loaded.error = "模拟读卡器脚本错误：无法读取脚本文件 " + m_environment.ToNarrow(*path);
        return loaded;
    }
    ParseResult parsed = ParseScript(bytes);
    // A recording's texts are written in its code page: without it every text
    // would come out empty.
    const std::optional<Recording>& recording = parsed.script.recording;
    if (parsed.error == ScriptError::None && recording && recording->codePage != 0 &&
        !m_environment.HasCodePage(recording->codePage)) {
        parsed.error = ScriptError::MissingCodePage;
        parsed.line = recording->codePageLine;
        parsed.detail = std::to_string(recording->codePage);
    }
    if (parsed.error != ScriptError::None) {
        loaded.error = "模拟读卡器脚本错误：" + m_environment.ToNarrow(*path) + " 第 " + std::to_string(parsed.line) +
                       " 行，" + Reason(parsed.error) + m_environment.ToNarrow(parsed.detail);
        return loaded;
    }
    loaded.script = std::make_shared<const Script>(std::move(parsed.script));
    if (loaded.script->recording) {
        // Another recording, or this one changed: its replay starts again.
        m_replay = loaded.script;
        m_replayStamp = stamp;
        m_replayPath = *path;
        m_replayPosition = 0;
    }
    return loaded;
}

namespace {

std::string CallName(const std::string& operation, std::optional<std::int32_t> argument)
{
    return argument ? operation + "(" + std::to_string(*argument) + ")" : operation;
}

}  // namespace

std::optional<AnswerScript> StandinReader::Replayed(const Recording& recording, const char* operation,
                                                    std::optional<std::int32_t> argument, char* text)
{
    if (m_replayPosition >= recording.calls.size()) {
        WriteBounded(text, mervik::kTextBufferSize,
                     m_environment.ToNarrow(u8"模拟读卡器回放：录制已结束（共 " +
                                            std::to_string(recording.calls.size()) + u8" 次调用）"));
        return std::nullopt;
    }
    const RecordedCall& call = recording.calls[m_replayPosition];
    const RecordedAnswer& expected = recording.answers.at(call.answer);
    if (expected.operation != operation || expected.argument != argument) {
        // The position stays: a caller that tries again still meets the recording.
        WriteBounded(text, mervik::kTextBufferSize,
                     m_environment.ToNarrow(u8"模拟读卡器回放：第 " + std::to_string(m_replayPosition + 1) +
                                            u8" 次调用应为 " + CallName(expected.operation, expected.argument) +
                                            u8"，实为 " + CallName(operation, argument)));
        return std::nullopt;
    }
    ++m_replayPosition;
    AnswerScript script = expected.script;
    if (!recording.immediate && call.milliseconds > 0)
        script.delay = call.milliseconds;
    script.jitter.reset();
    return script;
}

std::optional<StandinReader::Content> StandinReader::Compose(const std::optional<Piece>& piece,
                                                            const std::optional<std::string>& builtIn,
                                                            std::size_t capacity, const std::string& scriptPath,
                                                            std::uint32_t codePage,
                                                            std::optional<std::string>& error) const
{
    if (!piece)
        return builtIn ? std::optional<Content>(Content{*builtIn, false}) : std::nullopt;
    switch (piece->kind) {
    case Piece::Kind::Text:
        return Content{codePage != 0 ? m_environment.ToCodePage(piece->text, codePage)
                                     : m_environment.ToNarrow(piece->text),
                       false};
    case Piece::Kind::Bytes:
        return Content{piece->text, true};
    case Piece::Kind::None:
        return std::nullopt;
    case Piece::Kind::Longest:
        return Content{Longest(capacity - 1), false};
    case Piece::Kind::PhotoFile:
    case Piece::Kind::RawFile:
        break;
    }
    const std::string path = ResolvePath(scriptPath, piece->text);
    std::string bytes;
    if (m_environment.ReadFile(path, bytes) != FileRead::Ok) {
        error = "模拟读卡器脚本错误：无法读取文件 " + m_environment.ToNarrow(path);
        return std::nullopt;
    }
    return Content{piece->kind == Piece::Kind::PhotoFile ? EncodeBase64(bytes) : bytes, false};
}

namespace {

// A text and its NUL, or raw bytes as they are, never past `size` bytes.
template <typename Content>
void WriteContent(char* buffer, std::size_t size, const Content& content)
{
    if (!content.raw) {
        WriteBounded(buffer, size, content.bytes);
        return;
    }
    std::memcpy(buffer, content.bytes.data(), std::min(content.bytes.size(), size));
}

}  // namespace

std::int32_t StandinReader::Finish(const Loaded& loaded, const AnswerScript& overrides, const Answer& answer,
                                   std::optional<std::uint64_t> varied, char* value, std::size_t valueSize,
                                   char* text)
{
    const std::int32_t result = overrides.result.value_or(answer.result);
    // A field that the script makes fail has no value of its own to give.
    const std::optional<std::string> builtInValue = result == kOk ? answer.value : std::nullopt;
    std::optional<std::string> error;
    const std::uint32_t codePage = loaded.script->recording ? loaded.script->recording->codePage : 0;
    std::optional<Content> valueOut =
        value ? Compose(overrides.value, builtInValue, valueSize, loaded.path, codePage, error) : std::nullopt;
    std::optional<Content> textOut =
        Compose(overrides.text, answer.text, mervik::kTextBufferSize, loaded.path, codePage, error);
    // vary_every: the operation's answer buffer gets a suffix that says so.
    std::optional<Content>& variedOut = value ? valueOut : textOut;
    if (varied && variedOut)
        variedOut->bytes += " (varied " + std::to_string(*varied) + ")";
    if (error) {
        WriteBounded(text, mervik::kTextBufferSize, *error);
        return kScriptError;
    }
    // An overrun takes the place of its buffer's content: the one named, or the
    // operation's (GetCardInfo's value buffer, the others' text).
    const OverrunBuffer named = overrides.overrunBuffer.value_or(OverrunBuffer::Operation);
    const bool overrunValue = overrides.overrun && value && named != OverrunBuffer::Text;
    const bool overrunText = overrides.overrun && !overrunValue;
    if (overrunValue)
        WriteOverrun(value, valueSize, *overrides.overrun);
    else if (valueOut)
        WriteContent(value, valueSize, *valueOut);
    if (overrunText)
        WriteOverrun(text, mervik::kTextBufferSize, *overrides.overrun);
    else if (textOut)
        WriteContent(text, mervik::kTextBufferSize, *textOut);
    if (result == kOk && answer.next) {
        m_state = *answer.next;
        m_port = answer.nextPort;
    }
    return result;
}

template <typename Overrides, typename BuiltIn>
std::int32_t StandinReader::Run(const char* operation, std::optional<std::int32_t> argument, char* value,
                                std::size_t valueSize, char* text, Overrides overrides, BuiltIn builtIn)
{
    return Guarded(text, [&] {
        const Loaded loaded = Load();
        if (loaded.error) {
            WriteBounded(text, mervik::kTextBufferSize, *loaded.error);
            return static_cast<std::int32_t>(kScriptError);
        }
        ForCall call;
        const bool replay = loaded.script->recording.has_value();
        if (replay) {
            // The recording answers, byte for byte, instead of the reader.
            std::optional<AnswerScript> replayed = Replayed(*loaded.script->recording, operation, argument, text);
            if (!replayed)
                return static_cast<std::int32_t>(kInternalError);
            call.script = std::move(*replayed);
        } else {
            call = overrides(*loaded.script);
        }
        const AnswerScript script = Scheduled(call.script, call.failCount);
        // "end" is written as the call answers: a call that raises has none.
        const std::string log = script.log ? ResolvePath(loaded.path, *script.log) : std::string();
        if (script.log && !m_environment.AppendLine(log, std::string("begin ") + operation)) {
            WriteBounded(text, mervik::kTextBufferSize,
                         "模拟读卡器脚本错误：无法写入文件 " + m_environment.ToNarrow(log));
            return static_cast<std::int32_t>(kScriptError);
        }
        const std::string folder = script.chdir ? ResolvePath(loaded.path, *script.chdir) : std::string();
        const bool entered = !script.chdir || m_environment.ChangeDirectory(folder);
        if (entered) {
            if (script.leak)
                m_environment.LeakMemory(*script.leak);
            if (script.leakHandles)
                m_environment.LeakHandles(*script.leakHandles);
            if (script.take && ((*script.take & take_bits::kOnce) == 0 || m_tookOnce.insert(operation).second))
                m_environment.TakeFromWindows(*script.take);
            if (script.locale)
                m_environment.SetLocale(*script.locale);
            const bool delayed = !script.delayCall || call.delayCount == static_cast<std::uint64_t>(*script.delayCall);
            if (const std::int32_t delay = delayed ? DelayFor(script) : 0)
                m_environment.Delay(delay);
            if (script.pump)
                m_environment.PumpMessages(*script.pump);
            if (script.extra)
                m_environment.UseExtraParameter(*script.extra);
            if (script.exitCode) {
                m_environment.EndProcess(*script.exitCode);
                return static_cast<std::int32_t>(kInternalError);
            }
            if (script.fault) {
                if (*script.fault == Fault::Code)
                    m_environment.RaiseCode(script.faultCode);
                else
                    m_environment.Raise(*script.fault);
                return static_cast<std::int32_t>(kInternalError);
            }
        }
        std::int32_t result = kScriptError;
        if (entered) {
            const bool varied = script.varyEvery && call.varyCount != 0 &&
                                call.varyCount % static_cast<std::uint64_t>(*script.varyEvery) == 0;
            Answer answer = replay ? Answer{} : builtIn();
            if (script.failEvery && !call.script.result && script.result && !script.text)
                answer.text = "模拟读卡器按脚本失败：第 " + std::to_string(call.failCount) + " 次调用";
            result = Finish(loaded, script, answer, varied ? std::optional<std::uint64_t>(call.varyCount) : std::nullopt, value,
                            valueSize, text);
        } else {
            WriteBounded(text, mervik::kTextBufferSize,
                         "模拟读卡器脚本错误：无法进入文件夹 " + m_environment.ToNarrow(folder));
        }
        if (script.log)
            m_environment.AppendLine(log, std::string("end ") + operation);
        if (script.clobber)
            m_environment.ClobberOnReturn(*script.clobber);
        return result;
    });
}

std::int32_t StandinReader::DelayFor(const AnswerScript& script)
{
    std::int64_t total = script.delay.value_or(0);
    if (script.jitter) {
        // The classic C library LCG, 15 of its high bits (the better ones) a step,
        // two steps for a number up to 2^30.
        const auto step = [this] {
            m_jitterState = m_jitterState * 1103515245u + 12345u;
            return (m_jitterState >> 16) & 0x7FFFu;
        };
        const std::uint32_t high = step();
        const std::uint32_t drawn = high << 15 | step();
        total += static_cast<std::int64_t>(drawn % (static_cast<std::uint32_t>(*script.jitter) + 1));
    }
    return static_cast<std::int32_t>(std::min<std::int64_t>(total, std::numeric_limits<std::int32_t>::max()));
}

std::uint64_t StandinReader::CountFieldRead(std::int32_t index) noexcept
{
    try {
        return ++m_fieldReads[index];
    } catch (const std::exception&) {
        return 0;
    }
}

std::int32_t StandinReader::OpenDevice(std::int32_t port, char* errorText)
{
    const std::uint64_t call = ++m_openCalls;
    const auto overrides = [call](const Script& s) { return ForCall{s.openDevice, call, call, call}; };
    return Run("OpenDevice", port, nullptr, 0, errorText, overrides, [&] {
        Answer answer;
        if (!IsReaderPort(port)) {
            answer.result = kBadPort;
            answer.text = "端口号 " + std::to_string(port) + " 无效：串口为 1 至 16，USB 端口为 1001 至 1016";
        } else if (m_state != State::Closed && port != m_port) {
            answer.result = kOpenElsewhere;
            answer.text = "设备已在其他端口打开（" + PortName(m_port) + "），请先关闭设备";
        } else {
            answer.text = "设备已打开：" + PortName(port);
        }
        // Opening where it is open already keeps the card that was read.
        if (m_state == State::Closed || port != m_port) {
            answer.next = State::Open;
            answer.nextPort = port;
        }
        return answer;
    });
}

std::int32_t StandinReader::CloseDevice(char* errorText)
{
    const std::uint64_t call = ++m_closeCalls;
    const auto overrides = [call](const Script& s) { return ForCall{s.closeDevice, call, call, call}; };
    return Run("CloseDevice", std::nullopt, nullptr, 0, errorText, overrides, [&] {
        Answer answer;
        if (m_state == State::Closed) {
            answer.result = kNotOpen;
            answer.text = "设备未打开，无需关闭";
        } else {
            answer.text = "设备已关闭";
        }
        answer.next = State::Closed;
        return answer;
    });
}

std::int32_t StandinReader::getDeviceStatus(char* statusText)
{
    const std::uint64_t call = ++m_statusCalls;
    const auto overrides = [call](const Script& s) { return ForCall{s.deviceStatus, call, call, call}; };
    return Run("getDeviceStatus", std::nullopt, nullptr, 0, statusText, overrides, [&] {
        Answer answer;
        if (m_state == State::Closed) {
            answer.result = kNotOpen;
            answer.text = "设备未打开";
        } else {
            answer.text = "设备正常：" + PortName(m_port) + (m_state == State::CardRead ? "，已读卡" : "，等待读卡");
        }
        return answer;
    });
}

std::int32_t StandinReader::readCard(char* statusText)
{
    const std::uint64_t call = ++m_readCalls;
    const auto overrides = [call](const Script& s) { return ForCall{s.readCard, call, call, call}; };
    return Run("readCard", std::nullopt, nullptr, 0, statusText, overrides, [&] {
        Answer answer;
        if (m_state == State::Closed) {
            answer.result = kNotOpen;
            answer.text = "设备未打开，请先打开设备";
        } else {
            answer.text = "读卡成功";
        }
        answer.next = State::CardRead;
        answer.nextPort = m_port;
        return answer;
    });
}

std::int32_t StandinReader::GetCardInfo(std::int32_t index, char* value, char* errorText)
{
    const bool photo = index == mervik::kFieldPhoto;
    const std::size_t valueSize = photo ? mervik::kPhotoTextBufferSize : mervik::kTextBufferSize;
    const std::uint64_t call = ++m_cardInfoCalls;
    const std::uint64_t read = CountFieldRead(index);
    // A count from [Field.N] counts that field's reads; one from [GetCardInfo], every call.
    const auto overrides = [&](const Script& s) {
        const auto field = s.fields.find(index);
        const auto own = [&](std::optional<std::int32_t> AnswerScript::*key) {
            return field != s.fields.end() && field->second.*key ? read : call;
        };
        return ForCall{s.ForField(index), own(&AnswerScript::failEvery), own(&AnswerScript::varyEvery),
                       own(&AnswerScript::delayCall)};
    };
    return Run("GetCardInfo", index, value, valueSize, errorText, overrides, [&] {
        const char* field = SampleField(index);
        Answer answer;
        if (!photo && !field) {
            answer.result = kBadField;
            answer.text = "不支持的字段索引：" + std::to_string(index);
        } else if (m_state == State::Closed) {
            answer.result = kNotOpen;
            answer.text = "设备未打开，请先打开设备";
        } else if (m_state == State::Open) {
            answer.result = kNoCardRead;
            answer.text = "尚未读卡，请先读卡";
        } else {
            answer.value = photo ? SamplePhotoBase64() : std::string(field);
        }
        return answer;
    });
}

}  // namespace standin

#include "StandinReader.h"

#include <cstring>
#include <exception>
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
        return "未知的故障（应为 access-violation、divide-by-zero、illegal-instruction 或 cpp-exception）：";
    case ScriptError::NotPositive:
        return "不是正整数：";
    case ScriptError::UnknownExtra:
        return "未知的额外参数用法（应为 scratch 或 write）：";
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

StandinReader::Loaded StandinReader::Load() const
{
    Loaded loaded;
    const std::optional<std::string> path = m_environment.ScriptPath();
    std::string bytes;
    const FileRead read = path ? m_environment.ReadFile(*path, bytes) : FileRead::Missing;
    if (read == FileRead::Missing)
        return loaded;  // no script: the built-in reader
    loaded.path = *path;
    if (read == FileRead::Unreadable) {
        // A script that is there but cannot be read must not pass for no script.
        loaded.error = "模拟读卡器脚本错误：无法读取脚本文件 " + m_environment.ToNarrow(*path);
        return loaded;
    }
    ParseResult parsed = ParseScript(bytes);
    if (parsed.error != ScriptError::None) {
        loaded.error = "模拟读卡器脚本错误：" + m_environment.ToNarrow(*path) + " 第 " + std::to_string(parsed.line) +
                       " 行，" + Reason(parsed.error) + m_environment.ToNarrow(parsed.detail);
        return loaded;
    }
    loaded.script = std::move(parsed.script);
    return loaded;
}

std::optional<std::string> StandinReader::Compose(const std::optional<Piece>& piece,
                                                  const std::optional<std::string>& builtIn, std::size_t capacity,
                                                  const std::string& scriptPath,
                                                  std::optional<std::string>& error) const
{
    if (!piece)
        return builtIn;
    switch (piece->kind) {
    case Piece::Kind::Text:
        return m_environment.ToNarrow(piece->text);
    case Piece::Kind::None:
        return std::nullopt;
    case Piece::Kind::Longest:
        return Longest(capacity - 1);
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
    return piece->kind == Piece::Kind::PhotoFile ? EncodeBase64(bytes) : bytes;
}

std::int32_t StandinReader::Finish(const Loaded& loaded, const AnswerScript& overrides, const Answer& answer,
                                   char* value, std::size_t valueSize, char* text)
{
    const std::int32_t result = overrides.result.value_or(answer.result);
    // A field that the script makes fail has no value of its own to give.
    const std::optional<std::string> builtInValue = result == kOk ? answer.value : std::nullopt;
    std::optional<std::string> error;
    const std::optional<std::string> valueOut =
        value ? Compose(overrides.value, builtInValue, valueSize, loaded.path, error) : std::nullopt;
    const std::optional<std::string> textOut =
        Compose(overrides.text, answer.text, mervik::kTextBufferSize, loaded.path, error);
    if (error) {
        WriteBounded(text, mervik::kTextBufferSize, *error);
        return kScriptError;
    }
    // An overrun takes the place of the operation's buffer content.
    if (overrides.overrun && value)
        WriteOverrun(value, valueSize, *overrides.overrun);
    else if (valueOut)
        WriteBounded(value, valueSize, *valueOut);
    if (overrides.overrun && !value)
        WriteOverrun(text, mervik::kTextBufferSize, *overrides.overrun);
    else if (textOut)
        WriteBounded(text, mervik::kTextBufferSize, *textOut);
    if (result == kOk && answer.next) {
        m_state = *answer.next;
        m_port = answer.nextPort;
    }
    return result;
}

template <typename Overrides, typename BuiltIn>
std::int32_t StandinReader::Run(const char* operation, char* value, std::size_t valueSize, char* text,
                                Overrides overrides, BuiltIn builtIn)
{
    return Guarded(text, [&] {
        const Loaded loaded = Load();
        if (loaded.error) {
            WriteBounded(text, mervik::kTextBufferSize, *loaded.error);
            return static_cast<std::int32_t>(kScriptError);
        }
        const AnswerScript script = overrides(loaded.script);
        // "end" is written as the call answers: a call that raises has none.
        const std::string log = script.log ? ResolvePath(loaded.path, *script.log) : std::string();
        if (script.log && !m_environment.AppendLine(log, std::string("begin ") + operation)) {
            WriteBounded(text, mervik::kTextBufferSize,
                         "模拟读卡器脚本错误：无法写入文件 " + m_environment.ToNarrow(log));
            return static_cast<std::int32_t>(kScriptError);
        }
        if (script.pump)
            m_environment.PumpMessages(*script.pump);
        if (script.extra)
            m_environment.UseExtraParameter(*script.extra);
        if (script.fault) {
            m_environment.Raise(*script.fault);
            return static_cast<std::int32_t>(kInternalError);
        }
        const std::int32_t result = Finish(loaded, script, builtIn(), value, valueSize, text);
        if (script.log)
            m_environment.AppendLine(log, std::string("end ") + operation);
        return result;
    });
}

std::int32_t StandinReader::OpenDevice(std::int32_t port, char* errorText)
{
    return Run("OpenDevice", nullptr, 0, errorText, [](const Script& s) { return s.openDevice; }, [&] {
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
    return Run("CloseDevice", nullptr, 0, errorText, [](const Script& s) { return s.closeDevice; }, [&] {
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
    return Run("getDeviceStatus", nullptr, 0, statusText, [](const Script& s) { return s.deviceStatus; }, [&] {
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
    return Run("readCard", nullptr, 0, statusText, [](const Script& s) { return s.readCard; }, [&] {
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
    return Run("GetCardInfo", value, valueSize, errorText, [&](const Script& s) { return s.ForField(index); }, [&] {
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

#include "Script.h"

#include <cctype>
#include <charconv>
#include <string_view>

namespace standin {
namespace {

std::string_view Trim(std::string_view s)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

std::string Lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Decimal digits with an optional "-", the whole text, as a signed 32-bit number.
std::optional<std::int32_t> ParseInt32(std::string_view s)
{
    std::int32_t value = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || end != s.data() + s.size())
        return std::nullopt;
    return value;
}

// "0x" and 1 to 8 hex digits, the whole text, as an unsigned 32-bit number.
std::optional<std::uint32_t> ParseHex32(std::string_view s)
{
    if (s.size() < 3 || s.size() > 10 || s[0] != '0' || (s[1] != 'x' && s[1] != 'X'))
        return std::nullopt;
    std::uint32_t value = 0;
    const auto [end, ec] = std::from_chars(s.data() + 2, s.data() + s.size(), value, 16);
    if (ec != std::errc() || end != s.data() + s.size())
        return std::nullopt;
    return value;
}

// Pairs of hex digits (either case) as the bytes they spell.
std::optional<std::string> ParseHexBytes(std::string_view s)
{
    if (s.size() % 2 != 0)
        return std::nullopt;
    std::string bytes;
    bytes.reserve(s.size() / 2);
    for (std::size_t i = 0; i < s.size(); i += 2) {
        std::uint8_t byte = 0;
        const auto [end, ec] = std::from_chars(s.data() + i, s.data() + i + 2, byte, 16);
        if (ec != std::errc() || end != s.data() + i + 2)
            return std::nullopt;
        bytes += static_cast<char>(byte);
    }
    return bytes;
}

constexpr const char* kOperationNames[] = {"OpenDevice", "CloseDevice", "getDeviceStatus", "readCard", "GetCardInfo"};

// The words of clobber=, per architecture.
struct ClobberWord {
    const char* word;
    std::uint32_t bits;
};
constexpr ClobberWord kCommonClobbers[] = {
    {"df", STANDIN_CLOBBER_DF},
    {"x87cw", STANDIN_CLOBBER_X87CW},
    {"mxcsr", STANDIN_CLOBBER_MXCSR},
    {"x87stack", STANDIN_CLOBBER_X87STACK},
};
constexpr ClobberWord kX86Clobbers[] = {
    {"ebx", STANDIN_CLOBBER_BX},
    {"esi", STANDIN_CLOBBER_SI},
    {"edi", STANDIN_CLOBBER_DI},
    {"ebp", STANDIN_CLOBBER_BP},
};
constexpr ClobberWord kX64Clobbers[] = {
    {"rbx", STANDIN_CLOBBER_BX},
    {"rsi", STANDIN_CLOBBER_SI},
    {"rdi", STANDIN_CLOBBER_DI},
    {"rbp", STANDIN_CLOBBER_BP},
    {"r12", STANDIN_CLOBBER_R12},
    {"r13", STANDIN_CLOBBER_R12 << 1},
    {"r14", STANDIN_CLOBBER_R12 << 2},
    {"r15", STANDIN_CLOBBER_R12 << 3},
    {"xmm6", STANDIN_CLOBBER_XMM6},
    {"xmm7", STANDIN_CLOBBER_XMM6 << 1},
    {"xmm8", STANDIN_CLOBBER_XMM6 << 2},
    {"xmm9", STANDIN_CLOBBER_XMM6 << 3},
    {"xmm10", STANDIN_CLOBBER_XMM6 << 4},
    {"xmm11", STANDIN_CLOBBER_XMM6 << 5},
    {"xmm12", STANDIN_CLOBBER_XMM6 << 6},
    {"xmm13", STANDIN_CLOBBER_XMM6 << 7},
    {"xmm14", STANDIN_CLOBBER_XMM6 << 8},
    {"xmm15", STANDIN_CLOBBER_XMM6 << 9},
};

// The words of take=.
constexpr ClobberWord kTakeWords[] = {
    {"event", take_bits::kEvent},     {"mutex", take_bits::kMutex},       {"semaphore", take_bits::kSemaphore},
    {"mapping", take_bits::kMapping}, {"file", take_bits::kFile},         {"registry", take_bits::kRegistry},
    {"thread", take_bits::kThread},   {"thread_end", take_bits::kThreadEnds}, {"heap", take_bits::kHeap},
    {"local", take_bits::kLocal},     {"global", take_bits::kGlobal},     {"virtual", take_bits::kVirtual},
    {"malloc", take_bits::kMalloc},   {"module", take_bits::kModule},     {"give_back", take_bits::kGiveBack},
    {"once", take_bits::kOnce},
};

// The next word of a list separated by blanks and/or commas, taken off the
// front of `list`; empty at the list's end.
std::string_view NextListWord(std::string_view& list)
{
    const std::size_t start = list.find_first_not_of(" \t,");
    if (start == std::string_view::npos) {
        list = std::string_view();
        return list;
    }
    list.remove_prefix(start);
    const std::string_view word = list.substr(0, list.find_first_of(" \t,"));
    list.remove_prefix(word.size());
    return word;
}

template <std::size_t N>
std::optional<std::uint32_t> FindClobber(const ClobberWord (&table)[N], const std::string& word)
{
    for (const ClobberWord& entry : table) {
        if (word == entry.word)
            return entry.bits;
    }
    return std::nullopt;
}

class Parser {
public:
    Parser(ParseResult& result, Architecture architecture) : m_result(result), m_architecture(architecture) {}

    void Run(std::string_view text)
    {
        if (text.substr(0, 3) == "\xEF\xBB\xBF")
            text.remove_prefix(3);
        for (int line = 1;; ++line) {
            const std::size_t end = text.find('\n');
            m_line = line;
            if (!Line(Trim(text.substr(0, end)))) {
                m_result.line = line;
                return;
            }
            if (end == std::string_view::npos)
                return;
            text.remove_prefix(end + 1);
        }
    }

private:
    bool Fail(ScriptError error, std::string_view detail)
    {
        m_result.error = error;
        m_result.detail = std::string(detail);
        return false;
    }

    bool Line(std::string_view line)
    {
        if (line.empty() || line.front() == ';' || line.front() == '#')
            return true;
        if (line.front() == '[') {
            if (line.back() != ']')
                return Fail(ScriptError::UnclosedSection, line);
            return Section(Trim(line.substr(1, line.size() - 2)));
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            return Fail(ScriptError::MissingEquals, line);
        if (!m_target)
            return Fail(ScriptError::KeyOutsideSection, line);
        return Key(Trim(line.substr(0, equals)), Trim(line.substr(equals + 1)));
    }

    bool Section(std::string_view name)
    {
        Script& s = m_result.script;
        const std::string lower = Lower(name);
        m_fieldSection = false;
        m_answer = nullptr;
        m_recordingSection = m_callsSection = false;
        if (lower == "recording" || lower == "calls") {
            if (!s.recording)
                s.recording.emplace();
            m_recordingSection = lower == "recording";
            m_callsSection = !m_recordingSection;
            m_target = &m_ignored;
        } else if (lower.compare(0, 7, "answer.") == 0) {
            const std::optional<std::int32_t> id = ParseInt32(std::string_view(lower).substr(7));
            if (!id)
                return Fail(ScriptError::UnknownSection, name);
            if (!s.recording)
                s.recording.emplace();
            m_answer = &s.recording->answers[*id];
            m_target = &m_answer->script;
            m_fieldSection = true;
        } else if (lower == "opendevice") {
            m_target = &s.openDevice;
        } else if (lower == "closedevice") {
            m_target = &s.closeDevice;
        } else if (lower == "getdevicestatus") {
            m_target = &s.deviceStatus;
        } else if (lower == "readcard") {
            m_target = &s.readCard;
        } else if (lower == "getcardinfo") {
            m_target = &s.cardInfo;
            m_fieldSection = true;
        } else if (lower.compare(0, 5, "field") == 0) {
            // [Field.N], or [FieldN].
            std::string_view number = std::string_view(lower).substr(5);
            if (!number.empty() && number.front() == '.')
                number.remove_prefix(1);
            const std::optional<std::int32_t> index = ParseInt32(number);
            if (!index)
                return Fail(ScriptError::UnknownSection, name);
            m_target = &s.fields[*index];
            m_fieldSection = true;
        } else {
            return Fail(ScriptError::UnknownSection, name);
        }
        return true;
    }

    bool Key(std::string_view name, std::string_view value)
    {
        const std::string key = Lower(name);
        if (m_recordingSection)
            return RecordingKey(name, key, value);
        if (m_callsSection) {
            if (key != "calls")
                return Fail(ScriptError::UnknownKey, name);
            return Calls(value);
        }
        if (m_answer && key == "operation") {
            for (const char* operation : kOperationNames) {
                if (value == operation) {
                    m_answer->operation = operation;
                    return true;
                }
            }
            return Fail(ScriptError::UnknownOperation, value);
        }
        if (m_answer && key == "argument") {
            const std::optional<std::int32_t> argument = ParseInt32(value);
            if (!argument)
                return Fail(ScriptError::BadNumber, value);
            m_answer->argument = argument;
            return true;
        }
        if (key == "result") {
            const std::optional<std::int32_t> result = ParseInt32(value);
            if (!result)
                return Fail(ScriptError::BadNumber, value);
            m_target->result = result;
            return true;
        }
        if (key == "exit") {
            const std::optional<std::int32_t> code = ParseInt32(value);
            if (!code)
                return Fail(ScriptError::BadNumber, value);
            m_target->exitCode = code;
            return true;
        }
        if (key == "text")
            return TextPiece(m_target->text, value);
        if (key == "fault")
            return FaultKind(value);
        if (key == "overrun")
            return Overrun(value);
        if (key == "pump")
            return Positive(m_target->pump, value);
        if (key == "extra") {
            if (Lower(value) == "scratch")
                m_target->extra = Extra::Scratch;
            else if (Lower(value) == "write")
                m_target->extra = Extra::Write;
            else
                return Fail(ScriptError::UnknownExtra, value);
            return true;
        }
        if (key == "log") {
            m_target->log = std::string(value);
            return true;
        }
        if (key == "locale") {
            m_target->locale = std::string(value);
            return true;
        }
        if (key == "chdir") {
            m_target->chdir = std::string(value);
            return true;
        }
        if (key == "clobber")
            return Clobbers(value);
        if (key == "take")
            return Takes(value);
        static const std::pair<const char*, std::optional<std::int32_t> AnswerScript::*> kCounts[] = {
            {"delay", &AnswerScript::delay},           {"jitter", &AnswerScript::jitter},
            {"leak", &AnswerScript::leak},             {"leak_handles", &AnswerScript::leakHandles},
            {"fail_every", &AnswerScript::failEvery}, {"vary_every", &AnswerScript::varyEvery},
            {"delay_call", &AnswerScript::delayCall},
        };
        for (const auto& [countKey, member] : kCounts) {
            if (key == countKey)
                return Positive(m_target->*member, value);
        }
        if (m_fieldSection && key == "value")
            return TextPiece(m_target->value, value);
        if (m_fieldSection && key == "photo") {
            m_target->value = Piece{Piece::Kind::PhotoFile, std::string(value)};
            return true;
        }
        if (m_fieldSection && key == "valuefile") {
            m_target->value = Piece{Piece::Kind::RawFile, std::string(value)};
            return true;
        }
        return Fail(ScriptError::UnknownKey, name);
    }

    // [Recording]: the code page and the pace count; the rest describes the recording.
    bool RecordingKey(std::string_view name, const std::string& key, std::string_view value)
    {
        Recording& recording = *m_result.script.recording;
        if (key == "codepage") {
            const std::optional<std::int32_t> codePage = ParseInt32(value);
            if (!codePage || *codePage < 0)
                return Fail(ScriptError::BadNumber, value);
            recording.codePage = static_cast<std::uint32_t>(*codePage);
            recording.codePageLine = m_line;
            return true;
        }
        if (key == "immediate") {
            const std::string lower = Lower(value);
            recording.immediate = lower == "1" || lower == "yes" || lower == "true";
            return true;
        }
        static const char* const kDescriptive[] = {"format",  "zantor", "library",   "version",
                                                   "sha256",  "date",   "anonymized"};
        for (const char* descriptive : kDescriptive) {
            if (key == descriptive)
                return true;
        }
        return Fail(ScriptError::UnknownKey, name);
    }

    // calls=: answer numbers in call order, separated by blanks, each with "@ms"
    // when the call took a millisecond or more.
    bool Calls(std::string_view value)
    {
        Recording& recording = *m_result.script.recording;
        while (!value.empty()) {
            const std::size_t start = value.find_first_not_of(" \t");
            if (start == std::string_view::npos)
                break;
            value.remove_prefix(start);
            const std::string_view word = value.substr(0, value.find_first_of(" \t"));
            value.remove_prefix(word.size());
            const std::size_t at = word.find('@');
            const std::optional<std::int32_t> answer = ParseInt32(word.substr(0, at));
            std::optional<std::int32_t> milliseconds = 0;
            if (at != std::string_view::npos)
                milliseconds = ParseInt32(word.substr(at + 1));
            if (!answer || !milliseconds || *milliseconds < 0)
                return Fail(ScriptError::BadNumber, word);
            if (!recording.answers.count(*answer))
                return Fail(ScriptError::UnknownAnswer, word);
            recording.calls.push_back(RecordedCall{*answer, *milliseconds});
        }
        return true;
    }

    // overrun=N, and the buffer's key after blanks when it is named.
    bool Overrun(std::string_view value)
    {
        const std::size_t blank = value.find_first_of(" \t");
        if (!Positive(m_target->overrun, value.substr(0, blank)))
            return false;
        m_target->overrunBuffer = OverrunBuffer::Operation;
        if (blank == std::string_view::npos)
            return true;
        const std::string_view word = value.substr(value.find_first_not_of(" \t", blank));
        const std::string lower = Lower(word);
        if (lower == "value")
            m_target->overrunBuffer = OverrunBuffer::Value;
        else if (lower == "text")
            m_target->overrunBuffer = OverrunBuffer::Text;
        else
            return Fail(ScriptError::UnknownBuffer, word);
        return true;
    }

    bool Positive(std::optional<std::int32_t>& number, std::string_view value)
    {
        const std::optional<std::int32_t> parsed = ParseInt32(value);
        if (!parsed || *parsed < 1)
            return Fail(ScriptError::NotPositive, value);
        number = parsed;
        return true;
    }

    // Words separated by blanks and/or commas, each a state of this architecture.
    bool Clobbers(std::string_view value)
    {
        std::uint32_t bits = 0;
        for (std::string_view word = NextListWord(value); !word.empty(); word = NextListWord(value)) {
            const std::string lower = Lower(word);
            std::optional<std::uint32_t> found = FindClobber(kCommonClobbers, lower);
            if (!found)
                found = m_architecture == Architecture::X64 ? FindClobber(kX64Clobbers, lower)
                                                            : FindClobber(kX86Clobbers, lower);
            if (!found)
                return Fail(ScriptError::UnknownClobber, word);
            bits |= *found;
        }
        m_target->clobber = bits;
        return true;
    }

    // Words separated by blanks and/or commas, each a kind to take or how.
    bool Takes(std::string_view value)
    {
        std::uint32_t bits = 0;
        for (std::string_view word = NextListWord(value); !word.empty(); word = NextListWord(value)) {
            const std::optional<std::uint32_t> found = FindClobber(kTakeWords, Lower(word));
            if (!found)
                return Fail(ScriptError::UnknownTake, word);
            bits |= *found;
        }
        m_target->take = bits;
        return true;
    }

    bool FaultKind(std::string_view value)
    {
        static const std::pair<const char*, Fault> kFaults[] = {
            {"access-violation", Fault::AccessViolation},
            {"divide-by-zero", Fault::DivideByZero},
            {"illegal-instruction", Fault::IllegalInstruction},
            {"cpp-exception", Fault::CppException},
            {"bare-access-violation", Fault::BareAccessViolation},
        };
        for (const auto& [name, fault] : kFaults) {
            if (Lower(value) == name) {
                m_target->fault = fault;
                return true;
            }
        }
        // Any other exception code, raised as it is.
        if (const std::optional<std::uint32_t> code = ParseHex32(value)) {
            m_target->fault = Fault::Code;
            m_target->faultCode = *code;
            return true;
        }
        return Fail(ScriptError::UnknownFault, value);
    }

    // A text, or one of the specials @none and @longest; "@@" stands for a literal "@".
    bool TextPiece(std::optional<Piece>& piece, std::string_view value)
    {
        if (value.empty() || value.front() != '@') {
            piece = Piece{Piece::Kind::Text, std::string(value)};
        } else if (value.substr(0, 2) == "@@") {
            piece = Piece{Piece::Kind::Text, std::string(value.substr(1))};
        } else if (Lower(value) == "@none") {
            piece = Piece{Piece::Kind::None, {}};
        } else if (Lower(value) == "@longest") {
            piece = Piece{Piece::Kind::Longest, {}};
        } else if (Lower(value.substr(0, 5)) == "@hex:") {
            std::optional<std::string> bytes = ParseHexBytes(value.substr(5));
            if (!bytes)
                return Fail(ScriptError::BadHex, value);
            piece = Piece{Piece::Kind::Bytes, std::move(*bytes)};
        } else {
            return Fail(ScriptError::UnknownSpecial, value);
        }
        return true;
    }

    ParseResult& m_result;
    const Architecture m_architecture;
    AnswerScript* m_target = nullptr;
    bool m_fieldSection = false;  // value, photo and valuefile allowed
    RecordedAnswer* m_answer = nullptr;  // in an [Answer.N]
    bool m_recordingSection = false;
    bool m_callsSection = false;
    int m_line = 0;  // the line being read, 1-based
    AnswerScript m_ignored;  // the target in [Recording] and [Calls], which take no answer keys
};

}  // namespace

AnswerScript Script::ForField(std::int32_t index) const
{
    AnswerScript merged = cardInfo;
    const auto found = fields.find(index);
    if (found == fields.end())
        return merged;
    const AnswerScript& field = found->second;
    // Each key the field's section gives takes the place of the shared one.
    const auto take = [](auto& into, const auto& from) {
        if (from)
            into = from;
    };
    take(merged.result, field.result);
    take(merged.value, field.value);
    take(merged.text, field.text);
    take(merged.fault, field.fault);
    if (field.fault)
        merged.faultCode = field.faultCode;
    take(merged.overrun, field.overrun);
    take(merged.overrunBuffer, field.overrunBuffer);
    take(merged.extra, field.extra);
    take(merged.pump, field.pump);
    take(merged.log, field.log);
    take(merged.clobber, field.clobber);
    take(merged.chdir, field.chdir);
    take(merged.delay, field.delay);
    take(merged.jitter, field.jitter);
    take(merged.delayCall, field.delayCall);
    take(merged.exitCode, field.exitCode);
    take(merged.leak, field.leak);
    take(merged.leakHandles, field.leakHandles);
    take(merged.take, field.take);
    take(merged.locale, field.locale);
    take(merged.failEvery, field.failEvery);
    take(merged.varyEvery, field.varyEvery);
    return merged;
}

ParseResult ParseScript(const std::string& bytes, Architecture architecture)
{
    ParseResult result;
    Parser(result, architecture).Run(bytes);
    return result;
}

bool IsReaderPort(std::int32_t port)
{
    return (port >= 1 && port <= 16) || (port >= 1001 && port <= 1016);
}

}  // namespace standin

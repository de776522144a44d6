#include "RecordingWriter.h"

#include <cstring>

#include "BreachValue.h"
#include "CodePageText.h"
#include "Decimal.h"
#include "LibraryText.h"
#include "TextLength.h"
#include "Utf8.h"

namespace {

// So many calls on one calls= line, a screenful for a person reading it.
constexpr unsigned kCallsPerLine = 32;

constexpr const char* kEnd = "\r\n";

// A register's width of bytes, read from anywhere: the scans below go a word at a
// time (the C runtime's memcmp and memchr are byte loops under Wine, and the
// photo's buffer is 100 KB).
using Word = std::size_t;
inline Word LoadWord(const char* at)
{
    Word word;
    std::memcpy(&word, at, sizeof word);
    return word;
}

// The bytes up to and including the last one that is not zero; read four words at
// a time from the end, where a buffer handed to the library is zero-filled.
std::size_t NonZeroExtent(const char* bytes, std::size_t size)
{
    constexpr std::size_t kStep = 4 * sizeof(Word);
    std::size_t end = size;
    for (; end >= kStep; end -= kStep) {
        const char* at = bytes + end - kStep;
        if ((LoadWord(at) | LoadWord(at + sizeof(Word)) | LoadWord(at + 2 * sizeof(Word)) |
             LoadWord(at + 3 * sizeof(Word))) != 0)
            break;
    }
    while (end > 0 && bytes[end - 1] == 0)
        --end;
    return end;
}

// The bytes up to and including the last one that differs between `after` and
// `before` (of which only the first `kept` bytes are kept; the rest were zero);
// 0 when the buffer is as it was.
std::size_t WrittenExtent(const char* after, const char* before, std::size_t kept, std::size_t size)
{
    const std::size_t tail = NonZeroExtent(after + kept, size - kept);
    if (tail != 0)
        return kept + tail;
    std::size_t end = kept;
    for (; end >= sizeof(Word); end -= sizeof(Word)) {
        if (LoadWord(after + end - sizeof(Word)) != LoadWord(before + end - sizeof(Word)))
            break;
    }
    for (; end > 0; --end) {
        if (after[end - 1] != before[end - 1])
            return end;
    }
    return 0;
}

// True when every byte is printable ASCII or a tab: text in every ANSI code page
// as it stands (the photo's base64, digits, most codes).
bool IsPlainAscii(const char* bytes, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if ((c < 0x20 && c != '\t') || c > 0x7E)
            return false;
    }
    return true;
}

// Two hex digits a byte, appended a few hundred at a time.
void AppendHex(GrowingText& out, const char* bytes, std::size_t count)
{
    const char* const kDigits = decimal::kHexDigits + 16;
    char digits[256];
    std::size_t filled = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        digits[filled++] = kDigits[byte >> 4];
        digits[filled++] = kDigits[byte & 15];
        if (filled == sizeof digits || i + 1 == count) {
            out.Append(digits, filled);
            filled = 0;
        }
    }
}

// Two 64-bit hashes of the text, eight bytes a step: identical answers are found
// by them (and their length), without keeping every answer's text.
void Hash(const GrowingText& text, std::uint64_t (&hash)[2])
{
    std::uint64_t a = 0x9E3779B97F4A7C15ull, b = 0xC2B2AE3D27D4EB4Full;
    const char* bytes = text.data();
    std::size_t size = text.size();
    std::uint64_t tail = size % 8;
    // The last word is the tail's bytes and their count; the loop mixes it last.
    for (std::size_t i = size - size % 8; i < size; ++i)
        tail = tail << 8 | static_cast<unsigned char>(bytes[i]);
    tail ^= 0xA5A5A5A5A5A5A5A5ull;
    for (std::size_t at = 0; at <= size; at += 8) {
        std::uint64_t word = tail;
        if (at + 8 <= size)
            std::memcpy(&word, bytes + at, 8);
        a = (a ^ word) * 0x100000001B3ull;
        a ^= a >> 29;
        b = (b + word) * 0xFF51AFD7ED558CCDull;
        b ^= b >> 32;
    }
    hash[0] = a;
    hash[1] = b;
}

// The stand-in's words for the faults a script can raise.
struct FaultWord {
    std::uint32_t code;
    const char* word;
};
constexpr FaultWord kFaultWords[] = {
    {0xC0000005, "access-violation"},
    {0xC0000094, "divide-by-zero"},
    {0xC000001D, "illegal-instruction"},
    {0xE06D7363, "cpp-exception"},
};

// The line `fault=` with the stand-in's word for the code, or the code itself.
void AppendFaultLine(GrowingText& out, std::uint32_t code)
{
    for (const FaultWord& row : kFaultWords) {
        if (row.code == code) {
            out.AppendFormat("fault=%s\r\n", row.word);
            return;
        }
    }
    out.AppendFormat("fault=0x%08X\r\n", static_cast<unsigned>(code));
}

// `value` in decimal between two texts: one call at each of the places.
ZANTOR_NOINLINE void AppendNumber(GrowingText& out, const char* before, std::int64_t value, const char* after)
{
    out.Append(before).AppendDecimal(value).Append(after);
}

void AppendWideUtf8(GrowingText& out, const wchar_t* text)
{
    AppendUtf8(out, text);
}

}  // namespace

RecordingWriter::RecordingWriter(unsigned codePage, std::uint32_t remembered)
    : m_codePage(codePage), m_remembered(remembered)
{
}

void RecordingWriter::Before(const CallRecord& call)
{
    // Only up to the last byte that is not zero: the rest is known.
    for (std::size_t i = 0; i < call.bufferCount && i < 2; ++i) {
        m_before[i].Clear();
        const std::size_t kept = NonZeroExtent(call.buffers[i].data, call.buffers[i].size);
        m_haveBefore[i] = kept == 0 || m_before[i].Append(call.buffers[i].data, kept);
        m_beforeSize[i] = call.buffers[i].size;
    }
}

void RecordingWriter::AppendBuffer(const char* key, const CallBuffer& buffer, std::size_t index)
{
    m_answer.Append(key);
    const std::size_t textEnd = BoundedLength(buffer.data, buffer.size);
    const std::size_t withNul = textEnd < buffer.size ? textEnd + 1 : buffer.size;
    std::size_t extent = withNul;
    if (m_haveBefore[index] && m_beforeSize[index] == buffer.size) {
        const std::size_t written =
            WrittenExtent(buffer.data, m_before[index].data(), m_before[index].size(), buffer.size);
        if (written == 0) {
            m_answer.Append("@none\r\n");
            return;
        }
        if (written > extent)
            extent = written;
    }
    // A whole text and its NUL, in the code page and free of what a line cannot
    // hold as it is (blanks at its ends, controls): written as the text.
    if (extent == textEnd + 1) {
        const char* text = buffer.data;
        const bool blankEnd = textEnd > 0 && (text[0] == ' ' || text[0] == '\t' || text[textEnd - 1] == ' ' ||
                                              text[textEnd - 1] == '\t');
        if (!blankEnd) {
            // Plain ASCII as it stands; anything else converted, when it converts
            // exactly (a text that does not appends nothing).
            const bool at = text[0] == '@';
            if (at)
                m_answer.Append('@');  // "@@" stands for a literal "@"
            if (IsPlainAscii(text, textEnd)) {
                m_answer.Append(text, textEnd).Append(kEnd);
                return;
            }
            if (AppendExactUtf8(m_answer, text, textEnd, m_codePage)) {
                m_answer.Append(kEnd);
                return;
            }
            if (at)
                m_answer.DropLast();
        }
    }
    // Anything else as the bytes written, NULs included.
    m_answer.Append("@hex:");
    AppendHex(m_answer, buffer.data, extent);
    m_answer.Append(kEnd);
}

void RecordingWriter::AppendBreaches(const CallOutcome& outcome)
{
    const char* lead = "clobber=";
    std::size_t directories = 0;
    for (std::size_t i = 0; i < outcome.breachCount && i < CallOutcome::kMaxBreaches; ++i) {
        const ContractBreach& breach = outcome.breaches[i];
        switch (breach.rule) {
        case ContractRule::Register:
        case ContractRule::DirectionFlag:
        case ContractRule::X87Control:
        case ContractRule::Mxcsr:
        case ContractRule::X87Stack:
            // The stand-in's word for the state is its name in lower case.
            m_answer.Append(lead);
            for (const char* c = breach.name; *c; ++c)
                m_answer.Append(static_cast<char>(*c >= 'A' && *c <= 'Z' ? *c - 'A' + 'a' : *c));
            lead = " ";
            break;
        case ContractRule::CurrentDirectory:
        case ContractRule::StackPopped:
        case ContractRule::StackPointer:
        case ContractRule::ExceptionChain:
            break;
        }
        m_notes.AppendFormat("; %s ", breach.name);
        if (breach.rule == ContractRule::CurrentDirectory) {
            ++directories;
            m_notes.Append('"');
            AppendWideUtf8(m_notes, outcome.directoryBefore);
            m_notes.Append("\" -> \"");
            AppendWideUtf8(m_notes, outcome.directoryAfter);
            m_notes.Append('"');
        } else {
            // Spelt as the call log and the report spell them: an XMM register
            // whole, counts in decimal, each value at its width.
            char value[kBreachValueRoom];
            m_notes.Append(value, WriteBreachValue(value, breach.rule, breach.name, breach.before));
            m_notes.Append(" -> ");
            m_notes.Append(value, WriteBreachValue(value, breach.rule, breach.name, breach.after));
        }
        m_notes.Append(breach.restored ? " (restored)\r\n" : " (kept)\r\n");
    }
    if (*lead == ' ')
        m_answer.Append(kEnd);
    for (; directories > 0; --directories) {
        m_answer.Append("chdir=");
        AppendWideUtf8(m_answer, outcome.directoryAfter);
        m_answer.Append(kEnd);
    }
}

std::uint32_t RecordingWriter::Find() const
{
    if (m_index.empty())
        return 0;
    // The slots from the hash's on, to the first empty one (there always is one).
    const std::size_t mask = m_index.size() - 1;
    for (std::size_t at = static_cast<std::size_t>(m_hash[0]) & mask;; at = (at + 1) & mask) {
        const std::uint32_t id = m_index[at];
        if (id == 0)
            return 0;
        const Known& known = m_known[id - 1];
        if (known.hash[0] == m_hash[0] && known.hash[1] == m_hash[1] && known.length == m_answer.size())
            return id;
    }
}

bool RecordingWriter::Remember(std::uint32_t id)
{
    const Known known{{m_hash[0], m_hash[1]}, static_cast<std::uint32_t>(m_answer.size())};
    if (!m_known.Append(known))
        return false;
    // At most half full: grown to twice the slots, and every answer put in again.
    if (2 * m_known.size() > m_index.size()) {
        const std::size_t slots = m_index.empty() ? 1024 : 2 * m_index.size();
        m_index.Clear();
        if (!m_index.GrowTo(slots, 0))
            return false;
        for (std::uint32_t i = 1; i < id; ++i) {
            std::size_t at = static_cast<std::size_t>(m_known[i - 1].hash[0]) & (slots - 1);
            while (m_index[at] != 0)
                at = (at + 1) & (slots - 1);
            m_index[at] = i;
        }
    }
    const std::size_t mask = m_index.size() - 1;
    std::size_t at = static_cast<std::size_t>(m_hash[0]) & mask;
    while (m_index[at] != 0)
        at = (at + 1) & mask;
    m_index[at] = id;
    return true;
}

bool RecordingWriter::Entry(const CallRecord& call, GrowingText& out)
{
    m_answer.Clear();
    m_notes.Clear();
    m_answer.Append("operation=").Append(OperationName(call.operation)).Append(kEnd);
    if (call.hasArgument)
        AppendNumber(m_answer, "argument=", call.argument, kEnd);
    const CallOutcome& outcome = *call.outcome;
    if (!outcome.raised) {
        AppendNumber(m_answer, "result=", outcome.result, kEnd);
    } else if (call.overrunBufferSize != 0) {
        // `overrun=1` alone is what every reader of recordings knows: GetCardInfo's
        // value buffer, the text of the others. Only GetCardInfo's error text, which
        // that spelling cannot say, is named, so an older reader refuses the entry
        // rather than replay it on the wrong buffer.
        const bool value = call.overrunBuffer < call.bufferCount && call.buffers[call.overrunBuffer].role == BufferRole::Value;
        const bool textOfField = call.operation == Operation::GetCardInfo && !value;
        m_answer.Append(textOfField ? "overrun=1 text\r\n" : "overrun=1\r\n");
    } else {
        AppendFaultLine(m_answer, outcome.exceptionCode);
        Message module;
        m_notes.AppendFormat("; fault 0x%08X at ", static_cast<unsigned>(outcome.exceptionCode));
        std::uintptr_t place = outcome.exceptionAddress;
        const bool inModule =
            outcome.moduleBase != 0 && place >= outcome.moduleBase && AppendModuleName(module, outcome.moduleBase);
        if (inModule) {
            AppendUtf8(m_notes, module.c_str(), module.size());
            place -= outcome.moduleBase;
        }
        m_notes.AppendFormat(inModule ? "+0x%llX\r\n" : "0x%llX\r\n", static_cast<unsigned long long>(place));
    }
    for (std::size_t i = 0; i < call.bufferCount && i < 2; ++i)
        AppendBuffer(call.buffers[i].role == BufferRole::Value ? "value=" : "text=", call.buffers[i], i);
    AppendBreaches(outcome);
    Hash(m_answer, m_hash);

    std::uint32_t id = Find();
    out.Clear();
    const char* lead = " ";
    if (id == 0) {
        id = ++m_answers;
        if (id <= m_remembered && !Remember(id))
            return false;
        if (id == m_remembered + 1)
            out.AppendFormat("\r\n\r\n; From here on an answer is written as a new one even when it was written "
                             "before: Zantor remembers the first %u answers only.",
                             static_cast<unsigned>(m_remembered));
        out.AppendFormat("\r\n\r\n[Answer.%u]\r\n", static_cast<unsigned>(id)).Append(m_answer).Append(m_notes);
        lead = "\r\n[Calls]\r\ncalls=";
        m_onLine = 0;
    } else if (m_onLine >= kCallsPerLine) {
        lead = "\r\ncalls=";
        m_onLine = 0;
    }
    ++m_onLine;
    AppendNumber(out, lead, id, "");
    // The pace: a call of a millisecond or more says how long it took.
    const std::uint64_t milliseconds = (outcome.durationNanoseconds + 500000) / 1000000;
    if (milliseconds > 0)
        AppendNumber(out, "@", static_cast<std::int64_t>(milliseconds), "");
    return !out.failed() && !m_answer.failed() && !m_notes.failed();
}

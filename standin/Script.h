// The stand-in reader's script: a plain INI file that overrides the reader's
// answers. Parsed here, without the platform, so that the tests exercise it.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ClobberBits.h"

namespace standin {

// The build a script is for: `clobber=` names the registers of one architecture.
enum class Architecture { X86, X64 };
constexpr Architecture kBuildArchitecture = sizeof(void*) == 8 ? Architecture::X64 : Architecture::X86;

// What the script puts into one buffer.
struct Piece {
    enum class Kind {
        Text,       // `text`, converted to the narrow encoding
        None,       // @none: nothing at all, the buffer stays as it was
        Longest,    // @longest: the longest ASCII text the buffer holds
        PhotoFile,  // photo=: the base64 text of the file at `text`
        RawFile,    // valuefile=: the bytes of the file at `text`, as they are
        Bytes,      // @hex:...: exactly the bytes in `text`, no NUL added
    };
    Kind kind = Kind::Text;
    std::string text;  // the text (UTF-8, as in the file) or the file's path
};

// A structured exception the stand-in raises during a call, as a faulty library would.
enum class Fault {
    AccessViolation,     // reads address 0
    DivideByZero,        // integer division by zero
    IllegalInstruction,  // ud2
    CppException,        // a C++ exception as a Visual C++-built library throws it
    BareAccessViolation, // reads address 0 in code without unwind data, after pushing registers
    Code,                // RaiseException with AnswerScript::faultCode
};

// Which buffer overrun= writes past.
enum class OverrunBuffer {
    Operation,  // the operation's: GetCardInfo's value buffer, the others' text
    Value,      // `value`: GetCardInfo's value buffer
    Text,       // `text`: the error or status text buffer
};

// What an operation does with a parameter it does not have (extra=), as a library
// declared with one more parameter than the caller passes would.
enum class Extra {
    Scratch,  // stores into that parameter's argument slot
    Write,    // writes an int through that parameter, taken as a pointer
};

// What take= asks a call to take from Windows, a bit each, and how: given back
// before the call returns, and on the operation's first call only (a table made once).
namespace take_bits {
constexpr std::uint32_t kEvent = 1u << 0;
constexpr std::uint32_t kMutex = 1u << 1;
constexpr std::uint32_t kSemaphore = 1u << 2;
constexpr std::uint32_t kMapping = 1u << 3;
constexpr std::uint32_t kFile = 1u << 4;
constexpr std::uint32_t kRegistry = 1u << 5;
constexpr std::uint32_t kThread = 1u << 6;      // a thread that keeps running
constexpr std::uint32_t kThreadEnds = 1u << 7;  // a thread that ends at once
constexpr std::uint32_t kHeap = 1u << 8;        // HeapAlloc
constexpr std::uint32_t kLocal = 1u << 9;       // LocalAlloc
constexpr std::uint32_t kGlobal = 1u << 10;     // GlobalAlloc
constexpr std::uint32_t kVirtual = 1u << 11;    // VirtualAlloc
constexpr std::uint32_t kMalloc = 1u << 12;     // the C runtime's malloc
constexpr std::uint32_t kModule = 1u << 13;     // LoadLibrary
constexpr std::uint32_t kGiveBack = 1u << 14;
constexpr std::uint32_t kOnce = 1u << 15;
}  // namespace take_bits

// Overrides for one operation's answer; unset members leave the built-in answer.
struct AnswerScript {
    std::optional<std::int32_t> result;
    std::optional<Piece> value;  // GetCardInfo's value buffer
    std::optional<Piece> text;   // the operation's error or status text buffer
    std::optional<Fault> fault;
    std::uint32_t faultCode = 0;  // with Fault::Code: the exception code raised
    // Bytes written past the end of a buffer: `overrun=N`, or `overrun=N value` or
    // `overrun=N text` naming it by the key that fills it.
    std::optional<std::int32_t> overrun;
    std::optional<OverrunBuffer> overrunBuffer;
    std::optional<Extra> extra;
    // Milliseconds of dispatching the thread's window messages before answering.
    std::optional<std::int32_t> pump;
    // A file (relative to the script's folder) that each call appends
    // "begin <operation>" and "end <operation>" lines to.
    std::optional<std::string> log;
    // The caller's state the export changes as it returns: STANDIN_CLOBBER_* bits.
    std::optional<std::uint32_t> clobber;
    // A folder (relative to the script's folder) made the current directory.
    std::optional<std::string> chdir;
    // Milliseconds slept before answering, and at most that many more, pseudo-random.
    std::optional<std::int32_t> delay;
    std::optional<std::int32_t> jitter;
    // delay and jitter apply on the n-th call only (counted as fail_every counts).
    std::optional<std::int32_t> delayCall;
    // The call ends the process with this exit code (ExitProcess) instead of answering.
    std::optional<std::int32_t> exitCode;
    // Bytes of heap and event handles leaked per call.
    std::optional<std::int32_t> leak;
    std::optional<std::int32_t> leakHandles;
    // What the call takes from Windows through its imports (take=): TakeBits.
    std::optional<std::uint32_t> take;
    // A locale the call sets in the C runtime it shares with its caller
    // (setlocale(LC_ALL, ...)), as a library built with MinGW may.
    std::optional<std::string> locale;
    // `result` and `text` apply on every n-th call only.
    std::optional<std::int32_t> failEvery;
    // Every n-th call's value (GetCardInfo) or text (the others) is visibly changed.
    std::optional<std::int32_t> varyEvery;
};

// One answer of a recording ([Answer.N]): the call it answers (operation and
// argument) and what it writes, returns, raises or changes.
struct RecordedAnswer {
    std::string operation;                // one of the five names, as the library spells them
    std::optional<std::int32_t> argument;  // OpenDevice's port, GetCardInfo's index
    AnswerScript script;
};

// One recorded call, in order: the answer it got and how long it took.
struct RecordedCall {
    std::int32_t answer = 0;
    std::int32_t milliseconds = 0;
};

// A recording Zantor made of a session ([Recording], [Answer.N], [Calls]): replayed
// call by call instead of the built-in reader.
struct Recording {
    std::uint32_t codePage = 0;  // the ANSI code page it was recorded under; 0: not said
    int codePageLine = 0;        // the line that said it
    bool immediate = false;      // answer at once instead of at the recorded pace
    std::map<std::int32_t, RecordedAnswer> answers;
    std::vector<RecordedCall> calls;
};

struct Script {
    AnswerScript openDevice;
    AnswerScript closeDevice;
    AnswerScript deviceStatus;
    AnswerScript readCard;
    AnswerScript cardInfo;                         // [GetCardInfo]: every field
    std::map<std::int32_t, AnswerScript> fields;  // [Field.N]: one field
    std::optional<Recording> recording;           // a [Recording] section makes the script a replay

    // [GetCardInfo] with [Field.<index>] laid over it, key by key.
    AnswerScript ForField(std::int32_t index) const;
};

// Why a script was refused.
enum class ScriptError {
    None,
    UnclosedSection,    // "[Name" without "]"
    UnknownSection,     // detail: the section name
    KeyOutsideSection,  // a key before the first section
    MissingEquals,      // a line that is neither section, key=value, comment nor blank
    UnknownKey,         // detail: the key
    BadNumber,          // detail: the value
    UnknownSpecial,     // detail: the value, "@" and a word other than none or longest
    UnknownFault,       // detail: the value of fault=
    NotPositive,        // detail: the value of a count or duration (overrun=, pump=...), not from 1 up
    UnknownExtra,       // detail: the value of extra=
    UnknownClobber,     // detail: a word of clobber= not of the script's architecture
    UnknownTake,        // detail: a word of take= that names nothing to take
    BadHex,             // detail: the value, "@hex:" and not pairs of hex digits
    UnknownOperation,   // detail: the value of operation= in an [Answer.N]
    UnknownAnswer,      // detail: a word of calls= naming no [Answer.N] given before it
    UnknownBuffer,      // detail: the word after overrun='s count, neither value nor text
    MissingCodePage,    // detail: the value of codepage=, a code page this machine does not have (found when loaded)
};

struct ParseResult {
    Script script;
    ScriptError error = ScriptError::None;
    int line = 0;        // 1-based line of the error
    std::string detail;  // the offending word, as in the file
};

// Parses the script's bytes (UTF-8, optional BOM, LF or CRLF line ends) for a
// build of `architecture`. Section and key names are case-insensitive; values are
// trimmed of blanks. A later key replaces an earlier one.
ParseResult ParseScript(const std::string& bytes, Architecture architecture = kBuildArchitecture);

// True for the ports a reader opens: 1-16 (serial) and 1001-1016 (USB).
bool IsReaderPort(std::int32_t port);

}  // namespace standin

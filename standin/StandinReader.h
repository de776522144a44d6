// The stand-in reader: the five operations of Mervik.dll as plain C++, with the
// reader's state, the built-in sample card and the script overrides. The Windows
// export layer (MervikExports.cpp) only forwards to it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "Script.h"

namespace standin {

// The reader's state, kept between calls.
enum class State { Closed, Open, CardRead };

// Result codes of the built-in reader.
enum Code : std::int32_t {
    kOk = 0,
    kBadPort = 1,         // port outside 1-16 and 1001-1016
    kOpenElsewhere = 2,   // already open on another port
    kNotOpen = 3,         // the reader is closed
    kNoCardRead = 4,      // fields asked for before a card was read
    kBadField = 5,        // a field index the card does not have
    kScheduledFailure = 97,  // fail_every's failing call, when the script gives no result
    kInternalError = 98,  // the stand-in itself failed (out of memory); a replay met a call it does not hold
    kScriptError = 99,    // the script cannot be followed
};

enum class FileRead {
    Ok,
    Missing,     // no such file
    Unreadable,  // there, but locked by another process, access denied, a folder...
};

// What the reader needs of its platform.
class Environment {
public:
    virtual ~Environment() = default;
    // Where the script is (UTF-8), looked up afresh on every call; nullopt: nowhere.
    virtual std::optional<std::string> ScriptPath() const = 0;
    // A script text (UTF-8) in the process's narrow encoding.
    virtual std::string ToNarrow(const std::string& utf8) const = 0;
    // A script text (UTF-8) in code page `codePage`, whatever the process's is.
    virtual std::string ToCodePage(const std::string& utf8, std::uint32_t codePage) const = 0;
    // True when the machine has code page `codePage` to convert texts into.
    virtual bool HasCodePage(std::uint32_t codePage) const = 0;
    // A number that changes when the file at `path` changes (its size and time of
    // last write); nullopt when there is none.
    virtual std::optional<std::uint64_t> FileStamp(const std::string& path) const = 0;
    // The whole content of the file at `path` (UTF-8) into `bytes`.
    virtual FileRead ReadFile(const std::string& path, std::string& bytes) const = 0;
    // Raises `fault` in the calling thread. The Windows layer does not return; a
    // test's platform records the fault and returns.
    virtual void Raise(Fault fault) const = 0;
    // Raises the structured exception `code`, as Raise does.
    virtual void RaiseCode(std::uint32_t code) const = 0;
    // Uses the parameter one past the operation's last as `extra` says. The Windows
    // layer returns unless the write faults; a test's platform records it.
    virtual void UseExtraParameter(Extra extra) const = 0;
    // Dispatches the calling thread's window messages for `milliseconds`.
    virtual void PumpMessages(std::int32_t milliseconds) const = 0;
    // Appends `line` and a line end to the file at `path` (UTF-8), creating it;
    // false when it cannot.
    virtual bool AppendLine(const std::string& path, const std::string& line) const = 0;
    // Makes the folder `path` (UTF-8) the process's current directory; false when it cannot.
    virtual bool ChangeDirectory(const std::string& path) const = 0;
    // Sleeps for `milliseconds`.
    virtual void Delay(std::int32_t milliseconds) const = 0;
    // Allocates `bytes` of heap, touched so that it is committed, and never frees it.
    virtual void LeakMemory(std::int32_t bytes) const = 0;
    // Creates `count` event handles and never closes them.
    virtual void LeakHandles(std::int32_t count) const = 0;
    // Takes from Windows what `what` (take_bits) names, one of each, and gives it
    // back before returning when it says so (a running thread told to end and waited for).
    virtual void TakeFromWindows(std::uint32_t what) const = 0;
    // Sets the locale `name` in the C runtime the library shares with its caller.
    virtual void SetLocale(const std::string& name) const = 0;
    // Ends the process with `code` (ExitProcess). The Windows layer does not
    // return; a test's platform records it and returns.
    virtual void EndProcess(std::int32_t code) const = 0;
    // Has the running call's export change the caller's state named by `clobbers`
    // (STANDIN_CLOBBER_* bits) as it returns; 0 changes nothing. The last value
    // given during a call counts.
    virtual void ClobberOnReturn(std::uint32_t clobbers) const = 0;
};

// `relative` resolved against the folder of `base` (a file path); absolute paths
// ("/x", "\x", "C:...") are kept as they are.
std::string ResolvePath(const std::string& base, const std::string& relative);

// Buffer sizes are those of the reader library's contract: 1024 bytes for every text,
// 102400 for the photo (field 11). Nothing is written beyond them, NUL included,
// unless the script asks for an overrun. None of the operations throws; a script's
// fault is raised through the platform before anything is written, and when the
// platform returns (in tests) the call returns kInternalError and writes nothing.
// A call appends its log line, changes directory, leaks, sleeps, pumps messages
// and uses its extra parameter, in that order, before the reader's answer is made,
// so an answer made after a nested call (one dispatched while pumping) starts from
// the state it left. Calls are counted per operation (and GetCardInfo's per field)
// from the reader's creation, for fail_every and vary_every.
class StandinReader {
public:
    // `environment` must outlive the reader.
    explicit StandinReader(const Environment& environment);

    std::int32_t OpenDevice(std::int32_t port, char* errorText);
    std::int32_t CloseDevice(char* errorText);
    std::int32_t getDeviceStatus(char* statusText);
    std::int32_t readCard(char* statusText);
    std::int32_t GetCardInfo(std::int32_t index, char* value, char* errorText);

    State state() const { return m_state; }

private:
    // The built-in reader's answer, and the state the operation moves the reader to
    // (on `nextPort`) when the result finally returned is 0.
    struct Answer {
        std::int32_t result = kOk;
        std::optional<std::string> value;
        std::optional<std::string> text;
        std::optional<State> next;
        std::int32_t nextPort = 0;
    };
    // An operation's script for one call, and the call's number among those its
    // fail_every and vary_every count (0: not counted).
    struct ForCall {
        AnswerScript script;
        std::uint64_t failCount = 0;
        std::uint64_t varyCount = 0;
        std::uint64_t delayCount = 0;  // the call's number among those delay_call counts
    };
    struct Loaded {
        std::shared_ptr<const Script> script;
        std::string path;                  // the script's path, for the files it names
        std::optional<std::string> error;  // why the script cannot be followed (narrow)
    };
    // What goes into a buffer: a text and its NUL, or (raw) exactly the bytes.
    struct Content {
        std::string bytes;
        bool raw = false;
    };

    // The script; a recording is parsed once and kept while its file stays the same
    // (a new one starts its replay from the first call).
    Loaded Load();
    // One call: the script loaded, the built-in answer (builtIn()) with the script's
    // overrides (overrides(script), a ForCall) laid over it; under a recording, the
    // recording's next call instead. `argument`: the port or the field index.
    template <typename Overrides, typename BuiltIn>
    std::int32_t Run(const char* operation, std::optional<std::int32_t> argument, char* value,
                     std::size_t valueSize, char* text, Overrides overrides, BuiltIn builtIn);
    // The answer of the recording's next call when it is this one (the replay
    // moves on); else nullopt, with the reason written into `text`.
    std::optional<AnswerScript> Replayed(const Recording& recording, const char* operation,
                                         std::optional<std::int32_t> argument, char* text);
    // Writes the buffers (value: none when null), makes the state change and
    // returns the result.
    // `varied`: the number to mark the value (or text) as varied with.
    std::int32_t Finish(const Loaded& loaded, const AnswerScript& overrides, const Answer& answer,
                        std::optional<std::uint64_t> varied, char* value, std::size_t valueSize, char* text);
    // The milliseconds of delay= and jitter=, the jitter drawn from the reader's own
    // generator (a fixed seed, so that runs repeat).
    std::int32_t DelayFor(const AnswerScript& script);
    // Counts a read of field `index`; 0 when it cannot be counted (out of memory).
    std::uint64_t CountFieldRead(std::int32_t index) noexcept;
    // One buffer's content: the script's piece, else the built-in text; nullopt:
    // write nothing. A file that cannot be read sets `error`.
    // `codePage`: the recording's (texts are written in it), or 0 for the process's.
    std::optional<Content> Compose(const std::optional<Piece>& piece, const std::optional<std::string>& builtIn,
                                   std::size_t capacity, const std::string& scriptPath, std::uint32_t codePage,
                                   std::optional<std::string>& error) const;

    const Environment& m_environment;
    State m_state = State::Closed;
    std::int32_t m_port = 0;
    // Calls so far, per operation, and reads per field index.
    std::uint64_t m_openCalls = 0;
    std::uint64_t m_closeCalls = 0;
    std::uint64_t m_statusCalls = 0;
    std::uint64_t m_readCalls = 0;
    std::uint64_t m_cardInfoCalls = 0;
    std::map<std::int32_t, std::uint64_t> m_fieldReads;
    // The operations whose take= with "once" has been done.
    std::set<std::string> m_tookOnce;
    std::uint32_t m_jitterState = 12345;  // the generator's seed
    // The recording being replayed, the stamp of its file, and its next call.
    std::shared_ptr<const Script> m_replay;
    std::optional<std::uint64_t> m_replayStamp;
    std::string m_replayPath;
    std::size_t m_replayPosition = 0;
};

}  // namespace standin

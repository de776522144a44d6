// The stand-in reader: the five operations of Mervik.dll as plain C++, with the
// reader's state, the built-in sample card and the script overrides. The Windows
// export layer (MervikExports.cpp) only forwards to it.
#pragma once

#include <cstdint>
#include <optional>
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
    kInternalError = 98,  // the stand-in itself failed (out of memory)
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
    // The whole content of the file at `path` (UTF-8) into `bytes`.
    virtual FileRead ReadFile(const std::string& path, std::string& bytes) const = 0;
    // Raises `fault` in the calling thread. The Windows layer does not return; a
    // test's platform records the fault and returns.
    virtual void Raise(Fault fault) const = 0;
    // Uses the parameter one past the operation's last as `extra` says. The Windows
    // layer returns unless the write faults; a test's platform records it.
    virtual void UseExtraParameter(Extra extra) const = 0;
    // Dispatches the calling thread's window messages for `milliseconds`.
    virtual void PumpMessages(std::int32_t milliseconds) const = 0;
    // Appends `line` and a line end to the file at `path` (UTF-8), creating it;
    // false when it cannot.
    virtual bool AppendLine(const std::string& path, const std::string& line) const = 0;
};

// `relative` resolved against the folder of `base` (a file path); absolute paths
// ("/x", "\x", "C:...") are kept as they are.
std::string ResolvePath(const std::string& base, const std::string& relative);

// Buffer sizes are those of the reader library's contract: 1024 bytes for every text,
// 102400 for the photo (field 11). Nothing is written beyond them, NUL included,
// unless the script asks for an overrun. None of the operations throws; a script's
// fault is raised through the platform before anything is written, and when the
// platform returns (in tests) the call returns kInternalError and writes nothing.
// A call appends its log line, pumps messages and uses its extra parameter, in
// that order, before the reader's answer is made, so an answer made after a
// nested call (one dispatched while pumping) starts from the state it left.
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
    struct Loaded {
        Script script;
        std::string path;                  // the script's path, for the files it names
        std::optional<std::string> error;  // why the script cannot be followed (narrow)
    };

    Loaded Load() const;
    // One call: the script loaded, the built-in answer (builtIn()) with the script's
    // overrides (overrides(script)) laid over it.
    template <typename Overrides, typename BuiltIn>
    std::int32_t Run(const char* operation, char* value, std::size_t valueSize, char* text, Overrides overrides,
                     BuiltIn builtIn);
    // Writes the buffers (value: none when null), makes the state change and
    // returns the result.
    std::int32_t Finish(const Loaded& loaded, const AnswerScript& overrides, const Answer& answer,
                        char* value, std::size_t valueSize, char* text);
    // One buffer's content: the script's piece, else the built-in text; nullopt:
    // write nothing. A file that cannot be read sets `error`.
    std::optional<std::string> Compose(const std::optional<Piece>& piece, const std::optional<std::string>& builtIn,
                                       std::size_t capacity, const std::string& scriptPath,
                                       std::optional<std::string>& error) const;

    const Environment& m_environment;
    State m_state = State::Closed;
    std::int32_t m_port = 0;
};

}  // namespace standin

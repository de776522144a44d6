// What the operator asked for on the command line, read from a small table of
// options (CommandLine.cpp) in one loop; the usage text comes from the same table.
// Options are case-insensitive and start with '/' or '-'.
#pragma once

#include <cstddef>
#include <cstdint>

#include "BoundedText.h"
#include "SuccessCodes.h"

// What was asked. The paths point into the words given to ParseCommandLine,
// which must outlive this.
struct CommandLineOptions {
    bool usage = false;                // /?
    const wchar_t* logPath = nullptr;  // /log <file>: append every library call to it
    // The burn-in: /cycles <n> calls of every operation; /port and /report only with it.
    std::uint32_t cycles = 0;  // 0: no burn-in
    std::int32_t port = 1001;
    const wchar_t* reportPath = nullptr;
    // /success <operation>=<code>[,<code>...], repeatable, only with /cycles: the
    // codes that count as success; 0 for every operation not named.
    SuccessCodes success;
    const wchar_t* recordPath = nullptr;  // /record <file.ini>: the session as a stand-in script
    bool anonymize = false;               // /anonymize: card data replaced in every file; only with /record
    // /timeout <s>: a call running longer ends a burn-in (exit status 5); at the
    // console, a call running longer than this or 10 s is named in a window.
    std::uint32_t timeoutSeconds = 60;
    // /trace none: the library's imports are not routed through Zantor's wrappers
    // (for a library that checks its own import table).
    bool traceImports = true;
};

enum class CommandLineError : std::uint8_t {
    None,
    UnknownOption,   // not an option of the table (or not an option at all)
    MissingValue,    // an option that takes a value came last
    MalformedValue,  // a value that is not what its option takes
    RepeatedOption,  // the same option given twice
    NeedsCycles,     // /port, /report or /success without /cycles
    NeedsRecord,     // /anonymize without /record
    SameFile,        // two outputs are one file (OutputFiles.h finds them and says which)
};

struct ParsedCommandLine {
    CommandLineOptions options;
    CommandLineError error = CommandLineError::None;
    const wchar_t* word = nullptr;  // with an error: the word at fault (one of the words)
};

// Reads `count` words (the arguments after the program's name). Stops at the
// first fault and says which word it was.
ParsedCommandLine ParseCommandLine(const wchar_t* const* words, std::size_t count);

// Whether the words hold /cycles, whatever else is wrong with them: a run that
// nobody watches, whose mistakes go to the standard error and not into a box.
// `logPath`: the word after the first /log, or null.
struct UnattendedWords {
    bool burnIn = false;
    const wchar_t* logPath = nullptr;
};
UnattendedWords FindUnattended(const wchar_t* const* words, std::size_t count);

// The usage text: every option of the table, its value and what it does, one a
// line. Every line fits: the table's longest row is under 80 characters and it
// has ten rows, plus the title with the program's name (cut beyond 260).
constexpr std::size_t kUsageCapacity = 1024;
using UsageText = WideText<kUsageCapacity>;
UsageText CommandLineUsage(const wchar_t* programName);

// The error in words, naming the word at fault ("未知的选项：/frobnicate").
// Paths and words longer than the text are cut.
UsageText CommandLineErrorText(const ParsedCommandLine& parsed);

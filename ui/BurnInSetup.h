// What the burn-in dialog takes from the operator, read and checked without a
// window: the cycles, the port, the timeout and the report's path, and the
// default report name. The dialog only moves text between its boxes and this.
#pragma once

#include <cstddef>
#include <cstdint>

#include "BoundedText.h"
#include "LocalTime.h"
#include "LongestPath.h"
#include "OutputFiles.h"

using SetupPath = WideText<kLongestPath>;

constexpr std::uint32_t kSetupDefaultCycles = 1000;
constexpr std::uint32_t kSetupMostCycles = 10000000;
constexpr std::uint32_t kSetupDefaultTimeoutSeconds = 60;
constexpr std::uint32_t kSetupMostTimeoutSeconds = 86400;  // a day

// The boxes' texts as typed. The port is narrow: it is read as a press reads the
// form's port box.
struct BurnInFields {
    const wchar_t* cycles = L"";
    const char* port = "";
    const wchar_t* timeout = L"";
    const wchar_t* report = L"";
};

// The first box whose text cannot be taken, in the dialog's order.
enum class BurnInFieldError : std::uint8_t {
    None,
    Cycles,   // not a whole number from 1 to 10,000,000
    Timeout,  // not a whole number of seconds from 1 to 86,400
    Report,   // empty
};

struct BurnInSettings {
    BurnInFieldError error = BurnInFieldError::None;
    std::uint32_t cycles = 0;
    std::int32_t port = 0;
    std::uint32_t timeoutSeconds = 0;
};

// The numbers in the boxes. Cycles and timeout: digits only, blanks around them
// allowed; the port as atoi reads it (never refused). The report's path is only
// checked not to be empty or blank.
BurnInSettings ReadBurnInFields(const BurnInFields& fields);

// What the operator is told when a box is refused; null for None.
const wchar_t* BurnInFieldErrorText(BurnInFieldError error);

// "burn-in-20260307-090502.html" for the local time given.
using ReportName = WideText<40>;
ReportName DefaultReportName(const LocalTime& time);

// `path` as a full path: kept when it names a drive or a root ("C:\x", "\\srv\x",
// "\x"), else joined to `folder` with one backslash. False when it does not fit.
bool PathInFolder(const wchar_t* folder, const wchar_t* path, SetupPath& full);

// The call log's path beside the report, by the rule the JSON's follows
// (PathBeside): "run.html" -> "run.log", "run" -> "run.log", "run.log" ->
// "run.log.log", never the report itself. False when it does not fit.
bool CallLogPathBeside(const wchar_t* reportPath, SetupPath& logPath);

// The files a run from the window writes, as full paths: the report, the call
// log beside it when ticked, and the files the command line opened for the whole
// session, which the run writes too (null when there are none).
struct BurnInOutputs {
    const wchar_t* report = L"";
    bool reportIsFolder = false;  // the report's path names an existing folder
    bool callLog = false;
    const wchar_t* consoleLog = nullptr;
    const wchar_t* consoleRecording = nullptr;
};
// Whether the report can be taken: not a folder, and no two of the report, the
// JSON and the call log beside it, the /log file and the /record file one file
// (compared as Windows compares names). Otherwise false, and `text` says why.
bool CheckBurnInOutputs(const BurnInOutputs& outputs, CollisionText& text);

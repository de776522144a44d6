// One line of the call log for each library call, and the file's header and
// session lines: UTF-8, fields in a fixed order separated by tabs, everything the
// library wrote escaped. Plain C++: the window-free part of the call log.
#pragma once

#include <cstddef>
#include <cstdint>

#include "BoundedText.h"
#include "CallRecord.h"
#include "LibraryIdentity.h"
#include "LocalTime.h"
#include "Mervik.h"
#include "Reader.h"

using LogTime = LocalTime;
// "2026-12-08 10:26:28.123"; the first kLogTimeSeconds characters are the time to the second.
using LogTimeText = NarrowText<24>;
constexpr std::size_t kLogTimeSeconds = 19;
LogTimeText LogTimeString(const LogTime& time);

// The longest line, field by field (bytes of UTF-8 after escaping; a UTF-16 unit
// becomes at most 4 bytes: "\xNN", or up to 3 of UTF-8, or 4 for a pair of units):
constexpr std::size_t kEscapedUnit = 4;
// - two library texts of 1023 bytes, each byte at most one UTF-16 unit;
constexpr std::size_t kTextsNote = 2 * (mervik::kTextBufferSize - 1) * kEscapedUnit;
// - a fault's place and, for a software exception, where it was raised: two
//   module file names of at most 255 units, the code and two offsets;
constexpr std::size_t kFaultNote = 2 * 255 * kEscapedUnit + 96;
// - every breach: a name, two 128-bit values in hex, "restored", separators;
constexpr std::size_t kBreachesNote = CallOutcome::kMaxBreaches * 96;
// - the two current directories of a CurrentDirectory breach, quoted;
constexpr std::size_t kDirectoriesNote = 2 * (CallOutcome::kDirectoryCapacity * kEscapedUnit + 2);
// - time, operation, argument, duration, convention and the tabs.
constexpr std::size_t kFixedNotes = 256;
constexpr std::size_t kLogBodyCapacity = kTextsNote + kFaultNote + kBreachesNote + kDirectoriesNote + kFixedNotes;
// A body that does not fit all the same ends in "\t[cut]"; then CR LF and the NUL.
constexpr std::size_t kLogLineCapacity = kLogBodyCapacity + 8 + 2 + 1;
using LogLine = NarrowText<kLogLineCapacity>;

// The line for one call, ending in CR LF:
// time, operation, argument ("-" when none), outcome ("result=N", "overrun=SIZE"
// or "fault=0xCODE@module+0xOFFSET", then ",raised@module+0xOFFSET" for a
// software exception placed in the library's code), duration in microseconds, the first buffer's
// text (the photo: "length=N"), the second's ("-" when the call has one buffer),
// convention, breaches ("-", or entries separated by "; ").
LogLine CallLogLine(const CallRecord& call, const LogTime& time);

// The same line for the debugger's output, which any program of the user's
// session can read: GetCardInfo's value, a card's field, shows only as
// "length=N", whatever the call returned.
LogLine CallLogDebuggerLine(const CallRecord& call, const LogTime& time);

// The line written just before a call is made, so that a call the process does
// not survive is the log's last word: time, operation, argument ("-" when none),
// "started" in the outcome's column and "-" in every column after it.
LogLine CallStartedLine(Operation operation, bool hasArgument, std::int32_t argument, const LogTime& time);

// A line about the run rather than a call: "#<kind>", the time and `text`
// (escaped like a library's text), e.g. why a burn-in could not start.
LogLine CallLogNote(const char* kind, const LogTime& time, const wchar_t* text);

// The column names, the first line of a log file Zantor creates.
LogLine CallLogHeader();

// The line each start of Zantor adds: when, which Zantor (version, bitness) and
// which library (path, size, version, SHA-256).
LogLine CallLogSession(const LogTime& time, const char* zantorVersion, unsigned bits, const LibraryIdentity& library);

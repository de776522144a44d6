// The burn-in's report: one self-contained HTML page (no script, no external
// file, plots drawn as inline SVG) and the same figures as JSON beside it.
// Texts are English, so that a report can be attached to a report for the
// library's vendor; the library's own texts appear as the library wrote them.
#pragma once

#include <cstdint>

#include "BoundedText.h"
#include "Growing.h"
#include "LongestPath.h"
#include "Recorder.h"
#include "Verdict.h"

using ReportPath = WideText<kLongestPath>;

// What the run was: facts the caller gathers (texts as it formats them).
struct RunFacts {
    ReportPath libraryPath;
    WideText<32> librarySize;     // e.g. "123,456 bytes"
    WideText<32> libraryVersion;  // the file version, or empty when it has none
    WideText<65> librarySha256;
    WideText<32> programVersion;  // Zantor's, e.g. "1.0.0.1"
    int programBits = 32;
    std::int32_t port = 0;
    WideText<32> startTime;  // local time, as the caller formats it
    WideText<32> endTime;
    std::uint32_t cyclesAsked = 0;
    RunEnd end;  // finished, or a checkpoint of a run still going; a call that did not return
};

// The page and the JSON document (UTF-8) for `figures` of the run `facts`
// describes; failed() when memory ran out while building it.
GrowingText HtmlReport(const BurnInFigures& figures, const RunFacts& facts);
GrowingText JsonReport(const BurnInFigures& figures, const RunFacts& facts);

// The run's verdict in one line (UTF-8), as the page and the JSON give it:
// "PASS: ..." or "FAIL: reason; reason". failed() when memory ran out.
GrowingText RunVerdictLine(const BurnInFigures& figures, const RunFacts& facts);

// Fills `jsonPath` with where the JSON goes beside the page: its extension
// replaced by ".json", or ".json" appended when its name has none ("run.html" ->
// "run.json", "run" -> "run.json"). False when the path would be too long.
bool JsonPathFor(const wchar_t* htmlPath, ReportPath& jsonPath);

// Builds and writes both files as a pair: both temporaries, then both renamed.
// False when either could not be built (no memory) or written (the burn-in then
// ends with exit status 3): the earlier pair then stays as it was, or, when only
// the page could be renamed, the earlier JSON is removed, so that no old file
// stays beside a new one.
bool WriteReports(const wchar_t* htmlPath, const BurnInFigures& figures, const RunFacts& facts);

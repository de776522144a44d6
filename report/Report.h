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
struct ReportFileCalls;

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

// What a page and its JSON both carry, so that a reader can tell that they
// belong together: the cycles done when they were written and the local time of
// the writing, to the millisecond ("2026-03-07 09:05:02.041").
struct ReportStamp {
    std::uint32_t cycles = 0;
    NarrowText<32> time;
};

// The page and the JSON document (UTF-8) for `figures` of the run `facts`
// describes, stamped with `stamp`; failed() when memory ran out while building it.
GrowingText HtmlReport(const BurnInFigures& figures, const RunFacts& facts, const ReportStamp& stamp = ReportStamp());
GrowingText JsonReport(const BurnInFigures& figures, const RunFacts& facts, const ReportStamp& stamp = ReportStamp());

// The run's verdict in one line (UTF-8), as the page and the JSON give it:
// "PASS: ..." or "FAIL: reason; reason". failed() when memory ran out.
GrowingText RunVerdictLine(const BurnInFigures& figures, const RunFacts& facts);

// Fills `jsonPath` with where the JSON goes beside the page (PathBeside's rule:
// "run.html" -> "run.json", "run" -> "run.json", "run.json" -> "run.json.json").
// False when the path would be too long.
bool JsonPathFor(const wchar_t* htmlPath, ReportPath& jsonPath);

// What became of writing a report: written, or why not: the memory ran out, or
// the system refused a file (its error code, and which: the page or the JSON).
struct ReportWrite {
    bool written = false;
    bool noMemory = false;
    std::uint32_t error = 0;  // the system's error code; 0 when none was given
    bool json = false;        // the error concerns the JSON, not the page
};

// Builds both files, stamped alike with the figures' cycles and the time now,
// and writes them as a pair (ReportFile.h): both temporaries, the earlier pair
// aside, both new ones in place, the earlier pair dropped. When either could not
// be built (no memory) or written, the earlier pair stays as it was, a pair (the
// burn-in counts a checkpoint that could not be written, and ends with exit
// status 3 when its last report could not be).
ReportWrite WriteReports(const wchar_t* htmlPath, const BurnInFigures& figures, const RunFacts& facts);
// The same with the file calls a test gives and the time it gives.
ReportWrite WriteReports(const wchar_t* htmlPath, const BurnInFigures& figures, const RunFacts& facts,
                         const ReportFileCalls& calls, const ReportStamp& stamp);

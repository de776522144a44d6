// The burn-in's report: one self-contained HTML page (no script, no external
// file, plots drawn as inline SVG) and the same figures as JSON beside it.
// Texts are English, so that a report can be attached to a report for the
// library's vendor; the library's own texts appear as the library wrote them.
#pragma once

#include <cstdint>
#include <string>

#include "Recorder.h"

// What the run was: facts the caller gathers (texts as it formats them).
struct RunFacts {
    std::wstring libraryPath;
    std::wstring librarySize;     // e.g. "123,456 bytes"
    std::wstring libraryVersion;  // the file version, or empty when it has none
    std::wstring librarySha256;
    std::wstring programVersion;  // Zantor's, e.g. "1.0.0.1"
    int programBits = 32;
    std::int32_t port = 0;
    std::wstring startTime;  // local time, as the caller formats it
    std::wstring endTime;
    std::uint32_t cyclesAsked = 0;
};

// The page and the JSON document (UTF-8) for `figures` of the run `facts` describes.
std::string HtmlReport(const BurnInFigures& figures, const RunFacts& facts);
std::string JsonReport(const BurnInFigures& figures, const RunFacts& facts);

// Where the JSON goes beside the page: its extension replaced by ".json", or
// ".json" appended when its name has none ("run.html" -> "run.json", "run" -> "run.json").
std::wstring JsonPathFor(const std::wstring& htmlPath);

// Writes both files, each replaced in one step; false when either could not be
// written (the burn-in then ends with exit status 3).
bool WriteReports(const std::wstring& htmlPath, const BurnInFigures& figures, const RunFacts& facts);

// A report file replaced in one step: written under a temporary name in the same
// folder and renamed into place, so that a reader (or a crash) never meets half
// a report.
#pragma once

#include <string>

// Writes `contents` to `path` (replacing a file there); false, leaving any
// earlier file at `path` as it was, when it could not be written.
bool WriteFileReplacing(const std::wstring& path, const std::string& contents);

// A report file replaced in one step: written under a temporary name in the same
// folder (the path and ".tmp") and renamed into place, so that a reader (or a
// crash) never meets half a report. The page and its JSON are written as a pair:
// both temporaries first, then both renamed.
#pragma once

#include <cstddef>

// Writes the `size` bytes at `contents` to `path` + ".tmp" (replacing a file
// there) and flushes them to the disk; false, leaving no temporary, when it
// could not.
bool WriteTemporary(const wchar_t* path, const char* contents, std::size_t size);
// Renames `path` + ".tmp" to `path`, replacing a file there; false when it could not.
bool RenameTemporary(const wchar_t* path);
// Removes `path` + ".tmp" (`temporary`) or `path` itself, if it is there.
void RemoveReportFile(const wchar_t* path, bool temporary);

// Writes the `size` bytes at `contents` to `path` (replacing a file there);
// false, leaving any earlier file at `path` as it was, when it could not be written.
bool WriteFileReplacing(const wchar_t* path, const char* contents, std::size_t size);

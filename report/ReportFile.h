// A report file replaced in one step: written under a temporary name in the same
// folder and renamed into place, so that a reader (or a crash) never meets half
// a report.
#pragma once

#include <cstddef>

// Writes the `size` bytes at `contents` to `path` (replacing a file there);
// false, leaving any earlier file at `path` as it was, when it could not be written.
bool WriteFileReplacing(const wchar_t* path, const char* contents, std::size_t size);

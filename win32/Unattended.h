// Telling what went wrong when nobody is there to answer a box: a burn-in started
// by a script or a build server.
#pragma once

#include <cstddef>

// Writes `text` and a line end to the standard error of whoever started Zantor:
// the handle it inherited, or else the console of the process that started it
// (AttachConsole), if either is there. To a console as UTF-16; to a file or a
// pipe as UTF-8, a text longer than kStandardErrorBytes cut after its last whole
// character that fits. Never waits for a person.
void WriteStandardError(const wchar_t* text);

// The most bytes of a text that go to a file or a pipe, the line end not counted.
constexpr std::size_t kStandardErrorBytes = 8190;

// How many of the `units` UTF-16 units at `text` make at most `bytes` bytes of
// UTF-8, no character cut (a surrogate pair is one character of four bytes; an
// unpaired surrogate becomes U+FFFD, three).
std::size_t Utf16UnitsFitting(const wchar_t* text, std::size_t units, std::size_t bytes);

// The report's texts are UTF-8: Zantor's own wide texts and the library's narrow
// ones (decoded from the ANSI code page as the console shows them) converted,
// and anything else made valid before it is written.
#pragma once

#include <cstddef>
#include <string>

// Appends `length` wide characters (UTF-16 on Windows, UTF-32 natively) as UTF-8;
// an unpaired surrogate or a value outside Unicode becomes U+FFFD.
void AppendUtf8(std::string& out, const wchar_t* text, std::size_t length);
std::string Utf8FromWide(const wchar_t* text);

// A text the library wrote into a buffer of `size` bytes (up to its NUL), decoded
// from the ANSI code page exactly as the console's messages decode it.
std::string LibraryTextUtf8(const char* buffer, std::size_t size);

// Appends `text` with every byte sequence that is not UTF-8 (stray continuation
// bytes, overlong forms, surrogates, values past U+10FFFF, cut sequences)
// replaced by U+FFFD, so that whatever goes into a report is valid UTF-8.
void AppendValidUtf8(std::string& out, const std::string& text);

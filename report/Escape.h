// Text meets a format here and nowhere else: one function per format. Both
// first make the text valid UTF-8 (a byte that is not becomes U+FFFD), so no
// report ever holds invalid UTF-8, whatever a library wrote.
#pragma once

#include <cstddef>
#include <cstring>

#include "BoundedText.h"
#include "Growing.h"

// Appends the `size` bytes at `text` for HTML element content or a quoted
// attribute value: & < > " ' as character references; C0 control characters
// other than tab and line feed, and DEL, as U+FFFD (they have no visible form).
void AppendHtmlEscaped(GrowingText& out, const char* text, std::size_t size);

// Appends the `size` bytes at `text` as the inside of a JSON string: " and the
// backslash escaped, every control character (U+0000-U+001F) as \u00XX.
void AppendJsonEscaped(GrowingText& out, const char* text, std::size_t size);

inline void AppendHtmlEscaped(GrowingText& out, const char* text) { AppendHtmlEscaped(out, text, std::strlen(text)); }
inline void AppendJsonEscaped(GrowingText& out, const char* text) { AppendJsonEscaped(out, text, std::strlen(text)); }
template <std::size_t Capacity>
void AppendHtmlEscaped(GrowingText& out, const NarrowText<Capacity>& text)
{
    AppendHtmlEscaped(out, text.c_str(), text.size());
}
template <std::size_t Capacity>
void AppendJsonEscaped(GrowingText& out, const NarrowText<Capacity>& text)
{
    AppendJsonEscaped(out, text.c_str(), text.size());
}

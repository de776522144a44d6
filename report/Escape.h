// Text meets a format here and nowhere else: one function per format. Both
// first make the text valid UTF-8 (a byte that is not becomes U+FFFD), so no
// report ever holds invalid UTF-8, whatever a library wrote.
#pragma once

#include <string>

// Appends `text` for HTML element content or a quoted attribute value:
// & < > " ' as character references; C0 control characters other than tab and
// line feed, and DEL, as U+FFFD (they have no visible form).
void AppendHtmlEscaped(std::string& out, const std::string& text);

// Appends `text` as the inside of a JSON string: " and \ escaped, every control
// character (U+0000-U+001F) as \u00XX.
void AppendJsonEscaped(std::string& out, const std::string& text);

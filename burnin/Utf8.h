// The report's texts are UTF-8: Zantor's own wide texts and the library's narrow
// ones (decoded from the ANSI code page as the console shows them) converted,
// and anything else made valid before it is written. Each appends to any text
// with Append(const char*, std::size_t): a fixed one or a growing one.
#pragma once

#include <cstddef>

#include "LibraryText.h"

// `c` as UTF-8 into `bytes`; an unpaired surrogate or a value outside Unicode
// becomes U+FFFD. Returns the number of bytes (1-4).
std::size_t EncodeUtf8(char32_t c, char (&bytes)[4]);

// The length of the character at `text` (at most `size` bytes there) when it is
// one well-formed UTF-8 sequence; 0 when it is not, with `skip` set to the bytes
// its bad prefix takes (stray continuation bytes, overlong forms, surrogates,
// values past U+10FFFF and cut sequences each count once).
std::size_t ValidUtf8Length(const unsigned char* text, std::size_t size, std::size_t& skip);

// Appends `length` wide characters (UTF-16 on Windows, UTF-32 natively) as UTF-8.
template <class Text>
void AppendUtf8(Text& out, const wchar_t* text, std::size_t length)
{
    for (std::size_t i = 0; i < length; ++i) {
        auto c = static_cast<char32_t>(text[i]);
        if constexpr (sizeof(wchar_t) == 2) {
            c &= 0xFFFF;
            if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length) {
                const auto low = static_cast<char32_t>(text[i + 1]) & 0xFFFF;
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                    ++i;
                }
            }
        }
        char bytes[4];
        out.Append(bytes, EncodeUtf8(c, bytes));
    }
}
template <class Text>
void AppendUtf8(Text& out, const wchar_t* text)
{
    std::size_t length = 0;
    while (text[length] != 0)
        ++length;
    AppendUtf8(out, text, length);
}

// A text the library wrote into a buffer of `size` bytes (up to its NUL), decoded
// from the ANSI code page exactly as the console's messages decode it.
template <class Text>
void AppendLibraryTextUtf8(Text& out, const char* buffer, std::size_t size)
{
    Message decoded;
    AppendLibraryText(decoded, buffer, size);
    AppendUtf8(out, decoded.c_str(), decoded.size());
}

// Calls `take(bytes, count)` for each character of the `size` bytes at `text`,
// with every byte sequence that is not UTF-8 given as U+FFFD (one per maximal
// bad prefix, as decoders usually do), so that whatever goes on is valid UTF-8.
template <class Take>
void ForEachValidUtf8(const char* text, std::size_t size, Take take)
{
    static constexpr char kReplacement[] = "\xEF\xBF\xBD";
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    std::size_t i = 0;
    while (i < size) {
        std::size_t skip = 0;
        const std::size_t length = ValidUtf8Length(bytes + i, size - i, skip);
        if (length == 0) {
            take(kReplacement, 3);
            i += skip;
        } else {
            take(text + i, length);
            i += length;
        }
    }
}

// Appends `size` bytes at `text` made valid UTF-8 (above).
template <class Text>
void AppendValidUtf8(Text& out, const char* text, std::size_t size)
{
    ForEachValidUtf8(text, size, [&out](const char* bytes, std::size_t count) { out.Append(bytes, count); });
}

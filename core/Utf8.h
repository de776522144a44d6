// UTF-8 for the texts Zantor writes to files (the call log, the burn-in's
// report): wide texts converted, and bytes of unknown form made valid. The
// appenders take any text with Append(const char*, std::size_t): a fixed one or
// a growing one.
#pragma once

#include <cstddef>

// `c` as UTF-8 into `bytes`; an unpaired surrogate or a value outside Unicode
// becomes U+FFFD. Returns the number of bytes (1-4).
std::size_t EncodeUtf8(char32_t c, char (&bytes)[4]);

// The length of the character at `text` (at most `size` bytes there) when it is
// one well-formed UTF-8 sequence; 0 when it is not, with `skip` set to the bytes
// its bad prefix takes (stray continuation bytes, overlong forms, surrogates,
// values past U+10FFFF and cut sequences each count once).
std::size_t ValidUtf8Length(const unsigned char* text, std::size_t size, std::size_t& skip);

// Calls `take(c)` for each character of the `length` wide characters at `text`
// (UTF-16 on Windows, whose pairs are joined, UTF-32 natively). An unpaired
// surrogate is given as it is; EncodeUtf8 makes it U+FFFD.
template <class Take>
void ForEachCodePoint(const wchar_t* text, std::size_t length, Take take)
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
        take(c);
    }
}

// Appends `length` wide characters as UTF-8.
template <class Text>
void AppendUtf8(Text& out, const wchar_t* text, std::size_t length)
{
    ForEachCodePoint(text, length, [&out](char32_t c) {
        char bytes[4];
        out.Append(bytes, EncodeUtf8(c, bytes));
    });
}
template <class Text>
void AppendUtf8(Text& out, const wchar_t* text)
{
    std::size_t length = 0;
    while (text[length] != 0)
        ++length;
    AppendUtf8(out, text, length);
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

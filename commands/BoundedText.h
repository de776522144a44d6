// Texts built in place, in a fixed buffer whose capacity the caller derives from
// the sizes of what goes in: the messages and box texts of the console. Nothing is
// allocated; what would not fit is left out and the text says so.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "Decimal.h"
#include "TextFormat.h"

namespace bounded {

// The appends' work, one copy per character type whatever the capacity (the
// console has dozens of capacities): `count` characters at `text` put after the
// `length` ones in `buffer` of `capacity`; what does not fit is left out, cut at a
// character boundary (a UTF-16 pair is never split). Returns false when cut.
template <class Char>
__attribute__((noinline)) bool Append(Char* buffer, std::size_t capacity, std::size_t& length, const Char* text,
                                      std::size_t count)
{
    const std::size_t room = capacity - 1 - length;
    std::size_t take = count <= room ? count : room;
    if constexpr (sizeof(Char) == 2) {
        if (take < count && take > 0 && text[take - 1] >= 0xD800 && text[take - 1] <= 0xDBFF)
            --take;
    }
    for (std::size_t i = 0; i < take; ++i)
        buffer[length + i] = text[i];
    length += take;
    buffer[length] = 0;
    return take == count;
}

template <class Char>
__attribute__((noinline)) std::size_t Length(const Char* text)
{
    std::size_t count = 0;
    while (text[count] != 0)
        ++count;
    return count;
}

// ASCII characters, widened as they go in.
template <class Char>
__attribute__((noinline)) bool AppendNarrow(Char* buffer, std::size_t capacity, std::size_t& length, const char* text,
                                            std::size_t count)
{
    bool whole = true;
    for (std::size_t i = 0; i < count; ++i) {
        const Char c = static_cast<Char>(text[i]);
        whole = Append(buffer, capacity, length, &c, 1) && whole;
    }
    return whole;
}

}  // namespace bounded

template <class Char, std::size_t Capacity>
class BoundedText {
    static_assert(Capacity >= 2, "room for a character and the NUL");

public:
    BoundedText() { m_text[0] = 0; }

    // The text, always NUL-terminated.
    const Char* c_str() const { return m_text; }
    std::size_t size() const { return m_length; }
    // True once something did not fit and was left out.
    bool cut() const { return m_cut; }

    // Appends `count` characters. What does not fit is left out, cut at a
    // character boundary: a UTF-16 pair is never split.
    BoundedText& Append(const Char* text, std::size_t count)
    {
        if (!bounded::Append(m_text, Capacity, m_length, text, count))
            m_cut = true;
        return *this;
    }
    // Appends a NUL-terminated text.
    BoundedText& Append(const Char* text) { return Append(text, bounded::Length(text)); }
    // Appends at most `most` characters of a NUL-terminated text, and "…" when it
    // is longer, so that what follows keeps its room. Only the first `most` + 1
    // characters are read.
    BoundedText& AppendAtMost(const Char* text, std::size_t most)
    {
        static_assert(sizeof(Char) == sizeof(wchar_t), "the ellipsis is a wide character");
        std::size_t length = 0;
        while (length < most && text[length])
            ++length;
        Append(text, length);
        return text[length] ? Append(Char(0x2026)) : *this;
    }
    // `value` in signed decimal: a minus sign when negative, no leading zeros.
    BoundedText& AppendDecimal(std::int64_t value)
    {
        char digits[decimal::kIntegerRoom];
        return AppendNarrow(digits, decimal::WriteSigned(digits, value));
    }
    // "0x" and `value` in upper-case hexadecimal, `digits` wide (0: no leading zeros).
    BoundedText& AppendHex(std::uint64_t value, int digits)
    {
        char text[2 + decimal::kIntegerRoom] = {'0', 'x'};
        return AppendNarrow(text, 2 + decimal::WriteHex(text + 2, value, digits));
    }
    // ASCII characters, widened.
    BoundedText& AppendNarrow(const char* text, std::size_t count)
    {
        if constexpr (sizeof(Char) == 1) {
            return Append(text, count);
        } else {
            if (!bounded::AppendNarrow(m_text, Capacity, m_length, text, count))
                m_cut = true;
            return *this;
        }
    }
    BoundedText& Append(Char character) { return Append(&character, 1); }
    // printf-style (TextFormat.h), for narrow texts; what does not fit is cut.
    ZANTOR_PRINTF(2, 3) BoundedText& AppendFormat(const char* format, ...)
    {
        va_list args;
        va_start(args, format);
        AppendFormatV(format, args);
        va_end(args);
        return *this;
    }
    BoundedText& AppendFormatV(const char* format, va_list args)
    {
        FormatText(&PutText, this, format, args);
        return *this;
    }

    // For decoders that write in place: the end of the text and the room there
    // (the NUL's place excluded); Grow() then takes `count` written characters in.
    Char* End() { return m_text + m_length; }
    std::size_t Room() const { return Capacity - 1 - m_length; }
    void Grow(std::size_t count)
    {
        m_length += count <= Room() ? count : Room();
        m_text[m_length] = 0;
    }
    // Records that something was left out.
    void MarkCut() { m_cut = true; }
    // Empties the text, for a buffer kept and used again.
    void Clear()
    {
        m_length = 0;
        m_cut = false;
        m_text[0] = 0;
    }

private:
    static void PutText(void* text, const char* bytes, std::size_t count)
    {
        static_cast<BoundedText*>(text)->Append(bytes, count);
    }

    Char m_text[Capacity];
    std::size_t m_length = 0;
    bool m_cut = false;
};

template <std::size_t Capacity>
using WideText = BoundedText<wchar_t, Capacity>;
template <std::size_t Capacity>
using NarrowText = BoundedText<char, Capacity>;

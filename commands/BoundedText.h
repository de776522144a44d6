// Texts built in place, in a fixed buffer whose capacity the caller derives from
// the sizes of what goes in: the messages and box texts of the console. Nothing is
// allocated; what would not fit is left out and the text says so.
#pragma once

#include <cstddef>
#include <cstdint>

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
        std::size_t take = count <= Room() ? count : Room();
        if (take < count) {
            m_cut = true;
            if (take > 0 && IsLeadSurrogate(text[take - 1]))
                --take;
        }
        for (std::size_t i = 0; i < take; ++i)
            m_text[m_length + i] = text[i];
        Grow(take);
        return *this;
    }
    // Appends a NUL-terminated text.
    BoundedText& Append(const Char* text)
    {
        std::size_t count = 0;
        while (text[count] != 0)
            ++count;
        return Append(text, count);
    }
    // `value` in signed decimal: a minus sign when negative, no leading zeros.
    BoundedText& AppendDecimal(std::int64_t value)
    {
        // Built from the magnitude as unsigned, so that the smallest value has one.
        std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
        Char digits[20];
        std::size_t first = sizeof digits / sizeof digits[0];
        do {
            digits[--first] = static_cast<Char>('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude != 0);
        if (value < 0)
            Append(static_cast<Char>('-'));
        return Append(digits + first, sizeof digits / sizeof digits[0] - first);
    }
    // "0x" and `value` in upper-case hexadecimal, `digits` wide (0: no leading zeros).
    BoundedText& AppendHex(std::uint64_t value, int digits)
    {
        int width = digits;
        if (width == 0) {
            width = 1;
            while (width < 16 && (value >> (4 * width)) != 0)
                ++width;
        }
        Char text[18] = {'0', 'x'};
        for (int i = 0; i < width; ++i)
            text[2 + i] = static_cast<Char>("0123456789ABCDEF"[(value >> (4 * (width - 1 - i))) & 0xF]);
        return Append(text, 2 + static_cast<std::size_t>(width));
    }
    BoundedText& Append(Char character) { return Append(&character, 1); }

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
    static bool IsLeadSurrogate(Char c)
    {
        if constexpr (sizeof(Char) == 2)
            return c >= 0xD800 && c <= 0xDBFF;
        else
            return false;
    }

    Char m_text[Capacity];
    std::size_t m_length = 0;
    bool m_cut = false;
};

template <std::size_t Capacity>
using WideText = BoundedText<wchar_t, Capacity>;
template <std::size_t Capacity>
using NarrowText = BoundedText<char, Capacity>;

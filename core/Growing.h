// Storage that grows as it goes, for what has no size known beforehand (a
// burn-in's figures, a report's text): blocks from the C runtime's heap, never
// an exception. When the heap cannot give more, the contents stay as they were,
// nothing more is taken in, and failed() says so, for the owner to report.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>

// gnu_printf: on MinGW, plain printf means Microsoft's dialect, while the C++
// runtime formats with the C99 one (%zu, %lld), which is what we use.
#if defined(__GNUC__)
#define ZANTOR_PRINTF(f, a) __attribute__((format(gnu_printf, f, a)))
#else
#define ZANTOR_PRINTF(f, a)
#endif
// The report calls the text's appends at hundreds of places: one copy of each
// keeps the program small.
#if defined(__GNUC__)
#define ZANTOR_NOINLINE __attribute__((noinline))
#else
#define ZANTOR_NOINLINE
#endif

// Hands out, grows and takes back blocks: std::realloc semantics (null block:
// a new one; null result: the block is left as it was).
using Reallocator = void* (*)(void* block, std::size_t size);
inline void* RuntimeReallocate(void* block, std::size_t size) { return std::realloc(block, size); }

namespace growing {

// The capacity to grow to for at least `needed` items of `itemSize` bytes from
// `capacity`: doubled, at least 16; 0 when the bytes would not fit a size_t's half
// (no heap has them, and the product must not wrap).
inline std::size_t NextCapacity(std::size_t capacity, std::size_t needed, std::size_t itemSize)
{
    const std::size_t most = (SIZE_MAX / 2) / itemSize;
    if (needed > most)
        return 0;
    std::size_t next = capacity < 8 ? 16 : capacity * 2;
    if (next > most)
        next = most;
    return next < needed ? needed : next;
}

}  // namespace growing

// A growable array of trivially copyable items.
template <class T, Reallocator Reallocate = &RuntimeReallocate>
class GrowingArray {
    static_assert(std::is_trivially_copyable_v<T>, "items are moved as bytes");

public:
    GrowingArray() = default;
    ~GrowingArray() { std::free(m_items); }
    GrowingArray(const GrowingArray&) = delete;
    GrowingArray& operator=(const GrowingArray&) = delete;
    GrowingArray(GrowingArray&& other) noexcept
        : m_items(other.m_items), m_size(other.m_size), m_capacity(other.m_capacity), m_failed(other.m_failed)
    {
        other.m_items = nullptr;
        other.m_size = other.m_capacity = 0;
    }

    // Room for `count` items in all; false (and failed()) when the heap has none.
    bool Reserve(std::size_t count)
    {
        if (count <= m_capacity)
            return true;
        if (m_failed || count > (SIZE_MAX / 2) / sizeof(T))
            return Fail();
        void* grown = Reallocate(m_items, count * sizeof(T));
        if (grown == nullptr)
            return Fail();
        m_items = static_cast<T*>(grown);
        m_capacity = count;
        return true;
    }
    // Appends `item`; false, leaving the array as it was, when it cannot grow.
    bool Append(const T& item) { return Append(&item, 1); }
    // Room for `extra` more items beyond the size, grown as Append grows it.
    bool ReserveMore(std::size_t extra)
    {
        if (extra > SIZE_MAX / 2 - m_size)
            return Fail();
        const std::size_t needed = m_size + extra;
        return needed <= m_capacity || Reserve(growing::NextCapacity(m_capacity, needed, sizeof(T)));
    }
    // Appends `count` items; false, leaving the array as it was, when it cannot grow.
    bool Append(const T* items, std::size_t count)
    {
        if (count == 0)
            return true;
        if (!ReserveMore(count))
            return false;
        std::memcpy(static_cast<void*>(m_items + m_size), items, count * sizeof(T));
        m_size += count;
        return true;
    }
    // Grows to `count` items, the new ones `fill`; never shrinks.
    bool GrowTo(std::size_t count, const T& fill)
    {
        if (count <= m_size)
            return true;
        if (count > m_capacity && !Reserve(growing::NextCapacity(m_capacity, count, sizeof(T))))
            return false;
        while (m_size < count)
            std::memcpy(static_cast<void*>(m_items + m_size++), &fill, sizeof(T));
        return true;
    }
    void Clear() { m_size = 0; }
    // Takes back the last `count` items (at most the size).
    void Shrink(std::size_t count) { m_size -= count <= m_size ? count : m_size; }

    // True once a growth failed: something was left out.
    bool failed() const { return m_failed; }
    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    T* data() { return m_items; }
    const T* data() const { return m_items; }
    T* begin() { return m_items; }
    T* end() { return m_items + m_size; }
    const T* begin() const { return m_items; }
    const T* end() const { return m_items + m_size; }
    T& operator[](std::size_t i) { return m_items[i]; }
    const T& operator[](std::size_t i) const { return m_items[i]; }
    T& back() { return m_items[m_size - 1]; }
    const T& back() const { return m_items[m_size - 1]; }

private:
    bool Fail()
    {
        m_failed = true;
        return false;
    }

    T* m_items = nullptr;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
    bool m_failed = false;
};

// A growable byte text, always NUL-terminated (c_str() is "" before anything went
// in): a growing array of its bytes, the NUL kept past their end.
template <Reallocator Reallocate = &RuntimeReallocate>
class BasicGrowingText {
public:
    BasicGrowingText() = default;
    explicit BasicGrowingText(const char* text) { Append(text); }
    BasicGrowingText(BasicGrowingText&&) noexcept = default;

    const char* c_str() const { return m_bytes.empty() ? "" : m_bytes.data(); }
    const char* data() const { return c_str(); }
    std::size_t size() const { return m_bytes.size(); }
    bool empty() const { return m_bytes.empty(); }
    // True once something could not be appended (the heap had no room) and was left out.
    bool failed() const { return m_failed || m_bytes.failed(); }
    // Records that the text is not whole, for a part built elsewhere that failed.
    void MarkFailed() { m_failed = true; }

    // Room for `extra` more bytes and the NUL; false (and failed()) when the heap has none.
    ZANTOR_NOINLINE bool Reserve(std::size_t extra)
    {
        if (failed())
            return false;
        if (extra >= SIZE_MAX / 2) {
            m_failed = true;
            return false;
        }
        return m_bytes.ReserveMore(extra + 1);
    }
    ZANTOR_NOINLINE BasicGrowingText& Append(const char* text, std::size_t count)
    {
        if (count != 0 && Reserve(count)) {
            m_bytes.Append(text, count);
            Terminate();
        }
        return *this;
    }
    ZANTOR_NOINLINE BasicGrowingText& Append(const char* text) { return Append(text, std::strlen(text)); }
    BasicGrowingText& Append(char c) { return Append(&c, 1); }
    // Appends `other`, and its failure with it.
    template <Reallocator Other>
    BasicGrowingText& Append(const BasicGrowingText<Other>& other)
    {
        if (other.failed())
            m_failed = true;
        return Append(other.data(), other.size());
    }
    // `value` in signed decimal.
    BasicGrowingText& AppendDecimal(std::int64_t value)
    {
        char digits[24];
        const int length = std::snprintf(digits, sizeof digits, "%lld", static_cast<long long>(value));
        return Append(digits, static_cast<std::size_t>(length));
    }
    // printf-style, C99 conversions (%zu, %lld, %.3f).
    ZANTOR_PRINTF(2, 3) ZANTOR_NOINLINE BasicGrowingText& AppendFormat(const char* format, ...)
    {
        va_list args;
        va_start(args, format);
        AppendFormatV(format, args);
        va_end(args);
        return *this;
    }
    ZANTOR_NOINLINE BasicGrowingText& AppendFormatV(const char* format, va_list args)
    {
        // Most pieces (a number, an SVG element) are short: formatted once into a
        // small buffer; only a longer one is formatted again in place.
        char small[256];
        va_list measure;
        va_copy(measure, args);
        const int length = std::vsnprintf(small, sizeof small, format, measure);
        va_end(measure);
        const auto count = static_cast<std::size_t>(length);
        if (length > 0 && count < sizeof small)
            return Append(small, count);
        if (length <= 0 || !Reserve(count))
            return *this;
        const std::size_t at = m_bytes.size();
        m_bytes.GrowTo(at + count, 0);  // within the room reserved: cannot fail
        std::vsnprintf(m_bytes.data() + at, count + 1, format, args);  // its NUL lands past the bytes
        return *this;
    }
    // Drops the last byte (the text must not be empty).
    void DropLast()
    {
        m_bytes.Shrink(1);
        Terminate();
    }
    void Clear()
    {
        m_bytes.Clear();
        if (m_bytes.data() != nullptr)
            Terminate();
    }

private:
    // The NUL past the bytes, in the room every append reserves for it.
    void Terminate() { m_bytes.data()[m_bytes.size()] = 0; }

    GrowingArray<char, Reallocate> m_bytes;
    bool m_failed = false;
};

using GrowingText = BasicGrowingText<>;

// Storage that grows as it goes, for what has no size known beforehand (a
// burn-in's figures, a report's text): blocks from the C runtime's heap, never
// an exception. When the heap cannot give more, the contents stay as they were,
// nothing more is taken in, and failed() says so, for the owner to report.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "Decimal.h"
#include "TextFormat.h"

// The report calls the text's appends at hundreds of places: one copy of each
// keeps the program small.
#if defined(__GNUC__)
#define ZANTOR_NOINLINE __attribute__((noinline))
#else
#define ZANTOR_NOINLINE
#endif

// Hands out and grows blocks: std::realloc semantics (null block: a new one;
// null result: the block is left as it was).
using Reallocator = void* (*)(void* block, std::size_t size);

namespace growing {

// The bytes the runtime's growing storage holds now, in every thread: Zantor's
// own memory that grows with a run (the recorder's answers, a burn-in's
// figures), which a burn-in's leak check takes off what it measures. Constant
// initialised: counted from the first block on.
inline std::atomic<std::size_t>& HeldBytes()
{
    static std::atomic<std::size_t> held{0};
    return held;
}

// Each block from the runtime starts with its size, so that the count can follow
// it; the items start after it, at the alignment the heap gives. Every file must
// put them at the same place: a block grown in one file is given back in another.
// So the size is a number, not alignof(std::max_align_t), which 32-bit MinGW gives
// as 16 or 8 depending on whether the compiler's <stddef.h> or the C runtime's
// came first into the file (only the one counts __float128). 16 is both, and
// every heap's alignment here (8 or 16) divides it.
constexpr std::size_t kSizeHeader = 16;
static_assert(kSizeHeader % alignof(std::max_align_t) == 0, "items keep the heap's alignment");

inline std::size_t HeldSize(const char* start)
{
    std::size_t size;
    std::memcpy(&size, start, sizeof size);
    return size;
}

}  // namespace growing

// The C runtime's heap, every block counted in growing::HeldBytes().
ZANTOR_NOINLINE inline void* RuntimeReallocate(void* block, std::size_t size)
{
    char* start = block != nullptr ? static_cast<char*>(block) - growing::kSizeHeader : nullptr;
    const std::size_t before = start != nullptr ? growing::HeldSize(start) : 0;
    if (size > SIZE_MAX / 2)
        return nullptr;
    auto* grown = static_cast<char*>(std::realloc(start, size + growing::kSizeHeader));
    if (grown == nullptr)
        return nullptr;
    std::memcpy(grown, &size, sizeof size);
    growing::HeldBytes().fetch_add(size - before, std::memory_order_relaxed);  // wraps down when it shrinks
    return grown + growing::kSizeHeader;
}

// Gives back a block RuntimeReallocate handed out (null: nothing).
inline void RuntimeRelease(void* block)
{
    if (block == nullptr)
        return;
    char* start = static_cast<char*>(block) - growing::kSizeHeader;
    growing::HeldBytes().fetch_sub(growing::HeldSize(start), std::memory_order_relaxed);
    std::free(start);
}

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

// The storage under every growing array, whatever its items: one copy of the
// growth for all of them, out of the callers' way, as it is seldom taken.
struct Block {
    Block() = default;
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;
    Block(Block&& other) noexcept
        : items(other.items), size(other.size), capacity(other.capacity), failed(other.failed)
    {
        other.items = nullptr;
        other.size = other.capacity = 0;
    }
    // The owner gives the block back (Release) with the reallocator's counterpart.
    ~Block() = default;

    // Room for `needed` items of `itemSize` bytes in all, more than the capacity:
    // the capacity grown to NextCapacity's when `doubling`, else to `needed`;
    // false (and failed) when the heap has none or the bytes would not fit.
    ZANTOR_NOINLINE bool Grow(std::size_t needed, std::size_t itemSize, Reallocator reallocate, bool doubling)
    {
        const std::size_t count = doubling ? NextCapacity(capacity, needed, itemSize) : needed;
        if (failed || count == 0 || count > (SIZE_MAX / 2) / itemSize)
            return Fail();
        void* grown = reallocate(items, count * itemSize);
        if (grown == nullptr)
            return Fail();
        items = grown;
        capacity = count;
        return true;
    }
    // Room for `extra` more items beyond the size, more than there is room for.
    ZANTOR_NOINLINE bool GrowMore(std::size_t extra, std::size_t itemSize, Reallocator reallocate)
    {
        if (extra > SIZE_MAX / 2 - size)
            return Fail();
        return Grow(size + extra, itemSize, reallocate, true);
    }
    bool Fail()
    {
        failed = true;
        return false;
    }
    void Release(Reallocator reallocate)
    {
        if (reallocate == &RuntimeReallocate)
            RuntimeRelease(items);
        else
            std::free(items);
        items = nullptr;
    }

    void* items = nullptr;
    std::size_t size = 0;
    std::size_t capacity = 0;
    bool failed = false;
};

}  // namespace growing

// A growable array of trivially copyable items.
template <class T, Reallocator Reallocate = &RuntimeReallocate>
class GrowingArray {
    static_assert(std::is_trivially_copyable_v<T>, "items are moved as bytes");

public:
    GrowingArray() = default;
    GrowingArray(const GrowingArray&) = delete;
    GrowingArray& operator=(const GrowingArray&) = delete;
    GrowingArray(GrowingArray&& other) noexcept = default;
    ~GrowingArray() { m_block.Release(Reallocate); }

    // Room for `count` items in all; false (and failed()) when the heap has none.
    bool Reserve(std::size_t count)
    {
        return count <= m_block.capacity || m_block.Grow(count, sizeof(T), Reallocate, false);
    }
    // Appends `item`; false, leaving the array as it was, when it cannot grow.
    bool Append(const T& item) { return Append(&item, 1); }
    // Room for `extra` more items beyond the size, grown as Append grows it.
    bool ReserveMore(std::size_t extra)
    {
        return extra <= m_block.capacity - m_block.size || m_block.GrowMore(extra, sizeof(T), Reallocate);
    }
    // Appends `count` items; false, leaving the array as it was, when it cannot grow.
    bool Append(const T* items, std::size_t count)
    {
        if (count == 0)
            return true;
        if (!ReserveMore(count))
            return false;
        std::memcpy(static_cast<void*>(data() + m_block.size), items, count * sizeof(T));
        m_block.size += count;
        return true;
    }
    // Grows to `count` items, the new ones `fill`; never shrinks.
    bool GrowTo(std::size_t count, const T& fill)
    {
        if (count <= m_block.size)
            return true;
        if (count > m_block.capacity && !m_block.Grow(count, sizeof(T), Reallocate, true))
            return false;
        while (m_block.size < count)
            std::memcpy(static_cast<void*>(data() + m_block.size++), &fill, sizeof(T));
        return true;
    }
    void Clear() { m_block.size = 0; }
    // Takes back the last `count` items (at most the size).
    void Shrink(std::size_t count) { m_block.size -= count <= m_block.size ? count : m_block.size; }

    // True once a growth failed: something was left out.
    bool failed() const { return m_block.failed; }
    std::size_t size() const { return m_block.size; }
    bool empty() const { return m_block.size == 0; }
    T* data() { return static_cast<T*>(m_block.items); }
    const T* data() const { return static_cast<const T*>(m_block.items); }
    T* begin() { return data(); }
    T* end() { return data() + m_block.size; }
    const T* begin() const { return data(); }
    const T* end() const { return data() + m_block.size; }
    T& operator[](std::size_t i) { return data()[i]; }
    const T& operator[](std::size_t i) const { return data()[i]; }
    T& back() { return data()[m_block.size - 1]; }
    const T& back() const { return data()[m_block.size - 1]; }

private:
    growing::Block m_block;
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
        char digits[decimal::kIntegerRoom];
        return Append(digits, decimal::WriteSigned(digits, value));
    }
    // printf-style, the conversions FormatText knows (%zu, %lld, %.3f, ...).
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
        FormatText(&PutText, this, format, args);
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
    static void PutText(void* text, const char* bytes, std::size_t count)
    {
        static_cast<BasicGrowingText*>(text)->Append(bytes, count);
    }
    // The NUL past the bytes, in the room every append reserves for it.
    void Terminate() { m_bytes.data()[m_bytes.size()] = 0; }

    GrowingArray<char, Reallocate> m_bytes;
    bool m_failed = false;
};

using GrowingText = BasicGrowingText<>;

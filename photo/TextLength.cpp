#include "TextLength.h"

#include <cstdint>
#include <cstring>

namespace {

using Word = std::uintptr_t;
constexpr Word kOnes = ~Word{0} / 0xFF;  // 0x0101...01
constexpr Word kHighs = kOnes << 7;      // 0x8080...80

// Non-zero exactly when some byte of `word` is zero.
constexpr Word ZeroByteIn(Word word)
{
    return (word - kOnes) & ~word & kHighs;
}

}  // namespace

std::size_t BoundedLength(const char* text, std::size_t capacity)
{
    // Word-at-a-time rather than memchr: some C runtimes (Wine's among them)
    // scan byte by byte, and the photo text is 100 KB. Words are read only
    // where they lie wholly inside the buffer.
    std::size_t at = 0;
    while (at < capacity && reinterpret_cast<std::uintptr_t>(text + at) % sizeof(Word) != 0) {
        if (text[at] == '\0') return at;
        ++at;
    }
    for (; capacity - at >= 2 * sizeof(Word); at += 2 * sizeof(Word)) {
        Word first;
        Word second;
        std::memcpy(&first, text + at, sizeof first);
        std::memcpy(&second, text + at + sizeof(Word), sizeof second);
        if ((ZeroByteIn(first) | ZeroByteIn(second)) != 0) break;
    }
    for (; at < capacity; ++at) {
        if (text[at] == '\0') return at;
    }
    return capacity;
}

// The buffers the commands hand the reader library and the photo decoder: where
// they come from (an allocator, so that tests can make the heap run out and the
// program can use guard-paged blocks), who owns them, and how a command describes
// one when it reports a call that wrote past it.
#pragma once

#include <cstddef>
#include <cstdlib>

// A pair of functions that hand out and take back blocks. `allocate` returns null
// when the block cannot be had. `guardBytes` is how many inaccessible bytes follow
// every block it hands out (0 when nothing guards the end), so that a write there
// can be told apart as an overrun of the block.
struct Allocator {
    void* (*allocate)(std::size_t size);
    void (*release)(void* block);
    std::size_t guardBytes;
    // Where the console's own working blocks come from, those the library never
    // sees (the decoded photo): null for this allocator itself.
    const Allocator* ownUse = nullptr;
    const Allocator& OwnUse() const { return ownUse ? *ownUse : *this; }
};

inline void* HeapAllocate(std::size_t size) { return std::malloc(size); }
inline void HeapRelease(void* block) { std::free(block); }

// The C runtime's heap (malloc and free): nothing guards a block's end.
inline constexpr Allocator kRuntimeHeap{&HeapAllocate, &HeapRelease, 0};

// Owns one block from `allocator`, released when the buffer goes out of scope.
// Check with `if (buffer)`: the block may be null.
class OwnedBlock {
public:
    OwnedBlock(std::size_t size, const Allocator& allocator)
        : m_allocator(allocator), m_block(allocator.allocate(size)) {}
    ~OwnedBlock()
    {
        if (m_block != nullptr) m_allocator.release(m_block);
    }
    OwnedBlock(const OwnedBlock&) = delete;
    OwnedBlock& operator=(const OwnedBlock&) = delete;

    explicit operator bool() const { return m_block != nullptr; }
    char* chars() const { return static_cast<char*>(m_block); }
    unsigned char* bytes() const { return static_cast<unsigned char*>(m_block); }
    const Allocator& allocator() const { return m_allocator; }

private:
    Allocator m_allocator;
    void* m_block;
};

// A buffer the console handed to the library for one call: `size` bytes at
// `data`, followed by `guardBytes` inaccessible ones.
struct LibraryBuffer {
    const char* data;
    std::size_t size;
    std::size_t guardBytes;
};

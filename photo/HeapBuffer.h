// Heap buffers owned for the length of one command, with a replaceable
// allocator so that tests can make the heap run out.
#pragma once

#include <cstddef>
#include <cstdlib>

#include "Allocator.h"

inline void* HeapAllocate(std::size_t size) { return std::malloc(size); }
inline void HeapRelease(void* block) { std::free(block); }

// The C runtime's heap (malloc and free).
inline constexpr Allocator kRuntimeHeap{&HeapAllocate, &HeapRelease};

// Owns one block from `allocator`, released when the buffer goes out of scope.
// Check with `if (buffer)`: the block may be null.
class HeapBuffer {
public:
    HeapBuffer(std::size_t size, const Allocator& allocator)
        : m_allocator(allocator), m_block(allocator.allocate(size)) {}
    ~HeapBuffer()
    {
        if (m_block != nullptr) m_allocator.release(m_block);
    }
    HeapBuffer(const HeapBuffer&) = delete;
    HeapBuffer& operator=(const HeapBuffer&) = delete;

    explicit operator bool() const { return m_block != nullptr; }
    char* chars() const { return static_cast<char*>(m_block); }
    unsigned char* bytes() const { return static_cast<unsigned char*>(m_block); }

private:
    Allocator m_allocator;
    void* m_block;
};

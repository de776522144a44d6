// Heap buffers owned for the length of one command, with a replaceable
// allocator so that tests can make the heap run out.
#pragma once

#include <cstddef>
#include <cstdlib>

#include "Allocator.h"

inline void* HeapAllocate(std::size_t size) { return std::malloc(size); }
inline void HeapRelease(void* block) { std::free(block); }

// The process heap.
inline constexpr Allocator kProcessHeap{&HeapAllocate, &HeapRelease};

// Owns one block from `allocator`, released when the buffer goes out of scope.
// Check with `if (buffer)`: the block may be null.
class HeapBuffer {
public:
    HeapBuffer(std::size_t size, const Allocator& allocator)
        : allocator_(allocator), block_(allocator.allocate(size)) {}
    ~HeapBuffer()
    {
        if (block_ != nullptr) allocator_.release(block_);
    }
    HeapBuffer(const HeapBuffer&) = delete;
    HeapBuffer& operator=(const HeapBuffer&) = delete;

    explicit operator bool() const { return block_ != nullptr; }
    char* chars() const { return static_cast<char*>(block_); }
    unsigned char* bytes() const { return static_cast<unsigned char*>(block_); }

private:
    Allocator allocator_;
    void* block_;
};

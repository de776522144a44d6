// The allocator the commands take their buffers from: a plain pair of functions,
// so that tests can make the heap run out and the program can hand the library
// guard-paged blocks.
#pragma once

#include <cstddef>

// A pair of functions that hand out and take back heap blocks. `allocate`
// returns null when the block cannot be had.
struct Allocator {
    void* (*allocate)(std::size_t size);
    void (*release)(void* block);
};

// Blocks that end exactly where an inaccessible guard page begins, for the buffers
// the console hands the reader library: one byte written past a block faults at
// once, in the library's own call, instead of overwriting the console's memory.
//
// Single-threaded: meant for the UI thread only (the cache is not locked).
#pragma once

#include <cstddef>
#include <cstdint>

#include "Allocator.h"

// allocate(size) returns `size` bytes ending at a guard page, or null when the
// pages cannot be mapped. The contents are whatever the last user left: the
// caller zero-fills. Blocks are kept in a small cache (a few blocks out at once)
// and mapped once, so a button press maps nothing after the first; a block that
// does not fit the cache is mapped for its own use and unmapped on release.
// release(null) does nothing.
const Allocator& GuardedPages();

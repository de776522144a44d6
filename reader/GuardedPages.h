// Blocks that end exactly where an inaccessible guard page begins, for the buffers
// the console hands the reader library: one byte written past a block faults at
// once, in the library's own call, instead of overwriting the console's memory.
//
// Single-threaded: meant for the UI thread only (the cache is not locked).
#pragma once

#include <cstddef>
#include <cstdint>

#include "Buffers.h"

// allocate(size) returns `size` bytes ending at a guard page of `guardBytes` (one
// system page), or null when the pages cannot be mapped or every one of the
// cache's 16 slots is out. The contents are whatever the last user left: the
// caller zero-fills. Blocks are kept in the cache and mapped once, so a button
// press maps nothing after the first; a free slot mapped for another size is
// unmapped and mapped again for the new one. A released block is inaccessible
// until it is handed out again. release(null) does nothing.
const Allocator& GuardedPages();

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
// system page), or null when the pages cannot be had or every one of the cache's
// 16 slots is out. The contents are whatever the last user left: the caller
// zero-fills. Every block lies in one reservation of 4 MB of address space, with a
// guard page after each; blocks are kept and handed out again, so a button press
// maps nothing after the first. Handing out a block makes it accessible (one
// system call, none when it still is); when the last block out is released, every
// block is made inaccessible again in one call, and stays so until it is handed
// out again. release(null) does nothing. Its OwnUse() is the C runtime's heap.
const Allocator& GuardedPages();

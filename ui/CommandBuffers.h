// Where the commands take the buffers they hand to the reader library, and the
// photo's decode buffer.
#pragma once

#include "HeapBuffer.h"

// The allocator the program's commands use.
const Allocator& CommandBuffers();

// Writing the card photo to zp.jpg.
#pragma once

#include <cstddef>

#include "HeapBuffer.h"
#include "MessageOwner.h"

// Decodes the base64 photo text, the first `length` bytes of `text`, and
// writes the bytes to "zp.jpg" in the current directory, created or truncated;
// a text the decoder refuses leaves the file empty. Failures are shown through
// `owner`: no memory for the decode buffer (no file touched), the file cannot
// be opened (an existing file is left as it was), or the write fails. The
// decode buffer comes from `heap` and is given back, and the file closed, on
// every path.
void SavePhoto(const char* text, std::size_t length, MessageOwner& owner, const Allocator& heap);

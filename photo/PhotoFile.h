// Writing the card photo to zp.jpg.
#pragma once

#include <cstddef>

#include "Buffers.h"

// What became of the photo file.
enum class PhotoResult {
    kSaved,        // written (empty when the decoder refused the text)
    kNoMemory,     // no decode buffer: no file touched
    kCannotOpen,   // the file could not be opened: an existing file is left as it was
    kWriteFailed,  // the write or the close failed
};

// Decodes the base64 photo text, the first `length` bytes of `text`, and
// writes the bytes to "zp.jpg" in the current directory, created or truncated;
// a text the decoder refuses leaves the file empty. The decode buffer comes from
// `heap` and is given back, and the file closed, on every path.
PhotoResult SavePhoto(const char* text, std::size_t length, const Allocator& heap);

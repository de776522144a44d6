// Measuring a NUL-terminated text in a buffer the reader library filled: every
// library text the commands show, and the photo text.
#pragma once

#include <cstddef>

// The number of bytes before the first NUL of `text`, or `capacity` when the
// first `capacity` bytes hold none. Reads whole words, and nothing past
// `capacity`: a library may leave its buffer unterminated.
std::size_t BoundedLength(const char* text, std::size_t capacity);

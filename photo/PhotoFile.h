// Writing the card photo to zp.jpg.
#pragma once

#include <cstddef>

#include "HeapBuffer.h"
#include "MessageOwner.h"
#include "Mervik.h"

// Size of the photo text buffer the reader fills; the text is read no further.
constexpr std::size_t kPhotoTextSize = mervik::kPhotoTextBufferSize;

// Decodes the base64 photo `text` (NUL-terminated, or read up to
// kPhotoTextSize bytes) and writes the bytes to "zp.jpg" in the current
// directory, created or truncated; a text the decoder refuses leaves the file
// empty. Failures are shown through `owner`: no memory for the decode buffer
// (no file touched), the file cannot be opened (an existing file is left as it
// was), or the write fails. The decode buffer comes from `heap` and is
// released, and the file closed, on every path.
void SavePhoto(const char* text, MessageOwner& owner, const Allocator& heap = kProcessHeap);

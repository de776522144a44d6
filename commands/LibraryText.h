// The library's narrow texts as Zantor's wide characters, and the name of a
// module the library's code lies in: what the messages and the call log show.
// Defined per target (LibraryTextWin32.cpp, LibraryTextPosix.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

#include "Message.h"

// Appends the bytes a library wrote into `buffer` (up to its NUL, never past
// `size` bytes) as characters, decoded from the ANSI code page as the narrow
// Windows functions decode it (natively, where there is none, as code page 936).
// Bytes that form no character are replaced within the library's text, so they
// never take a character of Zantor's with them.
void AppendLibraryText(Message& message, const char* buffer, std::size_t size);

// Appends the file name of the module loaded at `base` (no folder), or returns
// false, appending nothing, when there is none.
bool AppendModuleName(Message& message, std::uintptr_t base);

// A library's narrow text as UTF-8, exactly: the recording keeps a text readable
// only when writing it back in its code page gives the very same bytes.
// Defined per target (CodePageTextWin32.cpp, CodePageTextPosix.cpp).
#pragma once

#include <cstddef>

#include "Growing.h"

// Appends the `size` bytes at `bytes` as UTF-8 and returns true when they are
// text of code page `codePage` that converts back to exactly these bytes and
// holds no control character but the tab; otherwise appends nothing and returns
// false. (Natively only 936 and 65001 are known.)
bool AppendExactUtf8(GrowingText& out, const char* bytes, std::size_t size, unsigned codePage);

// The process's ANSI code page (natively 936, as the tests write their texts).
unsigned ProcessCodePage();

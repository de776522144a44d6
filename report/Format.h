// printf-style formatting into a short fixed text, for the report's numbers:
// the program's own formatter (TextFormat.h), the same in every locale.
#pragma once

#include "BoundedText.h"
#include "Growing.h"

// A number, a code or a short label: ample for any one of them.
using ShortText = NarrowText<128>;

// The formatted text (numbers and ASCII only: nothing that needs escaping); cut
// (and marked so) when longer than a ShortText holds.
ShortText Format(const char* format, ...) ZANTOR_PRINTF(1, 2);

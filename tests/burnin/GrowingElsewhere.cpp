// Growing storage used from a file that sees a smaller std::max_align_t than the
// others, as 32-bit MinGW files do when the C runtime's <stddef.h> comes before
// the compiler's (8 against 16): built with long double as narrow as a double,
// which gives this file the same 8 natively. Blocks it makes are given back
// elsewhere, and the other way round.
#include <utility>

#include "Growing.h"

std::size_t SizeHeaderElsewhere() { return growing::kSizeHeader; }

GrowingText TextMadeElsewhere(const char* text)
{
    GrowingText made;
    made.Append(text);
    return made;
}

void ReleaseElsewhere(GrowingText&& text)
{
    GrowingText released(std::move(text));
}

#include "Format.h"

#include <cstdarg>
#include <cstdio>

ShortText Format(const char* format, ...)
{
    ShortText text;
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(text.End(), text.Room() + 1, format, args);
    va_end(args);
    if (length > 0)
        text.Grow(static_cast<std::size_t>(length));
    if (length > 0 && static_cast<std::size_t>(length) > text.size())
        text.MarkCut();
    return text;
}

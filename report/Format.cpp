#include "Format.h"

#include <cstdarg>

ShortText Format(const char* format, ...)
{
    ShortText text;
    va_list args;
    va_start(args, format);
    text.AppendFormatV(format, args);
    va_end(args);
    return text;
}

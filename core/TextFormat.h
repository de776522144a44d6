// printf-style formatting on the program's own number writers (Decimal.h): the
// same text in every locale. It knows the flags `-`, `+`, space and `0`, a width
// and a precision (digits or `*`), the sizes hh, h, l, ll, z, j, t and
// Microsoft's I, I32, I64 (the <cinttypes> macros of either runtime), and the
// conversions d i u x X c s f F g G and %%. A double that is NaN or infinite is
// written as `null`, the one word valid in JSON. Anything else in a format is a
// mistake in the program: the text ends there with kFormatMistake.
#pragma once

#include <cstdarg>
#include <cstddef>

// Formats are checked at compile time as C99's (%zu, %lld), which is what
// FormatText writes, whatever the C runtime's own printf would.
#if defined(__GNUC__)
#define ZANTOR_PRINTF(f, a) __attribute__((format(gnu_printf, f, a)))
#else
#define ZANTOR_PRINTF(f, a)
#endif

// Takes the formatted text piece by piece.
using TextPut = void (*)(void* sink, const char* text, std::size_t count);

// What a format the formatter does not know leaves in the text.
constexpr char kFormatMistake[] = "{format?}";

// Writes `format` with `args` to `put(sink, …)`; false when the format held
// something unknown (the text then ends in kFormatMistake).
bool FormatText(TextPut put, void* sink, const char* format, va_list args);

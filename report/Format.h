// printf-style formatting into a standard string, for the report's numbers.
#pragma once

#include <string>

// gnu_printf: on MinGW, plain printf means Microsoft's dialect, while the C++
// runtime formats with the C99 one (%zu, %lld), which is what we use.
#if defined(__GNUC__)
#define ZANTOR_PRINTF(f, a) __attribute__((format(gnu_printf, f, a)))
#else
#define ZANTOR_PRINTF(f, a)
#endif

// Appends the formatted text (numbers and ASCII only: nothing that needs escaping).
void AppendFormat(std::string& out, const char* format, ...) ZANTOR_PRINTF(2, 3);
std::string Format(const char* format, ...) ZANTOR_PRINTF(1, 2);

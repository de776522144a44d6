#include "ResultMessage.h"

#include <cstring>
#include <limits>

std::string TextFromBuffer(const char* buffer, std::size_t size)
{
    const void* nul = std::memchr(buffer, '\0', size);
    const std::size_t length = nul ? static_cast<const char*>(nul) - buffer : size;
    return std::string(buffer, length);
}

std::string FailureMessage(const char* prefix, const char* libraryText, std::size_t bufferSize,
                           std::int32_t code)
{
    return prefix + TextFromBuffer(libraryText, bufferSize) + " 错误码：" + std::to_string(code);
}

std::string StatusMessage(const char* libraryText, std::size_t bufferSize, std::int32_t code)
{
    return TextFromBuffer(libraryText, bufferSize) + " 状态码：" + std::to_string(code);
}

std::int32_t ParsePort(const std::string& text)
{
    // The C locale's white space, as atoi skips it.
    const char* p = text.c_str();
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;

    const bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;

    // Accumulate the magnitude towards the limit of the sign's side; stop growing
    // once past it, so that any number of digits is safe.
    const std::int64_t limit = negative ? -static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::min())
                                        : std::numeric_limits<std::int32_t>::max();
    std::int64_t magnitude = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        magnitude = magnitude * 10 + (*p - '0');
        if (magnitude > limit)
            magnitude = limit;
    }
    return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

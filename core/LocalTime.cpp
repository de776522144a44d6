#include "LocalTime.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <ctime>
#endif

namespace {

// `value` in `digits` digits, then `after` unless it is 0.
char* PutPadded(char* out, unsigned value, int digits, char after)
{
    for (int i = digits; i-- > 0; value /= 10)
        out[i] = static_cast<char>('0' + value % 10);
    out += digits;
    if (after != 0)
        *out++ = after;
    return out;
}

}  // namespace

LocalTime CurrentLocalTime()
{
#ifdef _WIN32
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
#else
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    return {static_cast<std::uint16_t>(local.tm_year + 1900), static_cast<std::uint16_t>(local.tm_mon + 1),
            static_cast<std::uint16_t>(local.tm_mday), static_cast<std::uint16_t>(local.tm_hour),
            static_cast<std::uint16_t>(local.tm_min), static_cast<std::uint16_t>(local.tm_sec),
            static_cast<std::uint16_t>(now.tv_nsec / 1000000)};
#endif
}

std::size_t WriteLocalTime(char* out, const LocalTime& time, LocalTimeStyle style)
{
    const bool compact = style == LocalTimeStyle::Compact;
    char* end = PutPadded(out, time.year, time.year > 9999 ? 5 : 4, compact ? 0 : '-');
    end = PutPadded(end, time.month, 2, compact ? 0 : '-');
    end = PutPadded(end, time.day, 2, compact ? '-' : ' ');
    end = PutPadded(end, time.hour, 2, compact ? 0 : ':');
    end = PutPadded(end, time.minute, 2, compact ? 0 : ':');
    end = PutPadded(end, time.second, 2, style == LocalTimeStyle::Milliseconds ? '.' : 0);
    if (style == LocalTimeStyle::Milliseconds)
        end = PutPadded(end, time.millisecond, 3, 0);
    return static_cast<std::size_t>(end - out);
}

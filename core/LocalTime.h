// The local date and time, and the one writer of it: the call log's lines, the
// recording's date, a burn-in's report and its stamp, and the default report
// name all spell it here.
#pragma once

#include <cstddef>
#include <cstdint>

struct LocalTime {
    std::uint16_t year, month, day, hour, minute, second, millisecond;
};

// The clock now, in the local time zone (Windows: GetLocalTime).
LocalTime CurrentLocalTime();

enum class LocalTimeStyle : std::uint8_t {
    Seconds,       // "2026-03-07 09:05:02"
    Milliseconds,  // "2026-03-07 09:05:02.041"
    Compact,       // "20260307-090502", for a file name
};
// Room for any style, a year of five digits included.
constexpr std::size_t kLocalTimeRoom = 24;

// Writes `time` in `style` into `out` (kLocalTimeRoom, no NUL); returns the
// length. Each part has its leading zeros; a year past 9999 takes five digits.
std::size_t WriteLocalTime(char* out, const LocalTime& time, LocalTimeStyle style);

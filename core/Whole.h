#pragma once

#include <cmath>
#include <cstdint>

// The whole number at or below `x` (Floor) or at or above it (Ceil), exactly as
// std::floor and std::ceil give them (-0 and NaN kept), without the C runtime's
// library code for them, which 64-bit Windows builds would otherwise link in.
// Past 2^52 every double is whole already.
namespace whole {

inline double Floor(double x)
{
    if (!(std::fabs(x) < 4503599627370496.0))
        return x;
    const double truncated = static_cast<double>(static_cast<std::int64_t>(x));
    if (truncated == x)
        return x;
    return truncated > x ? truncated - 1 : truncated;
}

inline double Ceil(double x)
{
    return -Floor(-x);
}

} // namespace whole

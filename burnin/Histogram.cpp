#include "Histogram.h"

#include <cmath>

#include "Whole.h"

namespace {

// The position of the highest bit set in `value` (not 0).
unsigned HighestBit(std::uint64_t value)
{
#if defined(__GNUC__)
    return 63u - static_cast<unsigned>(__builtin_clzll(value));
#else
    unsigned bit = 0;
    while (value >>= 1)
        ++bit;
    return bit;
#endif
}

}  // namespace

std::size_t DurationHistogram::BucketOf(std::uint64_t nanoseconds)
{
    if (nanoseconds < 2 * kHalf)
        return static_cast<std::size_t>(nanoseconds);
    // The shift that leaves the value's top eight bits: 128 to 255 of that power of two.
    const unsigned shift = HighestBit(nanoseconds) - kHalfBits;
    return shift * kHalf + static_cast<std::size_t>(nanoseconds >> shift);
}

std::uint64_t DurationHistogram::BucketLow(std::size_t index)
{
    if (index < 2 * kHalf)
        return index;
    const std::size_t shift = index / kHalf - 1;
    return static_cast<std::uint64_t>(index - shift * kHalf) << shift;
}

std::uint64_t DurationHistogram::BucketWidth(std::size_t index)
{
    return index < 2 * kHalf ? 1 : std::uint64_t{1} << (index / kHalf - 1);
}

bool DurationHistogram::Prepare()
{
    return m_counts.size() == kBuckets || (m_counts.Reserve(kBuckets) && m_counts.GrowTo(kBuckets, 0));
}

bool DurationHistogram::Record(std::uint64_t nanoseconds)
{
    if (!Prepare())
        return false;
    ++m_counts[BucketOf(nanoseconds)];
    if (m_count == 0 || nanoseconds < m_min)
        m_min = nanoseconds;
    if (nanoseconds > m_max)
        m_max = nanoseconds;
    ++m_count;
    return true;
}

double DurationHistogram::Percentile(double percent) const
{
    if (m_count == 0)
        return 0;
    // Rank ceil(p/100 * n), 1-based, as NearestRank takes it.
    const double count = static_cast<double>(m_count);
    double rank = whole::Ceil(percent / 100.0 * count - 1e-9);
    if (rank < 1)
        rank = 1;
    if (rank > count)
        rank = count;
    const auto wanted = static_cast<std::uint64_t>(rank);
    if (wanted == m_count)
        return static_cast<double>(m_max);
    std::uint64_t seen = 0;
    std::size_t index = 0;
    for (; index + 1 < kBuckets; ++index) {
        seen += m_counts[index];
        if (seen >= wanted)
            break;
    }
    // The bucket's middle, and never past what was seen.
    double value = static_cast<double>(BucketLow(index)) + static_cast<double>(BucketWidth(index) - 1) / 2.0;
    if (value < static_cast<double>(m_min))
        value = static_cast<double>(m_min);
    if (value > static_cast<double>(m_max))
        value = static_cast<double>(m_max);
    return value;
}

Percentiles DurationHistogram::PercentilesUs() const
{
    Percentiles result;
    if (m_count == 0)
        return result;
    result.empty = false;
    result.min = static_cast<double>(m_min) / 1000.0;
    result.median = Percentile(50) / 1000.0;
    result.p95 = Percentile(95) / 1000.0;
    result.p99 = Percentile(99) / 1000.0;
    result.max = static_cast<double>(m_max) / 1000.0;
    return result;
}

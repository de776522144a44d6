// Call durations counted in buckets of bounded relative error, so that a run of
// any length keeps the same few kilobytes and still gives its percentiles.
//
// The buckets are log-linear: values below 256 ns have a bucket each; above, each
// power of two is cut into 128 equal buckets, so a bucket is at most 1/128 of the
// values it holds wide. A percentile is its bucket's middle, within 0.4% of the
// value an exact sort gives (and never outside the smallest and largest value
// seen, which are kept exactly). Every nanosecond count up to 2^64 has a bucket:
// a call of hours is counted like one of microseconds.
#pragma once

#include <cstddef>
#include <cstdint>

#include "Growing.h"
#include "Statistics.h"

class DurationHistogram {
public:
    // 256 exact buckets, then 128 per power of two from 2^8 to 2^63: 58 times 128.
    static constexpr unsigned kHalfBits = 7;
    static constexpr std::size_t kHalf = std::size_t{1} << kHalfBits;
    static constexpr std::size_t kBuckets = (64 - kHalfBits + 1) * kHalf;

    DurationHistogram() = default;
    DurationHistogram(const DurationHistogram&) = delete;
    DurationHistogram& operator=(const DurationHistogram&) = delete;

    // Takes the buckets' memory (about 58 KB) from the heap now, so that the first
    // call does not; false when the heap has none. Record() prepares on its own.
    bool Prepare();
    // Counts one duration; false (nothing counted) when the buckets could not be had.
    bool Record(std::uint64_t nanoseconds);

    std::uint64_t count() const { return m_count; }
    // The nearest-rank percentile `percent` (0 < percent <= 100) in nanoseconds,
    // within a bucket's half-width of the exact one; 0 without values.
    double Percentile(double percent) const;
    // min, median, 95th, 99th percentile and max in microseconds (min and max exact).
    Percentiles PercentilesUs() const;

    // The bucket of `nanoseconds`, and the lowest value and width of bucket `index`.
    static std::size_t BucketOf(std::uint64_t nanoseconds);
    static std::uint64_t BucketLow(std::size_t index);
    static std::uint64_t BucketWidth(std::size_t index);

private:
    GrowingArray<std::uint64_t> m_counts;  // kBuckets once prepared
    std::uint64_t m_count = 0;
    std::uint64_t m_min = 0;
    std::uint64_t m_max = 0;
};

// The burn-in's arithmetic: percentiles of call durations and a straight line
// through resource samples, as pure functions on plain values.
#pragma once

#include <cstddef>
#include <cstdint>

struct Percentiles {
    bool empty = true;  // no sample: the figures below are 0
    double min = 0;
    double median = 0;
    double p95 = 0;
    double p99 = 0;
    double max = 0;
    bool failed = false;  // the sorted copy could not be made (no memory): no figures
};

// The nearest-rank percentile `percent` (0 < percent <= 100) of the `count`
// values at `sorted`, which must be sorted ascending and not empty: the smallest
// value with at least `percent`% of the samples at or below it.
double NearestRank(const float* sorted, std::size_t count, double percent);
// The nearest rank itself, 1-based, of `percent` among `count` values (count >= 1).
std::uint64_t NearestRankOf(double percent, std::uint64_t count);

// min, median, 95th, 99th percentile and max of the `count` values at `samples`
// by the nearest-rank method, on a sorted copy (the caller's order is kept).
Percentiles NearestRankPercentiles(const float* samples, std::size_t count);

struct LinearFit {
    bool valid = false;  // at least two distinct x values
    double slope = 0;
    double intercept = 0;
    double rSquared = 0;  // share of y's variance the line explains; 1 when y is constant
};

// The least-squares line y = slope * x + intercept through the `count` points (x[i], y[i]).
LinearFit LeastSquares(const double* x, const double* y, std::size_t count);

#include "Statistics.h"

#include <algorithm>
#include <cmath>

#include "Growing.h"
#include "Whole.h"

std::uint64_t NearestRankOf(double percent, std::uint64_t size)
{
    // Rank ceil(p/100 * n), 1-based; the epsilon keeps 95% of 100 at rank 95.
    const double count = static_cast<double>(size);
    double rank = whole::Ceil(percent / 100.0 * count - 1e-9);
    if (rank < 1)
        rank = 1;
    if (rank > count)
        rank = count;
    return static_cast<std::uint64_t>(rank);
}

double NearestRank(const float* sorted, std::size_t size, double percent)
{
    return static_cast<double>(sorted[NearestRankOf(percent, size) - 1]);
}

Percentiles NearestRankPercentiles(const float* samples, std::size_t count)
{
    Percentiles result;
    if (count == 0)
        return result;
    GrowingArray<float> sorted;
    if (!sorted.Reserve(count)) {
        result.failed = true;
        return result;
    }
    for (std::size_t i = 0; i < count; ++i)
        sorted.Append(samples[i]);
    std::sort(sorted.begin(), sorted.end());
    result.empty = false;
    result.min = static_cast<double>(sorted[0]);
    result.median = NearestRank(sorted.data(), count, 50);
    result.p95 = NearestRank(sorted.data(), count, 95);
    result.p99 = NearestRank(sorted.data(), count, 99);
    result.max = static_cast<double>(sorted.back());
    return result;
}

LinearFit LeastSquares(const double* x, const double* y, std::size_t count)
{
    LinearFit fit;
    if (count < 2)
        return fit;
    // Centred sums: exact enough for cycle numbers in the millions and byte counts in the gigabytes.
    double meanX = 0, meanY = 0;
    for (std::size_t i = 0; i < count; ++i) {
        meanX += x[i];
        meanY += y[i];
    }
    meanX /= static_cast<double>(count);
    meanY /= static_cast<double>(count);
    double sxx = 0, sxy = 0, syy = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const double dx = x[i] - meanX;
        const double dy = y[i] - meanY;
        sxx += dx * dx;
        sxy += dx * dy;
        syy += dy * dy;
    }
    if (sxx <= 0)
        return fit;
    fit.valid = true;
    fit.slope = sxy / sxx;
    fit.intercept = meanY - fit.slope * meanX;
    fit.rSquared = syy <= 0 ? 1.0 : (sxy * sxy) / (sxx * syy);
    return fit;
}

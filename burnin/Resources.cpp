#include "Resources.h"

#include <algorithm>

std::uint32_t SampleInterval(std::uint32_t cycles)
{
    return cycles < 100 ? 1 : cycles / 100;
}

GrowthRule LeakRule(Resource resource)
{
    switch (resource) {
    case Resource::CommittedMemory:
        // 32 bytes a cycle, the smallest block a heap leak leaves once per cycle;
        // 256 KB = four 64 KB allocation granules, more than the heap's settling.
        return {32.0 * 1024, 0.8, 256.0 * 1024};
    case Resource::Handles:
    case Resource::GdiObjects:
    case Resource::UserObjects:
        break;
    }
    // One object every 200 cycles; a handful appearing once (a worker thread, a
    // lazily opened file) is not a leak.
    return {5.0, 0.8, 5.0};
}

Growth JudgeGrowth(const std::vector<ResourceSample>& samples, Resource resource, const GrowthRule& rule)
{
    Growth growth;
    const auto index = static_cast<std::size_t>(resource);
    std::vector<double> cycles, values;
    for (const ResourceSample& sample : samples) {
        if (!sample.measured[index])
            continue;
        cycles.push_back(sample.cycle);
        values.push_back(static_cast<double>(sample.value[index]));
    }
    growth.samples = values.size();
    if (values.empty())
        return growth;
    growth.first = values.front();
    growth.last = values.back();
    growth.min = *std::min_element(values.begin(), values.end());
    growth.max = *std::max_element(values.begin(), values.end());
    growth.fit = LeastSquares(cycles, values);
    if (values.size() < kMinGrowthSamples || !growth.fit.valid) {
        growth.verdict = GrowthVerdict::TooFew;
        return growth;
    }
    growth.perThousandCycles = growth.fit.slope * 1000.0;
    const bool leak = growth.perThousandCycles >= rule.perThousandCycles && growth.fit.rSquared >= rule.minRSquared &&
                      growth.last - growth.first >= rule.minRise;
    growth.verdict = leak ? GrowthVerdict::Leak : GrowthVerdict::Steady;
    return growth;
}

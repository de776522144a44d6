#include "Resources.h"

#include <algorithm>

std::uint32_t SampleInterval(std::uint32_t cycles)
{
    return cycles < 100 ? 1 : cycles / 100;
}

void SetMemoryBeyondOwn(ResourceSample& sample, std::uint64_t committed, std::uint64_t own)
{
    const auto index = static_cast<int>(Resource::CommittedMemory);
    sample.measured[index] = own <= committed;
    sample.value[index] = own <= committed ? committed - own : 0;
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

Growth JudgeGrowth(const ResourceSample* samples, std::size_t count, Resource resource, const GrowthRule& rule)
{
    Growth growth;
    const auto index = static_cast<std::size_t>(resource);
    double cycles[kMaxResourceSamples], values[kMaxResourceSamples];
    std::size_t measured = 0;
    for (std::size_t i = 0; i < count && measured < kMaxResourceSamples; ++i) {
        if (!samples[i].measured[index])
            continue;
        cycles[measured] = samples[i].cycle;
        values[measured] = static_cast<double>(samples[i].value[index]);
        ++measured;
    }
    growth.samples = measured;
    if (measured == 0)
        return growth;
    growth.first = values[0];
    growth.last = values[measured - 1];
    growth.min = *std::min_element(values, values + measured);
    growth.max = *std::max_element(values, values + measured);
    growth.fit = LeastSquares(cycles, values, measured);
    if (measured < kMinGrowthSamples || !growth.fit.valid) {
        growth.verdict = GrowthVerdict::TooFew;
        return growth;
    }
    growth.perThousandCycles = growth.fit.slope * 1000.0;
    const bool leak = growth.perThousandCycles >= rule.perThousandCycles && growth.fit.rSquared >= rule.minRSquared &&
                      growth.last - growth.first >= rule.minRise;
    growth.verdict = leak ? GrowthVerdict::Leak : GrowthVerdict::Steady;
    return growth;
}

// The process's resources sampled during a burn-in, and the verdict on whether
// one of them grew steadily: a leak.
#pragma once

#include <cstdint>
#include <cstddef>

#include "Statistics.h"

// The four figures one sample holds, in this order.
enum class Resource : std::uint8_t { CommittedMemory, Handles, GdiObjects, UserObjects };
constexpr int kResourceCount = 4;

// One sample, taken after `cycle` cycles had finished (0: before the first).
// A figure the platform does not give (Wine's 0 GDI objects, say) is not measured.
struct ResourceSample {
    std::uint32_t cycle = 0;
    bool measured[kResourceCount] = {};
    std::uint64_t value[kResourceCount] = {};  // bytes for memory, counts for the others
};

// Samples the calling process now (Windows: committed private memory by a
// VirtualQuery walk less the bytes Zantor's own growing storage holds, handles,
// GDI and USER objects; natively nothing is measured).
ResourceSample SampleProcessResources(std::uint32_t cycle);

// Puts into `sample` the committed memory that is not Zantor's own: `committed`
// less `own` (bytes). Zantor's own memory is part of what the process committed,
// so `own` above `committed` means its count went wrong: the figure is then left
// unmeasured, not read as 0, so that no leak check passes on it.
void SetMemoryBeyondOwn(ResourceSample& sample, std::uint64_t committed, std::uint64_t own);

// How often to sample in a run of `cycles` cycles: at least every 1% of them.
// Before the first and after the last cycle a sample is taken as well.
std::uint32_t SampleInterval(std::uint32_t cycles);

// When a steady growth counts as a leak: at least `perThousandCycles` per 1,000
// cycles by the least-squares line, the line explaining at least `minRSquared`
// of the variance, and the last sample at least `minRise` above the first.
struct GrowthRule {
    double perThousandCycles;
    double minRSquared;
    double minRise;
};

// The rules the burn-in applies; the README's "Burn-in" section says where the numbers come from.
GrowthRule LeakRule(Resource resource);

enum class GrowthVerdict : std::uint8_t {
    NotMeasured,  // no sample has the figure
    TooFew,       // fewer than kMinGrowthSamples samples, or all at one cycle
    Steady,
    Leak,
};
constexpr std::size_t kMinGrowthSamples = 5;

struct Growth {
    GrowthVerdict verdict = GrowthVerdict::NotMeasured;
    LinearFit fit;
    double perThousandCycles = 0;  // the fit's slope times 1,000
    double first = 0, last = 0, min = 0, max = 0;
    std::size_t samples = 0;
};

// A run takes at most about 200 samples (SampleInterval); the recorder keeps this many.
constexpr std::size_t kMaxResourceSamples = 256;

// The growth of `resource` over the `count` samples at `samples` (those where it
// was measured, the first kMaxResourceSamples of them) judged by `rule`.
Growth JudgeGrowth(const ResourceSample* samples, std::size_t count, Resource resource, const GrowthRule& rule);

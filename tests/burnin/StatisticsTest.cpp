#include "Resources.h"
#include "Schedule.h"
#include "Statistics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>

#include "Histogram.h"
#include "Whole.h"

namespace {

struct PercentileCase {
    const char* what;
    std::vector<float> samples;
    Percentiles expected;
};

TEST(Percentiles, NearestRankOnSmallAndTiedSamples)
{
    const PercentileCase cases[] = {
        {"one sample is every percentile", {7}, {false, 7, 7, 7, 7, 7}},
        {"two: the median is the lower (rank ceil(1.0))", {9, 1}, {false, 1, 1, 9, 9, 9}},
        {"unsorted input, median rank 3 of 5", {5, 1, 4, 2, 3}, {false, 1, 3, 5, 5, 5}},
        {"ties count once each", {2, 2, 2, 2, 9}, {false, 2, 2, 9, 9, 9}},
        // 100 samples 1..100: p95 is rank 95 exactly, not 96 from rounding up 95.000001.
        {"rank 95 of 100", {}, {false, 1, 50, 95, 99, 100}},
    };
    for (const PercentileCase& c : cases) {
        std::vector<float> samples = c.samples;
        if (samples.empty())
            for (int i = 100; i >= 1; --i) samples.push_back(static_cast<float>(i));
        const Percentiles p = NearestRankPercentiles(samples.data(), samples.size());
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(p.empty);
        EXPECT_EQ(p.min, c.expected.min);
        EXPECT_EQ(p.median, c.expected.median);
        EXPECT_EQ(p.p95, c.expected.p95);
        EXPECT_EQ(p.p99, c.expected.p99);
        EXPECT_EQ(p.max, c.expected.max);
    }
    EXPECT_TRUE(NearestRankPercentiles(nullptr, 0).empty);
}

// The runtime-free floor and ceil (ranks here, the plots' axes) against the library's,
// bit for bit: signed zeros, halves, the last fractional doubles, whole ones, infinities.
TEST(Percentiles, WholeFloorAndCeilAreTheLibrarys)
{
    const double values[] = {0.0, -0.0, 0.5, -0.5, 1, -1, 2.5, -2.5, 1e-300, -1e-300, 0.9999999999999999,
                             4503599627370495.5, -4503599627370495.5, 4503599627370496.0, 1e300, -1e300,
                             HUGE_VAL, -HUGE_VAL, 94.99999999999999, 9223372036854775807.0};
    for (double v : values) {
        SCOPED_TRACE(v);
        EXPECT_EQ(std::signbit(whole::Floor(v)), std::signbit(std::floor(v)));
        EXPECT_EQ(whole::Floor(v), std::floor(v));
        EXPECT_EQ(std::signbit(whole::Ceil(v)), std::signbit(std::ceil(v)));
        EXPECT_EQ(whole::Ceil(v), std::ceil(v));
    }
    EXPECT_TRUE(std::isnan(whole::Floor(NAN)) && std::isnan(whole::Ceil(NAN)));
}

// The histogram's percentiles against an exact sort of the same durations: each
// within 1% (min and max exact), from nanoseconds to hours, with many ties or none.
TEST(Percentiles, HistogramWithinOnePercentOfTheExactSort)
{
    std::mt19937_64 random(22);
    const auto logUniform = [&random](double low, double high) {
        return static_cast<std::uint64_t>(std::exp(std::uniform_real_distribution<double>(std::log(low), std::log(high))(random)));
    };
    const struct {
        const char* what;
        std::function<std::uint64_t(int)> nanoseconds;
        int count;
    } rows[] = {
        {"random, 1 us to 1 h", [&](int) { return logUniform(1e3, 3.6e12); }, 20000},
        {"random around 50 us, a slow tail", [&](int i) { return i % 50 ? logUniform(4e4, 6e4) : logUniform(1e6, 1e8); }, 20000},
        {"tied: three values", [](int i) { return std::uint64_t{i % 3 == 0 ? 1500u : i % 3 == 1 ? 2000000u : 9000000000u}; }, 999},
        {"tied at a bucket's edge and inside it", [](int i) { return std::uint64_t{i % 2 ? 65536u : 65791u}; }, 100},
        {"below 256 ns: exact buckets", [](int i) { return std::uint64_t(i % 256); }, 1000},
        {"one call of a day", [](int) { return std::uint64_t{86400} * 1000000000u; }, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        DurationHistogram histogram;
        std::vector<float> exact;
        for (int i = 0; i < row.count; ++i) {
            const std::uint64_t ns = row.nanoseconds(i);
            ASSERT_TRUE(histogram.Record(ns));
            exact.push_back(static_cast<float>(static_cast<double>(ns) / 1000.0));
        }
        const Percentiles want = NearestRankPercentiles(exact.data(), exact.size());
        const Percentiles got = histogram.PercentilesUs();
        EXPECT_EQ(histogram.count(), static_cast<std::uint64_t>(row.count));
        // The reference went through a float: exact to 1e-7 of the value.
        EXPECT_NEAR(got.min, want.min, want.min * 1e-7);
        EXPECT_NEAR(got.max, want.max, want.max * 1e-7);
        const std::pair<double, double> pairs[] = {{got.median, want.median}, {got.p95, want.p95}, {got.p99, want.p99}};
        for (const auto& [value, reference] : pairs)
            EXPECT_NEAR(value, reference, reference * 0.01);
    }
    EXPECT_TRUE(DurationHistogram().PercentilesUs().empty);
}

// The buckets' exact range: the edges where the width doubles, the lowest and the
// highest count a 64-bit duration can hold, and nothing outside them.
TEST(Percentiles, HistogramBucketEdgesCoverEveryDuration)
{
    using H = DurationHistogram;
    const struct {
        const char* what;
        std::uint64_t nanoseconds;
        std::size_t bucket;
        std::uint64_t low, width;
    } rows[] = {
        {"zero has the first bucket", 0, 0, 0, 1},
        {"the last exact bucket", 255, 255, 255, 1},
        {"the first bucket two wide", 256, 256, 256, 2},
        {"its second value", 257, 256, 256, 2},
        {"the next one", 258, 257, 258, 2},
        {"the last two wide", 511, 383, 510, 2},
        {"the first four wide", 512, 384, 512, 4},
        {"a microsecond", 1000, 506, 1000, 4},
        {"2^32", std::uint64_t{1} << 32, 25 * 128 + 128, std::uint64_t{1} << 32, std::uint64_t{1} << 25},
        {"2^63", std::uint64_t{1} << 63, 56 * 128 + 128, std::uint64_t{1} << 63, std::uint64_t{1} << 56},
        {"the largest count: the last bucket", UINT64_MAX, H::kBuckets - 1, std::uint64_t{255} << 56,
         std::uint64_t{1} << 56},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(H::BucketOf(row.nanoseconds), row.bucket);
        EXPECT_EQ(H::BucketLow(row.bucket), row.low);
        EXPECT_EQ(H::BucketWidth(row.bucket), row.width);
    }
    // Every bucket starts where the one before ends and holds exactly its range.
    std::uint64_t next = 0;
    for (std::size_t i = 0; i < H::kBuckets; ++i) {
        const std::uint64_t low = H::BucketLow(i), last = low + (H::BucketWidth(i) - 1);
        ASSERT_EQ(low, next) << i;
        ASSERT_EQ(H::BucketOf(low), i);
        ASSERT_EQ(H::BucketOf(last), i);
        next = last + 1;
    }
    EXPECT_EQ(next, 0u) << "the last bucket ends at 2^64 - 1";

    // The extremes are counted, not dropped, and come back exactly.
    DurationHistogram histogram;
    ASSERT_TRUE(histogram.Record(0));
    ASSERT_TRUE(histogram.Record(UINT64_MAX));
    EXPECT_EQ(histogram.count(), 2u);
    EXPECT_EQ(histogram.Percentile(50), 0);
    EXPECT_EQ(histogram.Percentile(100), static_cast<double>(UINT64_MAX));
    EXPECT_EQ(histogram.PercentilesUs().min, 0);
    EXPECT_EQ(histogram.PercentilesUs().max, static_cast<double>(UINT64_MAX) / 1000.0);
    // A percentile is its bucket's middle: 1000 to 1003 ns share one bucket.
    DurationHistogram one;
    for (std::uint64_t ns : {1000u, 1001u, 1003u, 1003u, 1003u})
        ASSERT_TRUE(one.Record(ns));
    EXPECT_EQ(one.Percentile(20), 1001.5);
    EXPECT_EQ(one.Percentile(80), 1001.5);
    EXPECT_EQ(one.Percentile(100), 1003);
    // Below 256 ns each value is its own bucket: exact.
    DurationHistogram exact;
    for (std::uint64_t ns : {254u, 255u, 256u})
        ASSERT_TRUE(exact.Record(ns));
    EXPECT_EQ(exact.Percentile(34), 255);
    EXPECT_EQ(exact.Percentile(33), 254);
}

LinearFit LeastSquares(const std::vector<double>& x, const std::vector<double>& y)
{
    return ::LeastSquares(x.data(), y.data(), std::min(x.size(), y.size()));
}

TEST(LeastSquares, SlopeInterceptAndFit)
{
    const LinearFit exact = LeastSquares({0, 1000, 2000, 3000}, {5, 7, 9, 11});
    ASSERT_TRUE(exact.valid);
    EXPECT_DOUBLE_EQ(exact.slope, 0.002);
    EXPECT_DOUBLE_EQ(exact.intercept, 5);
    EXPECT_DOUBLE_EQ(exact.rSquared, 1);

    // Large x and y (cycles in the millions, bytes in the gigabytes) lose nothing.
    const LinearFit large = LeastSquares({4e6, 4e6 + 1, 4e6 + 2}, {3e9, 3e9 + 10, 3e9 + 20});
    EXPECT_NEAR(large.slope, 10, 1e-6);

    const LinearFit flat = LeastSquares({1, 2, 3}, {4, 4, 4});
    EXPECT_EQ(flat.slope, 0);
    EXPECT_EQ(flat.rSquared, 1);

    const LinearFit noisy = LeastSquares({0, 1, 2, 3}, {0, 1, 0, 1});
    EXPECT_NEAR(noisy.rSquared, 0.2, 1e-12);

    EXPECT_FALSE(LeastSquares({3, 3, 3}, {1, 2, 3}).valid);  // one x: no line
    EXPECT_FALSE(LeastSquares({1}, {1}).valid);
}

std::vector<ResourceSample> Samples(std::vector<std::pair<std::uint32_t, double>> points, Resource resource)
{
    std::vector<ResourceSample> samples;
    for (const auto& [cycle, value] : points) {
        ResourceSample s;
        s.cycle = cycle;
        s.measured[static_cast<int>(resource)] = true;
        s.value[static_cast<int>(resource)] = static_cast<std::uint64_t>(value);
        samples.push_back(s);
    }
    return samples;
}

// 101 samples over 100,000 cycles rising `perThousand` per 1,000 cycles from `base`,
// with `wobble` added to every other sample.
std::vector<ResourceSample> Line(Resource resource, double base, double perThousand, double wobble = 0)
{
    std::vector<std::pair<std::uint32_t, double>> points;
    for (std::uint32_t i = 0; i <= 100; ++i)
        points.push_back({i * 1000, base + perThousand * i + (i % 2 ? wobble : 0)});
    return Samples(points, resource);
}

// 101 memory samples over 100,000 cycles as the burn-in takes them: the process
// commits `perThousand` more per 1,000 cycles from 8 MB, of which 1 MB is Zantor's
// own; from `drift` on, Zantor's count of its own has gone wrong by `drifted`
// (a wrapped count is a huge one).
std::vector<ResourceSample> Sampled(double perThousand, std::uint32_t drift, std::uint64_t drifted)
{
    std::vector<ResourceSample> samples;
    for (std::uint32_t i = 0; i <= 100; ++i) {
        ResourceSample s;
        s.cycle = i * 1000;
        const auto committed = static_cast<std::uint64_t>(8e6 + perThousand * i);
        SetMemoryBeyondOwn(s, committed, (1u << 20) + (i >= drift ? drifted : 0));
        samples.push_back(s);
    }
    return samples;
}

struct GrowthCase {
    const char* what;
    std::vector<ResourceSample> samples;
    Resource resource;
    GrowthVerdict expected;
};

TEST(Growth, LeakVerdictAtAndAroundItsThreshold)
{
    const auto memory = Resource::CommittedMemory;
    const auto handles = Resource::Handles;
    const double kb = 1024;
    const GrowthCase cases[] = {
        {"memory exactly at 32 KB per 1,000 cycles", Line(memory, 8e6, 32 * kb), memory, GrowthVerdict::Leak},
        {"memory just below", Line(memory, 8e6, 31.5 * kb), memory, GrowthVerdict::Steady},
        {"memory flat", Line(memory, 8e6, 0), memory, GrowthVerdict::Steady},
        {"memory falling", Line(memory, 8e6, -64 * kb), memory, GrowthVerdict::Steady},
        // Fast enough but mostly noise: R² well under 0.8.
        {"memory noisy", Line(memory, 8e6, 40 * kb, 4000 * kb), memory, GrowthVerdict::Steady},
        // One 64 KB heap step in a 1,000-cycle run, early: steep but a step, not a line; and too small a rise.
        {"one early heap step", Samples({{0, 0}, {10, 65536}, {250, 65536}, {500, 65536}, {750, 65536}, {1000, 65536}},
                                        memory),
         memory, GrowthVerdict::Steady},
        // A steady 64 KB per 1,000 cycles over 2,000 cycles rises only 128 KB: below the rise needed.
        {"steady but short", Samples({{0, 0}, {500, 32 * kb}, {1000, 64 * kb}, {1500, 96 * kb}, {2000, 128 * kb}}, memory),
         memory, GrowthVerdict::Steady},
        {"steady and long enough", Samples({{0, 0}, {1000, 64 * kb}, {2000, 128 * kb}, {3000, 192 * kb}, {4000, 256 * kb}},
                                           memory),
         memory, GrowthVerdict::Leak},
        {"handles at 5 per 1,000", Line(handles, 100, 5), handles, GrowthVerdict::Leak},
        {"handles at 4.9 per 1,000", Line(handles, 100, 4.9), handles, GrowthVerdict::Steady},
        {"four samples are too few", Samples({{0, 1}, {1, 2}, {2, 3}, {3, 4}}, handles), handles, GrowthVerdict::TooFew},
        {"all at one cycle", Samples({{5, 1}, {5, 2}, {5, 3}, {5, 4}, {5, 5}}, handles), handles, GrowthVerdict::TooFew},
        {"no sample measured it", Line(memory, 1, 1000), handles, GrowthVerdict::NotMeasured},
        // As sampled: Zantor's own taken off what the process committed.
        {"sampled, leaking 4 MB per 1,000 cycles", Sampled(4096 * kb, 101, 0), memory, GrowthVerdict::Leak},
        {"sampled, flat", Sampled(0, 101, 0), memory, GrowthVerdict::Steady},
        // Zantor's own count (32-bit) wrapped below 0 after the first sample: more than
        // was committed. Read as 0 those samples would be a flat line, a leak passed as steady.
        {"own count wrapped, leaking", Sampled(4096 * kb, 1, 0xFFFFF000u), memory, GrowthVerdict::TooFew},
        {"own count above all committed", Sampled(64 * kb, 1, 512u << 20), memory, GrowthVerdict::TooFew},
    };
    for (const GrowthCase& c : cases) {
        const Growth g = JudgeGrowth(c.samples.data(), c.samples.size(), c.resource, LeakRule(c.resource));
        EXPECT_EQ(g.verdict, c.expected) << c.what << ": " << g.perThousandCycles << " per 1,000, R² "
                                         << g.fit.rSquared << ", rise " << g.last - g.first;
    }
}

TEST(Growth, SampleIntervalIsAtMostOnePercent)
{
    EXPECT_EQ(SampleInterval(0), 1u);
    EXPECT_EQ(SampleInterval(99), 1u);
    EXPECT_EQ(SampleInterval(1000), 10u);
    EXPECT_EQ(SampleInterval(1099), 10u);
}

TEST(Schedule, OpensCyclesClosesAndStopsAfterTheRunningStep)
{
    // O open, S status, R read card, I card information, C close; `stopAt`: the
    // step during which the operator stops the run (0: never).
    const auto run = [](std::uint32_t cycles, int stopAt) {
        burnin::Schedule schedule(cycles);
        std::string steps;
        for (int step = 1; schedule.Current() != burnin::Step::Finished; ++step) {
            steps += "OSRIC"[static_cast<int>(schedule.Current())];
            if (step == stopAt)
                schedule.Stop();
            schedule.Advance();
        }
        return steps + " " + std::to_string(schedule.CyclesDone());
    };
    EXPECT_EQ(run(2, 0), "OSRISRIC 2");
    EXPECT_EQ(run(3, 3), "OSRC 0") << "stopped during the first read card";
    EXPECT_EQ(run(3, 4), "OSRIC 1") << "stopped during the first card information";
    EXPECT_EQ(run(1, 5), "OSRIC 1") << "a stop while closing changes nothing";
}

// The leak is judged between the open and the close: a sample just before and
// just after each of them, and one every 1% of the cycles between (*: sampled).
TEST(Schedule, SamplesJustOutsideAndInsideTheOpenDevice)
{
    const auto run = [](std::uint32_t cycles) {
        burnin::Schedule schedule(cycles);
        std::string steps;
        for (; schedule.Current() != burnin::Step::Finished; schedule.Advance())
            steps += std::string(schedule.SampleDue() ? "*" : "") + "OSRIC"[static_cast<int>(schedule.Current())];
        return steps + (schedule.SampleDue() ? "*" : "");
    };
    EXPECT_EQ(run(3), "*O*SRI*SRI*SRI*C*");
}

TEST(Schedule, ProgressSaysTheTimeLeftAtThePaceSoFar)
{
    const struct {
        std::uint32_t done, cycles;
        std::uint64_t elapsedMs;
        std::wstring expected;
    } rows[] = {
        {0, 1000, 5000, L"0 / 1000"},
        {100, 1000, 10000, L"100 / 1000 · 剩余约 1 分 30 秒"},
        {500, 1000, 3600000, L"500 / 1000 · 剩余约 1 小时 0 分"},
        {999, 1000, 9990, L"999 / 1000 · 剩余约 1 秒"},
        // Each unit's edges: seconds alone below a minute, hours from 3600 s.
        {1, 2, 59000, L"1 / 2 · 剩余约 59 秒"},
        {1, 2, 60000, L"1 / 2 · 剩余约 1 分 0 秒"},
        {1, 2, 3599000, L"1 / 2 · 剩余约 59 分 59 秒"},
        {1, 2, 7530000, L"1 / 2 · 剩余约 2 小时 5 分"},
        {1000, 1000, 9990, L"1000 / 1000"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(std::wstring(burnin::ProgressText(row.done, row.cycles, row.elapsedMs).c_str()), row.expected);
}

}  // namespace

// What a burn-in keeps of its cycles one by one, in memory that does not grow
// with their number: a per-cycle series folded into a fixed number of columns,
// and the cycles that failed as ranges, the first of them only.
//
// Cycle numbers and counts are 64-bit throughout: a product of two of them (a
// cycle times a column count) passes 2^32 long before a run could.
#pragma once

#include <cstddef>
#include <cstdint>

#include "Growing.h"

// The cycles one column holds, and what they held.
struct SeriesColumn {
    double sum = 0;             // of the cycles' values: the mean is sum / cycles
    std::uint64_t cycles = 0;   // at most the series' width; fewer in the last column only
    float min = 0;
    float max = 0;
    bool failed = false;        // a cycle in it held a failed call
};

// A value per cycle, from cycle 1 on, folded as it arrives into at most
// kMaxColumns columns of `width` cycles each (1, 2, 4...): column i holds cycles
// i * width + 1 to (i + 1) * width. When the columns are full, each pair merges
// and the width doubles, so the columns always span the whole run.
class FoldedSeries {
public:
    static constexpr std::size_t kMaxColumns = 2000;

    FoldedSeries() = default;
    FoldedSeries(const FoldedSeries&) = delete;
    FoldedSeries& operator=(const FoldedSeries&) = delete;

    // Takes the columns' memory (about 64 KB) from the heap now; false when it has none.
    bool Prepare();
    // The next `count` cycles each had `value`; `failed`: they held a failed call.
    // False (nothing added) when the columns could not be had.
    bool Add(double value, bool failed, std::uint64_t count = 1);

    std::uint64_t cycles() const { return m_cycles; }  // added so far
    std::uint64_t width() const { return m_width; }
    std::size_t columns() const { return m_columnCount; }
    const SeriesColumn& operator[](std::size_t i) const { return m_columns[i]; }
    // The first cycle of column `i`.
    std::uint64_t FirstCycle(std::size_t i) const { return static_cast<std::uint64_t>(i) * m_width + 1; }
    // The column holding `cycle` (1 to cycles()).
    std::size_t ColumnOf(std::uint64_t cycle) const { return static_cast<std::size_t>((cycle - 1) / m_width); }

private:
    void MergePairs();

    GrowingArray<SeriesColumn> m_columns;  // kMaxColumns once prepared
    std::size_t m_columnCount = 0;
    std::uint64_t m_width = 1;
    std::uint64_t m_cycles = 0;
};

// Cycles first to last, both included.
struct CycleRange {
    std::uint64_t first = 0;
    std::uint64_t last = 0;
};

// Cycles given in ascending order, kept as ranges of consecutive ones: the first
// kMaxRanges ranges, which always hold the first kMaxRanges cycles or more, and a
// count of every cycle given.
class CycleRanges {
public:
    static constexpr std::size_t kMaxRanges = 1000;

    CycleRanges() = default;
    CycleRanges(const CycleRanges&) = delete;
    CycleRanges& operator=(const CycleRanges&) = delete;

    // Adds `cycle`, which is not below the last one given; the last one again
    // changes nothing. False only when the heap refused a range that was to be kept.
    bool Append(std::uint64_t cycle);
    void Clear();

    bool empty() const { return m_count == 0; }
    std::uint64_t count() const { return m_count; }  // every distinct cycle given
    std::uint64_t back() const { return m_last; }     // the last one given (not empty)
    // The ranges kept, ascending.
    const CycleRange* begin() const { return m_ranges.begin(); }
    const CycleRange* end() const { return m_ranges.end(); }
    std::size_t rangeCount() const { return m_ranges.size(); }
    bool Contains(std::uint64_t cycle) const;

private:
    GrowingArray<CycleRange> m_ranges;
    std::uint64_t m_count = 0;
    std::uint64_t m_last = 0;
    bool m_dropped = false;  // a cycle was given past the kept ranges: no later one is kept
};

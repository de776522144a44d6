#include "CycleSeries.h"

namespace {

void Fold(SeriesColumn& into, const SeriesColumn& from)
{
    if (from.cycles == 0)
        return;
    if (into.cycles == 0 || from.min < into.min)
        into.min = from.min;
    if (into.cycles == 0 || from.max > into.max)
        into.max = from.max;
    into.sum += from.sum;
    into.cycles += from.cycles;
    into.failed = into.failed || from.failed;
}

}  // namespace

bool FoldedSeries::Prepare()
{
    return m_columns.size() == kMaxColumns ||
           (m_columns.Reserve(kMaxColumns) && m_columns.GrowTo(kMaxColumns, SeriesColumn()));
}

void FoldedSeries::MergePairs()
{
    // Column i takes columns 2i and 2i+1: the spans stay aligned on the doubled width.
    const std::size_t merged = (m_columnCount + 1) / 2;
    for (std::size_t i = 0; i < merged; ++i) {
        SeriesColumn column = m_columns[2 * i];
        if (2 * i + 1 < m_columnCount)
            Fold(column, m_columns[2 * i + 1]);
        m_columns[i] = column;
    }
    for (std::size_t i = merged; i < m_columnCount; ++i)
        m_columns[i] = SeriesColumn();
    m_columnCount = merged;
    m_width *= 2;
}

bool FoldedSeries::Add(double value, bool failed, std::uint64_t count)
{
    if (!Prepare())
        return false;
    const auto single = static_cast<float>(value);
    while (count > 0) {
        // The last column while it has room, else a new one; when none is left,
        // the pairs merge first (every column is full then, so all merged ones are).
        if (m_columnCount == 0 || m_columns[m_columnCount - 1].cycles == m_width) {
            if (m_columnCount == kMaxColumns)
                MergePairs();
            ++m_columnCount;
        }
        SeriesColumn& column = m_columns[m_columnCount - 1];
        const std::uint64_t room = m_width - column.cycles;
        const std::uint64_t take = count < room ? count : room;
        SeriesColumn added;
        added.sum = value * static_cast<double>(take);
        added.cycles = take;
        added.min = added.max = single;
        added.failed = failed;
        Fold(column, added);
        m_cycles += take;
        count -= take;
    }
    return true;
}

bool CycleRanges::Append(std::uint64_t cycle)
{
    if (m_count != 0 && cycle <= m_last)
        return true;
    ++m_count;
    m_last = cycle;
    if (m_dropped)
        return true;
    if (!m_ranges.empty() && m_ranges.back().last + 1 == cycle) {
        m_ranges.back().last = cycle;
        return true;
    }
    if (m_ranges.size() == kMaxRanges) {
        m_dropped = true;
        return true;
    }
    if (m_ranges.Append(CycleRange{cycle, cycle}))
        return true;
    m_dropped = true;
    return false;
}

void CycleRanges::Clear()
{
    m_ranges.Clear();
    m_count = 0;
    m_last = 0;
    m_dropped = false;
}

bool CycleRanges::Contains(std::uint64_t cycle) const
{
    // Binary search over the kept ranges.
    std::size_t low = 0, high = m_ranges.size();
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        if (m_ranges[middle].last < cycle)
            low = middle + 1;
        else
            high = middle;
    }
    return low < m_ranges.size() && m_ranges[low].first <= cycle;
}

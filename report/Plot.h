// The report's plots as inline SVG, drawn by hand: a panel per series, axes
// labelled with units, failures marked by a shape as well as a colour.
#pragma once

#include <cstddef>
#include <cstdint>

#include "CycleSeries.h"
#include "Growing.h"

// Duration per cycle (`series`: microseconds per cycle, folded into columns) on a
// logarithmic axis in milliseconds: each column's mean as a line, its min-max as
// a band, and a shaded column with a triangle above it where a cycle held a failed
// call (the column says so, or one of the `failed` ranges lies in it). The legend
// counts `failed.count()` cycles.
void AppendDurationPlot(GrowingText& out, const char* title, const FoldedSeries& series, const CycleRanges& failed);

// The `count` resource samples (cycles[i], values[i] / `divisor`) on a linear
// axis labelled `unit`, with the least-squares line dashed; a panel saying "not
// measured here" when there are no samples.
void AppendSamplePlot(GrowingText& out, const char* title, const char* unit, const double* cycles,
                      const double* values, std::size_t count, double divisor, std::uint32_t lastCycle);

// The report's plots as inline SVG, drawn by hand: a panel per series, axes
// labelled with units, failures marked by a shape as well as a colour.
#pragma once

#include <cstddef>
#include <cstdint>

#include "Growing.h"

// Duration per cycle (`cycles` values in microseconds at `perCycleUs`, index =
// cycle - 1) on a logarithmic axis in milliseconds: each column's median as a
// line, its min-max as a band, and a triangle above each column holding one of
// the `failedCount` cycles at `failedCycles`. `out` is marked failed when the
// plot could not be built whole.
void AppendDurationPlot(GrowingText& out, const char* title, const float* perCycleUs, std::size_t cycles,
                        const std::uint32_t* failedCycles, std::size_t failedCount);

// The `count` resource samples (cycles[i], values[i] / `divisor`) on a linear
// axis labelled `unit`, with the least-squares line dashed; a panel saying "not
// measured here" when there are no samples.
void AppendSamplePlot(GrowingText& out, const char* title, const char* unit, const double* cycles,
                      const double* values, std::size_t count, double divisor, std::uint32_t lastCycle);

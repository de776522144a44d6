// The report's plots as inline SVG, drawn by hand: a panel per series, axes
// labelled with units, failures marked by a shape as well as a colour.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Duration per cycle (microseconds, index = cycle - 1) on a logarithmic axis in
// milliseconds: each column's median as a line, its min-max as a band, and a
// triangle above each column holding a cycle in `failedCycles`.
void AppendDurationPlot(std::string& out, const std::string& title, const std::vector<float>& perCycleUs,
                        const std::vector<std::uint32_t>& failedCycles);

// Resource samples (cycle, value / `divisor`) on a linear axis labelled `unit`,
// with the least-squares line dashed; a panel saying "not measured here" when
// there are no samples.
void AppendSamplePlot(std::string& out, const std::string& title, const std::string& unit,
                      const std::vector<double>& cycles, const std::vector<double>& values, double divisor,
                      std::uint32_t lastCycle);

// The order of a burn-in run's steps, when it samples the process's resources,
// what its progress line says and how the run ends. Plain C++: the dialog runs
// one step per message and asks this what comes next.
#pragma once

#include <cstdint>

#include "BoundedText.h"

namespace burnin {

// In the order they run: a cycle's steps follow one another in it.
enum class Step {
    Open,      // OpenDevice on the run's port, once
    Status,    // getDeviceStatus, first of each cycle
    ReadCard,  // readCard
    CardInfo,  // the card-information read: eleven GetCardInfo calls, the photo written
    Close,     // CloseDevice, once, after the last cycle or when the run was stopped
    Finished,  // nothing more: write the report and end
};

class Schedule {
public:
    // A run of `cycles` cycles (at least 1).
    explicit Schedule(std::uint32_t cycles);

    Step Current() const { return m_step; }
    // The cycle the current step belongs to (0-based); the cycle count once closed.
    std::uint32_t Cycle() const { return m_cycle; }
    std::uint32_t Cycles() const { return m_cycles; }
    // Cycles whose card-information read has finished.
    std::uint32_t CyclesDone() const { return m_done; }
    bool Stopped() const { return m_stopped; }

    // Moves past the current step.
    void Advance();
    // The operator asked to stop: the step that runs now is the last before Close.
    // Does nothing once the device is being closed.
    void Stop();

    // Whether the resources are to be sampled now, before the current step runs:
    // before the device is opened, just after it (before the first cycle),
    // after every SampleInterval(cycles) cycles, just before it is closed, and
    // once the run has finished.
    bool SampleDue() const;

private:
    std::uint32_t m_cycles;
    std::uint32_t m_interval;
    std::uint32_t m_cycle = 0;
    std::uint32_t m_done = 0;
    Step m_step = Step::Open;
    bool m_stopped = false;
};

// What the run shows under the form, e.g. "137 / 1000 · 剩余约 2 分 10 秒": the
// cycles done, the cycles asked, and the time left at the pace so far (from
// `elapsedMilliseconds` since the first cycle began). Before the first cycle has
// finished there is no pace yet: "0 / 1000".
using ProgressLine = WideText<64>;
ProgressLine ProgressText(std::uint32_t done, std::uint32_t cycles, std::uint64_t elapsedMilliseconds);

}  // namespace burnin

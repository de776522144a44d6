#include "Schedule.h"

#include "Resources.h"

namespace burnin {

Schedule::Schedule(std::uint32_t cycles)
    : m_cycles(cycles == 0 ? 1 : cycles), m_interval(SampleInterval(m_cycles))
{
}

void Schedule::Advance()
{
    if (m_step == Step::Close || m_step == Step::Finished) {
        m_step = Step::Finished;
        return;
    }
    // The next step of the cycle; after its card information, the next cycle or,
    // after the last, the close. A stop closes after the step that ran.
    auto next = static_cast<Step>(static_cast<int>(m_step) + 1);
    if (m_step == Step::CardInfo) {
        m_done = ++m_cycle;
        next = m_cycle == m_cycles ? Step::Close : Step::Status;
    }
    m_step = m_stopped ? Step::Close : next;
}

void Schedule::Stop()
{
    if (m_step != Step::Close && m_step != Step::Finished)
        m_stopped = true;
}

bool Schedule::SampleDue() const
{
    switch (m_step) {
    case Step::Open:
    case Step::Close:
    case Step::Finished:
        return true;
    case Step::Status:
        return m_cycle % m_interval == 0;  // cycle 0: just after the open
    default:
        return false;
    }
}

ProgressLine ProgressText(std::uint32_t done, std::uint32_t cycles, std::uint64_t elapsedMilliseconds)
{
    ProgressLine line;
    line.AppendDecimal(done).Append(L" / ").AppendDecimal(cycles);
    if (done == 0 || done >= cycles)
        return line;
    // Rounded up to whole seconds, so that "0 秒" is never shown while work remains.
    const std::uint64_t leftMilliseconds = elapsedMilliseconds * (cycles - done) / done;
    std::uint64_t left = (leftMilliseconds + 999) / 1000;
    line.Append(L" · 剩余约 ");
    // From a minute on, the larger unit and then the smaller one.
    struct Units {
        std::uint32_t larger;  // in seconds
        std::uint32_t smaller;
        const wchar_t* largerName;
        const wchar_t* smallerName;
    };
    static const Units kUnits[] = {{3600, 60, L" 小时 ", L" 分"}, {60, 1, L" 分 ", L" 秒"}};
    const wchar_t* name = L" 秒";
    if (left >= 60) {
        const Units& units = kUnits[left >= 3600 ? 0 : 1];
        line.AppendDecimal(static_cast<std::int64_t>(left / units.larger)).Append(units.largerName);
        left = left % units.larger / units.smaller;
        name = units.smallerName;
    }
    line.AppendDecimal(static_cast<std::int64_t>(left)).Append(name);
    return line;
}

}  // namespace burnin

#include "Schedule.h"

#include "Resources.h"

namespace burnin {

Schedule::Schedule(std::uint32_t cycles)
    : m_cycles(cycles == 0 ? 1 : cycles), m_interval(SampleInterval(m_cycles))
{
}

void Schedule::Advance()
{
    switch (m_step) {
    case Step::Open:
        m_step = m_stopped ? Step::Close : Step::Status;
        return;
    case Step::Status:
        m_step = m_stopped ? Step::Close : Step::ReadCard;
        return;
    case Step::ReadCard:
        m_step = m_stopped ? Step::Close : Step::CardInfo;
        return;
    case Step::CardInfo:
        m_done = ++m_cycle;
        m_step = m_stopped || m_cycle == m_cycles ? Step::Close : Step::Status;
        return;
    case Step::Close:
        m_step = Step::Finished;
        return;
    case Step::Finished:
        return;
    }
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
    const std::uint64_t seconds = (leftMilliseconds + 999) / 1000;
    line.Append(L" · 剩余约 ");
    if (seconds >= 3600)
        line.AppendDecimal(static_cast<std::int64_t>(seconds / 3600)).Append(L" 小时 ")
            .AppendDecimal(static_cast<std::int64_t>(seconds % 3600 / 60)).Append(L" 分");
    else if (seconds >= 60)
        line.AppendDecimal(static_cast<std::int64_t>(seconds / 60)).Append(L" 分 ")
            .AppendDecimal(static_cast<std::int64_t>(seconds % 60)).Append(L" 秒");
    else
        line.AppendDecimal(static_cast<std::int64_t>(seconds)).Append(L" 秒");
    return line;
}

}  // namespace burnin

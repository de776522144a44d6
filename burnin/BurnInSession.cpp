#include "BurnInSession.h"

#include <cstring>

#include "BoundedText.h"
#include "CardInfoCommand.h"
#include "DeviceCommands.h"
#include "LongestPath.h"

namespace burnin {

BurnInSession::BurnInSession(const SessionRequest& request, SessionWorld& world, CallObserver* observer)
    : m_request(request), m_world(world), m_observer(observer), m_recorder(request.success),
      m_schedule(request.cycles)
{
}

StepResult BurnInSession::RunStep()
{
    // The figures' fixed storage could not be taken: the report says so at once,
    // rather than after hours of cycles it could not record.
    if (m_schedule.Current() == Step::Open && m_recorder.Figures().incomplete)
        return Finish();
    const bool sample = m_schedule.SampleDue();
    if (sample)
        m_recorder.RecordResources(m_world.SampleResources(m_schedule.CyclesDone()));
    // The report's folder is proven before the first call: a mistyped path must
    // not cost the whole run.
    if (m_schedule.Current() == Step::Open && m_request.reportPath) {
        const ReportOutcome proof = Checkpoint();
        if (!proof.written) {
            m_end.reportRefused = true;
            m_reportError = proof.error;
            if (m_request.fromWindow)
                return Finish();  // its verdict says it did not run, and why
            UnattendedText reason;
            reason.Append(L"无法写入老化测试报告 ").Append(m_request.reportPath);
            m_world.AppendErrorReason(reason, proof.error);
            reason.Append(L"：未打开设备，老化测试未开始");
            m_world.TellUnattended(reason.c_str());
            m_exitCode = kExitReportNotWritten;
            m_failed = true;
            return StepResult::Over;
        }
    }    // Checkpoints: at every resource sample and at least every 30 s, so that a
    // run killed, or ended by its library, leaves its figures so far.
    const Step step = m_schedule.Current();
    if (step != Step::Open && step != Step::Finished && m_request.reportPath &&
        (sample || m_world.Milliseconds() - m_checkpointWritten >= kCheckpointEveryMs)) {
        // Counted, and a reason in the verdict; the run goes on, and the earlier pair stays.
        const ReportOutcome checkpoint = Checkpoint();
        if (!checkpoint.written) {
            ++m_end.checkpointsNotWritten;
            m_end.checkpointError = checkpoint.error;
        }
    }

    switch (step) {
    case Step::Open:
        m_world.RunCommand(&RunOpenDevice);
        break;
    case Step::Status:
        if (!m_cycleBegun) {
            m_cycleBegun = true;
            m_firstCycleBegan = m_world.Milliseconds();
        }
        m_recorder.BeginCycle(m_schedule.Cycle() + 1);
        m_world.RunCommand(&RunDeviceStatus);
        break;
    case Step::ReadCard:
        m_world.RunCommand(&RunReadCard);
        break;
    case Step::CardInfo:
        m_world.RunCommand(&RunReadCardInfo);
        m_recorder.EndCycle();
        break;
    case Step::Close:
        // A run stopped part-way through a cycle ends that cycle unfinished.
        m_recorder.AbandonCycle();
        m_world.RunCommand(&RunCloseDevice);
        break;
    case Step::Finished:
        return Finish();
    }
    m_schedule.Advance();
    return StepResult::Next;
}

RunEnd BurnInSession::Standing(bool finished)
{
    m_end.finished = finished;
    m_world.CountLostWrites(m_end);
    return m_end;
}

ReportOutcome BurnInSession::Checkpoint()
{
    m_checkpointWritten = m_world.Milliseconds();
    return m_world.WriteReport(m_recorder.Figures(), Standing(false));
}

StepResult BurnInSession::Finish()
{
    // A stop that came during the last cycle stopped nothing.
    if (m_schedule.Stopped() && m_schedule.CyclesDone() < m_schedule.Cycles())
        m_recorder.Stop();
    const RunEnd end = Standing(true);
    const RunVerdict verdict = JudgeRun(m_recorder.Figures(), end);
    ReportOutcome final;
    final.written = true;
    if (m_request.reportPath)
        final = m_world.WriteReport(m_recorder.Figures(), end);
    const bool written = final.written;
    if (m_request.reportPath && !written)
        m_reportError = final.error;
    m_reportWritten = m_request.reportPath != nullptr && written;
    m_failed = verdict.failed;
    m_exitCode = BurnInExitCode(verdict, written);
    return StepResult::Over;
}

int BurnInSession::TimedOut(Operation operation, std::uint32_t timeoutSeconds)
{
    // The dialog's thread is inside the library, or waits for the end: nothing
    // else touches the figures now. The cycle under way did not finish.
    const Step step = m_schedule.Current();
    const bool inCycle = step >= Step::Status && step <= Step::CardInfo;
    m_recorder.AbandonCycle();
    m_end.timedOut = true;
    m_end.timedOutOperation = operation;
    m_end.timeoutSeconds = timeoutSeconds;
    m_end.timedOutCycle = inCycle ? m_schedule.Cycle() + 1 : 0;
    const RunEnd end = Standing(true);
    if (m_request.reportPath)
        m_reportWritten = m_world.WriteReport(m_recorder.Figures(), end).written;
    m_failed = true;
    WideText<96> reason;
    const char* name = OperationName(operation);
    reason.Append(L"读卡器库 ").AppendNarrow(name, std::strlen(name)).Append(L" 调用 ").AppendDecimal(timeoutSeconds)
        .Append(L" 秒内未返回（第 ").AppendDecimal(end.timedOutCycle).Append(L" 轮），老化测试结束");
    m_world.TellUnattended(reason.c_str());
    m_exitCode = kExitCallDidNotReturn;
    return m_exitCode;
}

void BurnInSession::BeforeCall(const CallRecord& call)
{
    if (m_observer)
        m_observer->BeforeCall(call);
}

void BurnInSession::OnCall(const CallRecord& call)
{
    m_recorder.OnCall(call);
    if (m_observer)
        m_observer->OnCall(call);
}

}  // namespace burnin

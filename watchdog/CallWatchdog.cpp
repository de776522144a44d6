#include "CallWatchdog.h"

#include <process.h>

#include <initializer_list>

namespace {

constexpr LONG kIdle = 0;
constexpr LONG kInCall = 1;
constexpr LONG kClaimed = 2;
constexpr LONG kPhase = 3;
// How often the watchdog looks: a timeout is acted on at most this late, and a
// call costs the calling thread no system call to be watched.
constexpr DWORD kLookEveryMs = 100;

}  // namespace

CallWatchdog::~CallWatchdog()
{
    if (m_stop)
        SetEvent(m_stop.Get());
    for (const win32::KernelHandle* thread : {&m_thread, &m_deadlineThread}) {
        if (*thread)
            WaitForSingleObject(thread->Get(), INFINITE);
    }
}

bool CallWatchdog::Start(WatchdogClient& client, std::uint32_t timeoutSeconds, std::uint32_t noticeSeconds,
                         ClaimDeadline deadline)
{
    m_client = &client;
    m_timeoutMs = std::uint64_t{timeoutSeconds} * 1000;
    m_noticeMs = std::uint64_t{noticeSeconds} * 1000;
    m_deadline = deadline;
    m_stop.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!m_stop)
        return false;
    // Made now, while nothing hangs: at the claim the heap may be held.
    if (deadline.milliseconds != 0) {
        m_claimed.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!m_claimed)
            return false;
        m_deadlineThread.Reset(CreateThread(nullptr, 64 * 1024, &CallWatchdog::DeadlineMain, this,
                                            STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
        if (!m_deadlineThread)
            return false;
    }
    // The C runtime's own start, since the client formats text on this thread.
    m_thread.Reset(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 64 * 1024, &CallWatchdog::ThreadMain, this, 0,
                                                           nullptr)));
    return static_cast<bool>(m_thread);
}

bool CallWatchdog::Claim(const WatchedCall& call)
{
    if ((call.state & kPhase) != kInCall ||
        InterlockedCompareExchange(&m_state, (call.state & ~kPhase) | kClaimed, call.state) != call.state)
        return false;
    if (m_claimed)
        SetEvent(m_claimed.Get());
    return true;
}

DWORD WINAPI CallWatchdog::DeadlineMain(void* self)
{
    auto* watchdog = static_cast<CallWatchdog*>(self);
    const HANDLE events[] = {watchdog->m_stop.Get(), watchdog->m_claimed.Get()};
    if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0 + 1)
        return 0;
    if (WaitForSingleObject(watchdog->m_stop.Get(), watchdog->m_deadline.milliseconds) == WAIT_TIMEOUT)
        TerminateProcess(GetCurrentProcess(), watchdog->m_deadline.exitCode);
    return 0;
}

void CallWatchdog::BeforeCall(const CallRecord& call)
{
    if (m_inner)
        m_inner->BeforeCall(call);
    m_operation = call.operation;
    m_hasArgument = call.hasArgument;
    m_argument = call.argument;
    // A full barrier: the call's facts are there before the watchdog can see it run.
    m_number = (m_number + 1) & 0x1FFFFFFF;
    InterlockedExchange(&m_state, m_number * 4 + kInCall);
}

void CallWatchdog::OnCall(const CallRecord& call)
{
    const LONG running = m_number * 4 + kInCall;
    if (InterlockedCompareExchange(&m_state, m_number * 4 + kIdle, running) != running) {
        // Claimed: the watchdog's client is writing what the run has and ends the
        // process; nothing here may change it meanwhile.
        for (;;)
            Sleep(INFINITE);
    }
    if (m_inner)
        m_inner->OnCall(call);
}

bool CallWatchdog::StillRunning(const WatchedCall& call) const
{
    return InterlockedCompareExchange(const_cast<volatile LONG*>(&m_state), 0, 0) == call.state;
}

std::uint64_t CallWatchdog::RunningMilliseconds(const WatchedCall& call) const
{
    return StillRunning(call) ? GetTickCount64() - m_seenSince : 0;
}

unsigned __stdcall CallWatchdog::ThreadMain(void* self)
{
    static_cast<CallWatchdog*>(self)->Watch();
    return 0;
}

void CallWatchdog::Watch()
{
    LONG noticed = -1;  // the state of the call last noticed
    while (WaitForSingleObject(m_stop.Get(), kLookEveryMs) == WAIT_TIMEOUT) {
        const LONG state = InterlockedCompareExchange(&m_state, 0, 0);
        const std::uint64_t now = GetTickCount64();
        if ((state & kPhase) != kInCall) {
            m_seen = state;
            continue;
        }
        // Counted from when the watchdog first saw the call: never early, at most
        // one look late.
        if (state != m_seen) {
            m_seen = state;
            m_seenSince = now;
        }
        const std::uint64_t running = now - m_seenSince;
        if (m_timeoutMs != 0 && running >= m_timeoutMs) {
            if (Claim(WatchedCall{Operation::OpenDevice, false, 0, state})) {
                // The calling thread is inside the library or waiting: its facts hold still.
                const WatchedCall call{m_operation, m_hasArgument, m_argument, state};
                m_client->OnCallTimedOut(call, static_cast<std::uint32_t>(m_timeoutMs / 1000));
                return;
            }
            continue;  // it returned just now
        }
        if (m_noticeMs != 0 && running >= m_noticeMs && state != noticed) {
            noticed = state;
            WatchedCall call{m_operation, m_hasArgument, m_argument, state};
            // Read while the call ran; a newer call would have changed the state.
            if (StillRunning(call))
                m_client->OnCallOverdue(call, *this);
        }
    }
}

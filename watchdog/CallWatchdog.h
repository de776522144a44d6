// A watchdog of Zantor's own over the library's calls: a thread that notices a
// call that has not returned, while the thread that made it is inside the library
// and can do nothing. It tells its client, on its own thread, once a call has run
// for the notice time (the console names the call in a window), or claims the
// call once it has run for the timeout (a burn-in writes its report and ends).
//
// One state word holds the running call's number and its phase. The calling
// thread moves it from idle to in-call before each call and back after it; the
// watchdog moves it from in-call to claimed. Both moves are interlocked, so a call
// that returns at the moment of its timeout is either back (the watchdog does
// nothing) or claimed (the calling thread waits, and the watchdog's client ends
// the process): never both. The hang notice's button claims a call the same way.
//
// A claimed call has a deadline of its own: the client writes what it can (a
// report, which needs the heap, which the library's hung thread may hold locked),
// and a third thread, which touches nothing that can block, ends the process
// with the timeout's exit status if it is still there when the deadline passes.
#pragma once

#include <windows.h>

#include <cstdint>

#include "CallRecord.h"
#include "Win32Owners.h"

// The call the watchdog is looking at.
struct WatchedCall {
    Operation operation = Operation::OpenDevice;
    bool hasArgument = false;
    std::int32_t argument = 0;
    LONG state = 0;  // the state word while it runs: which call this is
};

class CallWatchdog;

class WatchdogClient {
public:
    // On the watchdog's thread, once `call` has run past the timeout and the
    // watchdog has claimed it: the thread that made it will never touch anything
    // again, even when the call returns. Expected to end the process.
    virtual void OnCallTimedOut(const WatchedCall& call, std::uint32_t timeoutSeconds) = 0;
    // On the watchdog's thread, once `call` has run past the notice time. May run
    // until watchdog.StillRunning(call) is false, and may claim it; the call is
    // not noticed again.
    virtual void OnCallOverdue(const WatchedCall& call, CallWatchdog& watchdog) = 0;

protected:
    // Never destroyed through this interface: its owner knows what it is.
    ~WatchdogClient() = default;
};

// What a claimed call's deadline does: the process ends with `exitCode` once
// `milliseconds` have passed since the claim (0: no deadline).
struct ClaimDeadline {
    std::uint32_t milliseconds = 0;
    UINT exitCode = 0;
};

// Also an observer that goes between the reader and `inner`: each call is armed
// after `inner` was told it starts, and disarmed before `inner` is told it returned.
class CallWatchdog final : public CallObserver {
public:
    // `inner`: told of every call; may be null.
    explicit CallWatchdog(CallObserver* inner) : m_inner(inner) {}
    // Stops the watchdog's thread and waits for it.
    ~CallWatchdog();
    CallWatchdog(const CallWatchdog&) = delete;
    CallWatchdog& operator=(const CallWatchdog&) = delete;

    // Starts the thread: `client` is told of a call running past `noticeSeconds`
    // and claims one running past `timeoutSeconds` (0: never); with a deadline,
    // also the thread that keeps it. False when a thread could not be
    // started (calls are then made unwatched, or without the deadline).
    bool Start(WatchdogClient& client, std::uint32_t timeoutSeconds, std::uint32_t noticeSeconds,
               ClaimDeadline deadline = ClaimDeadline());

    void BeforeCall(const CallRecord& call) override;
    // When the watchdog has claimed the call, never returns: the client ends the process.
    void OnCall(const CallRecord& call) override;

    // Whether `call` is still running, and for how long the watchdog has seen it run.
    bool StillRunning(const WatchedCall& call) const;
    // Claims `call` if it is still running, as the timeout does: true when the
    // thread that made it will never touch anything again (the caller then ends
    // the process); false when it has returned. Starts the deadline.
    bool Claim(const WatchedCall& call);
    std::uint64_t RunningMilliseconds(const WatchedCall& call) const;

private:
    static unsigned __stdcall ThreadMain(void* self);
    void Watch();
    // The deadline's thread: waits for a claim, then for the deadline, and ends
    // the process; only kernel calls, no heap, no lock.
    static DWORD WINAPI DeadlineMain(void* self);

    CallObserver* m_inner;
    WatchdogClient* m_client = nullptr;
    std::uint64_t m_timeoutMs = 0;
    std::uint64_t m_noticeMs = 0;
    // The state word: the call's number times 4, plus its phase (below).
    volatile LONG m_state = 0;
    LONG m_number = 0;  // the calling thread's count of calls
    // The running call, written before it is armed.
    Operation m_operation = Operation::OpenDevice;
    bool m_hasArgument = false;
    std::int32_t m_argument = 0;
    // The watchdog thread's own: the state it saw last and since when.
    LONG m_seen = 0;
    std::uint64_t m_seenSince = 0;
    win32::KernelHandle m_stop;
    win32::KernelHandle m_thread;
    ClaimDeadline m_deadline;
    win32::KernelHandle m_claimed;  // set at the claim
    win32::KernelHandle m_deadlineThread;
};

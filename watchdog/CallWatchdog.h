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
// the process): never both.
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
    // until watchdog.StillRunning(call) is false; the call is not noticed again.
    virtual void OnCallOverdue(const WatchedCall& call, const CallWatchdog& watchdog) = 0;

protected:
    // Never destroyed through this interface: its owner knows what it is.
    ~WatchdogClient() = default;
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
    // and claims one running past `timeoutSeconds` (0: never). False when the
    // thread could not be started (calls are then made unwatched).
    bool Start(WatchdogClient& client, std::uint32_t timeoutSeconds, std::uint32_t noticeSeconds);

    void BeforeCall(const CallRecord& call) override;
    // When the watchdog has claimed the call, never returns: the client ends the process.
    void OnCall(const CallRecord& call) override;

    // Whether `call` is still running, and for how long the watchdog has seen it run.
    bool StillRunning(const WatchedCall& call) const;
    std::uint64_t RunningMilliseconds(const WatchedCall& call) const;

private:
    static unsigned __stdcall ThreadMain(void* self);
    void Watch();

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
};

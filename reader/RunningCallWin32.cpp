#include "RunningCall.h"

#include <windows.h>

#include <atomic>

namespace running {

namespace {

std::atomic<const CallHooks*> g_hooks{nullptr};
std::atomic<std::uint8_t> g_operation{kNoCall};
std::atomic<std::uint32_t> g_thread{0};

}  // namespace

void SetCallHooks(const CallHooks* hooks) { g_hooks.store(hooks, std::memory_order_release); }

void Begin(std::uint8_t operation)
{
    // The hooks first: what the library takes from the first instruction of the
    // call on is attributed to a call already counted.
    const CallHooks* hooks = g_hooks.load(std::memory_order_acquire);
    if (hooks != nullptr)
        hooks->begin(operation);
    g_thread.store(GetCurrentThreadId(), std::memory_order_release);
    g_operation.store(operation, std::memory_order_release);
}

void End()
{
    g_operation.store(kNoCall, std::memory_order_release);
    g_thread.store(0, std::memory_order_release);
    const CallHooks* hooks = g_hooks.load(std::memory_order_acquire);
    if (hooks != nullptr)
        hooks->end();
}

std::uint8_t Operation() { return g_operation.load(std::memory_order_acquire); }
std::uint32_t CallingThread() { return g_thread.load(std::memory_order_acquire); }

}  // namespace running

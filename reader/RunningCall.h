// The library call running on Zantor's thread, for whatever watches what the
// library asks of Windows meanwhile: the operation and the thread making it,
// readable from any thread without a lock, and hooks told as each call begins
// and ends. A layer above installs the hooks; nothing here knows what they do.
#pragma once

#include <cstdint>

namespace running {

// No call running.
constexpr std::uint8_t kNoCall = 0xFF;

// Told on Zantor's thread just before each library call (`operation`: 0 to 4, the
// operations in the order of their declaration) and just after it returned or raised.
struct CallHooks {
    void (*begin)(std::uint8_t operation);
    void (*end)();
};
// Installs `hooks` (static storage; null: none).
void SetCallHooks(const CallHooks* hooks);

// Marks the call of `operation` as running on the calling thread, and tells the hooks.
void Begin(std::uint8_t operation);
// Marks it ended, and tells the hooks.
void End();

// The operation running, or kNoCall, and the thread that makes it (0 when none).
std::uint8_t Operation();
std::uint32_t CallingThread();

// A running call for a scope.
class Scope {
public:
    explicit Scope(std::uint8_t operation) { Begin(operation); }
    ~Scope() { End(); }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
};

}  // namespace running

#include "GuardedCall.h"

#include <windows.h>

#include <malloc.h>

namespace guarded {

CallOutcome Outcome(std::int32_t result, const Facts& facts)
{
    if (!facts.raised)
        return CallOutcome::Returned(result);
    CallOutcome outcome;
    outcome.raised = true;
    outcome.exceptionCode = static_cast<std::uint32_t>(facts.code);
    outcome.exceptionAddress = facts.address;
    // An access violation names the data address and whether it was a write (1).
    constexpr std::uintptr_t kAccessViolation = 0xC0000005;
    if (facts.code == kAccessViolation && facts.parameters >= 2) {
        outcome.accessAddress = facts.information[1];
        outcome.writeAccess = facts.information[0] == 1;
    }
    return outcome;
}

}  // namespace guarded

CallOutcome GuardedCall(const void* function, const std::uintptr_t* arguments, std::size_t count)
{
    guarded::Facts facts{};
    const std::int32_t result = guarded::zantor_guarded_call(function, arguments, count, &facts);
    // The overflow used up the stack's guard page: put it back, or the next
    // overflow would end the process.
    constexpr std::uintptr_t kStackOverflow = 0xC00000FD;
    if (facts.raised && facts.code == kStackOverflow)
        _resetstkoflw();
    CallOutcome outcome = guarded::Outcome(result, facts);
    // The module the fault lies in, while it is surely still loaded.
    HMODULE module = nullptr;
    if (outcome.raised &&
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCWSTR>(outcome.exceptionAddress), &module))
        outcome.moduleBase = reinterpret_cast<std::uintptr_t>(module);
    return outcome;
}

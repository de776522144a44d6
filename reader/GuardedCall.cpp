#include "GuardedCall.h"

#include <windows.h>

#include <malloc.h>

#include <cstddef>
#include <cstring>
#include <cwchar>

namespace guarded {

// The assembly addresses these members by fixed offsets.
#ifdef _WIN64
static_assert(offsetof(ObservedCall, raised) == 24 && offsetof(ObservedCall, atCall) == 72 &&
                  offsetof(ObservedCall, atReturn) == 328 && offsetof(ObservedCall, fpuEnvironment) == 584 &&
                  offsetof(MachineState, rsp) == 64 && offsetof(MachineState, x87Tag) == 86 &&
                  offsetof(MachineState, xmm) == 96 && sizeof(MachineState) == 256,
              "the layout GuardedCallX64.S uses");
#else
static_assert(offsetof(ObservedCall, raised) == 12 && offsetof(ObservedCall, atCall) == 36 &&
                  offsetof(ObservedCall, atReturn) == 72 && offsetof(ObservedCall, fpuEnvironment) == 108 &&
                  offsetof(MachineState, esp) == 16 && offsetof(MachineState, x87Tag) == 30 &&
                  offsetof(MachineState, exceptionChain) == 32 && sizeof(MachineState) == 36,
              "the layout GuardedCallX86.S uses");
#endif

namespace {

struct CalleeSaved {
    const char* name;
    std::size_t offset;  // of the register in MachineState
};

#ifdef _WIN64
constexpr CalleeSaved kCalleeSaved[] = {
    {"RBX", offsetof(MachineState, rbx)}, {"RBP", offsetof(MachineState, rbp)},
    {"RDI", offsetof(MachineState, rdi)}, {"RSI", offsetof(MachineState, rsi)},
    {"R12", offsetof(MachineState, r12)}, {"R13", offsetof(MachineState, r13)},
    {"R14", offsetof(MachineState, r14)}, {"R15", offsetof(MachineState, r15)},
};
constexpr const char* kXmmNames[] = {"XMM6",  "XMM7",  "XMM8",  "XMM9",  "XMM10",
                                     "XMM11", "XMM12", "XMM13", "XMM14", "XMM15"};
using Word = std::uint64_t;
#else
constexpr CalleeSaved kCalleeSaved[] = {
    {"EBX", offsetof(MachineState, ebx)},
    {"ESI", offsetof(MachineState, esi)},
    {"EDI", offsetof(MachineState, edi)},
    {"EBP", offsetof(MachineState, ebp)},
};
using Word = std::uint32_t;
#endif

Word RegisterAt(const MachineState& state, std::size_t offset)
{
    Word value;
    std::memcpy(&value, reinterpret_cast<const unsigned char*>(&state) + offset, sizeof value);
    return value;
}

void Add(CallOutcome& outcome, ContractRule rule, const char* name, std::uint64_t before, std::uint64_t after,
         bool restored = true)
{
    if (outcome.breachCount == CallOutcome::kMaxBreaches)
        return;  // cannot happen: the array holds every rule there is
    ContractBreach& breach = outcome.breaches[outcome.breachCount++];
    breach.rule = rule;
    breach.name = name;
    breach.before[0] = before;
    breach.after[0] = after;
    breach.restored = restored;
}

// The x87 registers in use, from the tag word: two bits each, 3 meaning empty.
std::uint64_t X87Values(std::uint16_t tagWord)
{
    std::uint64_t count = 0;
    for (int i = 0; i < 8; ++i)
        count += ((tagWord >> (2 * i)) & 3) != 3;
    return count;
}

constexpr std::uint64_t kDirectionFlag = 0x400;
constexpr std::uint32_t kMxcsrControl = 0xFFC0;  // masks, rounding, flush-to-zero, denormals-are-zero

// The rules a function that returned may have broken.
void CompareReturn(CallOutcome& outcome, const MachineState& call, const MachineState& back, std::size_t count)
{
    for (const CalleeSaved& reg : kCalleeSaved) {
        const Word before = RegisterAt(call, reg.offset);
        const Word after = RegisterAt(back, reg.offset);
        if (before != after)
            Add(outcome, ContractRule::Register, reg.name, before, after);
    }
#ifdef _WIN64
    for (std::size_t i = 0; i < 10; ++i) {
        if (call.xmm[i][0] == back.xmm[i][0] && call.xmm[i][1] == back.xmm[i][1])
            continue;
        Add(outcome, ContractRule::Register, kXmmNames[i], call.xmm[i][0], back.xmm[i][0]);
        ContractBreach& breach = outcome.breaches[outcome.breachCount - 1];
        breach.before[1] = call.xmm[i][1];
        breach.after[1] = back.xmm[i][1];
    }
#endif
    if (back.flags & kDirectionFlag)
        Add(outcome, ContractRule::DirectionFlag, "DF", 0, 1);
    if (call.x87Control != back.x87Control)
        Add(outcome, ContractRule::X87Control, "x87cw", call.x87Control, back.x87Control);
    if ((call.mxcsr ^ back.mxcsr) & kMxcsrControl)
        Add(outcome, ContractRule::Mxcsr, "MXCSR", call.mxcsr, back.mxcsr);
    if (const std::uint64_t values = X87Values(back.x87Tag))
        Add(outcome, ContractRule::X87Stack, "x87stack", 0, values);
#ifdef _WIN64
    static_cast<void>(count);
    outcome.convention = Convention::X64;
    if (call.rsp != back.rsp)
        Add(outcome, ContractRule::StackPointer, "RSP", call.rsp, back.rsp);
#else
    // ESP at the call instruction and after the return: the difference is what
    // the function took off the stack for its arguments.
    const std::int64_t popped = static_cast<std::int64_t>(back.esp) - static_cast<std::int64_t>(call.esp);
    outcome.stackBytesPopped = static_cast<std::int32_t>(popped);
    if (popped == 0) {
        outcome.convention = Convention::Cdecl;
    } else if (popped == static_cast<std::int64_t>(4 * count)) {
        outcome.convention = Convention::Stdcall;
    } else {
        outcome.convention = Convention::Unbalanced;
        Add(outcome, ContractRule::StackPopped, "ESP", 4 * count, static_cast<std::uint64_t>(popped));
    }
    if (call.exceptionChain != back.exceptionChain)
        Add(outcome, ContractRule::ExceptionChain, "fs:[0]", call.exceptionChain, back.exceptionChain);
#endif
}

}  // namespace

CallOutcome Outcome(std::int32_t result, const ObservedCall& observed, std::size_t count)
{
    CallOutcome outcome;
    if (!observed.raised) {
        outcome.result = result;
        CompareReturn(outcome, observed.atCall, observed.atReturn, count);
        return outcome;
    }
    // A call that raised stopped part-way: what it left in registers says
    // nothing, and the state is put back all the same.
    outcome.raised = true;
    outcome.exceptionCode = static_cast<std::uint32_t>(observed.code);
    outcome.exceptionAddress = observed.address;
    // An access violation names the data address and whether it was a write (1).
    constexpr std::uintptr_t kAccessViolation = 0xC0000005;
    if (observed.code == kAccessViolation && observed.parameters >= 2) {
        outcome.accessAddress = observed.information[1];
        outcome.writeAccess = observed.information[0] == 1;
    }
    return outcome;
}

}  // namespace guarded

namespace {

// How deep guarded calls may nest: a library calling a guarded function from
// inside its own call. The console itself never nests them.
constexpr std::size_t kMaxDepth = 4;

// Per depth: the guard's record of the call (static, out of the library's
// reach) and the current directory before it.
guarded::ObservedCall g_observed[kMaxDepth];
wchar_t g_directoryBefore[kMaxDepth][32768];
wchar_t g_directoryAfter[32768];
std::size_t g_depth = 0;

std::uint64_t Nanoseconds(std::uint64_t ticks)
{
    static const std::uint64_t frequency = [] {
        LARGE_INTEGER value;
        QueryPerformanceFrequency(&value);
        return static_cast<std::uint64_t>(value.QuadPart);
    }();
    constexpr std::uint64_t kPerSecond = 1000000000;
    return ticks / frequency * kPerSecond + ticks % frequency * kPerSecond / frequency;
}

// `path` into `copy` of `capacity`, cut with "..." when it does not fit.
void CopyPath(wchar_t* copy, std::size_t capacity, const wchar_t* path)
{
    std::size_t length = 0;
    while (path[length] != 0)
        ++length;
    if (length < capacity) {
        std::memcpy(copy, path, (length + 1) * sizeof(wchar_t));
        return;
    }
    std::memcpy(copy, path, (capacity - 4) * sizeof(wchar_t));
    std::memcpy(copy + capacity - 4, L"...", 4 * sizeof(wchar_t));
}

}  // namespace

CallOutcome GuardedCall(const void* function, const std::uintptr_t* arguments, std::size_t count)
{
    if (g_depth == kMaxDepth) {
        CallOutcome refused;
        refused.raised = true;
        refused.exceptionCode = kNestedCallRefused;
        return refused;
    }
    const std::size_t depth = g_depth++;
    guarded::ObservedCall& observed = g_observed[depth];
    std::memset(&observed, 0, sizeof observed);
    wchar_t* directoryBefore = g_directoryBefore[depth];
    const DWORD beforeLength = GetCurrentDirectoryW(32768, directoryBefore);

    LARGE_INTEGER start;
    LARGE_INTEGER end;
    QueryPerformanceCounter(&start);
    const std::int32_t result = guarded::zantor_guarded_call(function, arguments, count, &observed);
    QueryPerformanceCounter(&end);

    // The overflow used up the stack's guard page: put it back, or the next
    // overflow would end the process.
    constexpr std::uintptr_t kStackOverflow = 0xC00000FD;
    if (observed.raised && observed.code == kStackOverflow)
        _resetstkoflw();

    CallOutcome outcome = guarded::Outcome(result, observed, count);
    outcome.durationNanoseconds = Nanoseconds(static_cast<std::uint64_t>(end.QuadPart - start.QuadPart));
    // The current directory is the library's to change (it may rely on it), so it
    // is reported, not put back.
    const DWORD afterLength = GetCurrentDirectoryW(32768, g_directoryAfter);
    if (beforeLength != 0 && afterLength != 0 && std::wcscmp(directoryBefore, g_directoryAfter) != 0 &&
        outcome.breachCount < CallOutcome::kMaxBreaches) {
        ContractBreach& breach = outcome.breaches[outcome.breachCount++];
        breach.rule = ContractRule::CurrentDirectory;
        breach.name = "cwd";
        breach.restored = false;
        CopyPath(outcome.directoryBefore, CallOutcome::kDirectoryCapacity, directoryBefore);
        CopyPath(outcome.directoryAfter, CallOutcome::kDirectoryCapacity, g_directoryAfter);
    }
    g_depth = depth;

    // The module the fault lies in, while it is surely still loaded.
    HMODULE module = nullptr;
    if (outcome.raised &&
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCWSTR>(outcome.exceptionAddress), &module))
        outcome.moduleBase = reinterpret_cast<std::uintptr_t>(module);
    return outcome;
}

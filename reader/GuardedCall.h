// One call of a reader library function that cannot take the console down: the
// function may pop its arguments or leave them (stdcall or cdecl), and whatever
// structured exception it raises (an access violation, an illegal instruction, a
// C++ exception thrown out of it, a missing entry point...) comes back as a
// CallOutcome with raised set. The outcome also says how long the call took and
// which rules of the calling contract the function broke; the guard puts back
// everything the caller may rely on. Windows only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "Reader.h"

namespace guarded {

// The machine state the guard records at the call and at the return (the layout
// is the assembly's: GuardedCallX86.S, GuardedCallX64.S).
struct MachineState {
#ifdef _WIN64
    std::uint64_t rbx, rbp, rdi, rsi, r12, r13, r14, r15;
    std::uint64_t rsp;
    std::uint64_t flags;
    std::uint32_t mxcsr;
    std::uint16_t x87Control;
    std::uint16_t x87Tag;  // at the return only
    std::uint64_t unused;
    std::uint64_t xmm[10][2];  // XMM6-XMM15, low word first
#else
    std::uint32_t ebx, esi, edi, ebp;
    std::uint32_t esp;
    std::uint32_t flags;
    std::uint32_t mxcsr;
    std::uint16_t x87Control;
    std::uint16_t x87Tag;  // at the return only
    std::uint32_t exceptionChain;  // fs:[0]
#endif
};

// Everything the guard keeps of one call: its own bookkeeping, what the
// exception handler saw, and the machine state at the call and at the return.
// Must lie in static storage, out of the library's reach: the guard finds it
// again after the call through a static pointer, trusting no register, and its
// exception handler uses it only after checking that it is one of the guard's
// own records, that of the call running in the frame the handler was called for.
struct GuardRecord {
    GuardRecord* previous;  // the call this one is nested in, if any
    std::uintptr_t frame;   // the guard's own frame
    std::uintptr_t result;
    std::uintptr_t raised;
    std::uintptr_t code;
    std::uintptr_t address;     // where the exception was raised
    std::uintptr_t parameters;
    std::uintptr_t information[2];
    MachineState atCall;
    MachineState atReturn;
    std::uint8_t fpuEnvironment[28];  // the x87 environment, where the tag word is read from
    // Below here, C++ only.
    const void* function;            // the library function called, set before the call
    std::uintptr_t libraryReturn;    // a software exception's first return address into the library, or 0
};

// The call itself: calls `function` with `count` (1 to 3) pointer-sized
// arguments and returns its 32-bit result; when it raises, returns 0 with
// `record` saying so. `record` starts zeroed, with `function` set, and is one of
// the guard's own (GuardedCall's).
extern "C" std::int32_t zantor_guarded_call(const void* function, const std::uintptr_t* arguments,
                                            std::uintptr_t count, GuardRecord* record);

// What the assembly handler does with an exception, as zantor_guard_catch decides.
enum class Catch : int {
    Resume = 0,  // continue at the context, which was changed (ExceptionContinueExecution)
    PassOn = 1,  // not the guard's: let the next handler see it (ExceptionContinueSearch)
    Unwind = 2,  // recorded: unwind to the guard's return
};

// Writes into `outcome` (as constructed) the outcome of a call of `count`
// arguments that returned `result` or raised as `record` says, with the contract
// rules it broke (registers, flags, floating-point state, stack; not the current
// directory, which the caller compares). A software exception with a return
// address into the library is placed there, with the raising place beside it.
// Pure: no system call. Filled in place: the caller's one outcome is the one it
// returns, neither built twice nor copied.
void Outcome(CallOutcome& outcome, std::int32_t result, const GuardRecord& record, std::size_t count);

// An argument as the pointer-sized word the guard pushes or passes in a register.
inline std::uintptr_t ArgumentWord(std::int32_t value)
{
    return static_cast<std::uintptr_t>(static_cast<std::intptr_t>(value));
}
template <typename T>
std::uintptr_t ArgumentWord(T* pointer)
{
    return reinterpret_cast<std::uintptr_t>(pointer);
}

}  // namespace guarded

// Calls `function` (a library export, by its address) with `count` (1 to 3)
// arguments, each a pointer-sized word. Single-threaded; a library that calls a
// guarded function again from inside its call may nest up to four deep, deeper
// calls are refused (raised, with kNestedCallRefused).
CallOutcome GuardedCall(const void* function, const std::uintptr_t* arguments, std::size_t count);

// The exception code of a call refused because calls nested too deep.
constexpr std::uint32_t kNestedCallRefused = 0xE0000001;

// The same with the arguments given one by one (integers or pointers).
template <typename... Arguments>
CallOutcome GuardedCall(const void* function, Arguments... arguments)
{
    static_assert(sizeof...(Arguments) >= 1 && sizeof...(Arguments) <= 3, "1 to 3 arguments");
    const std::uintptr_t words[] = {guarded::ArgumentWord(arguments)...};
    return GuardedCall(function, words, sizeof...(Arguments));
}

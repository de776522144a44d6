// The reader's five operations as an interface, so that the commands run against
// the imported library in the program and against a recording fake in tests.
#pragma once

#include <cstddef>
#include <cstdint>

// One rule of the calling contract that a library call broke. The guard compares
// the machine's state at the call with the state the function returned with.
enum class ContractRule : std::uint8_t {
    Register,          // a callee-saved register changed: EBX, RBX, XMM6...
    DirectionFlag,     // DF left set
    X87Control,        // the x87 control word changed
    Mxcsr,             // MXCSR's control bits changed
    X87Stack,          // values left on the x87 register stack; `after[0]` says how many
    StackPopped,       // 32-bit: bytes popped neither 0 nor 4 per argument; `after[0]` says how many
    StackPointer,      // 64-bit: RSP not where it was; before and after are RSP
    ExceptionChain,    // 32-bit: the thread's exception chain (fs:[0]) differed
    CurrentDirectory,  // the current directory changed; the paths are in the outcome
};

struct ContractBreach {
    ContractRule rule = ContractRule::Register;
    const char* name = "";         // the state's usual name, ASCII: "EBX", "XMM6", "DF", "MXCSR"...
    std::uint64_t before[2] = {};  // the value at the call; XMM registers use both words, low first
    std::uint64_t after[2] = {};   // the value the function returned with
    bool restored = false;         // Zantor put the state back after the call
};

// Which convention the function's return showed (32-bit: how many bytes it popped).
enum class Convention : std::uint8_t {
    X64,         // the one 64-bit convention
    Stdcall,     // popped 4 bytes per argument
    Cdecl,       // popped nothing
    Unbalanced,  // popped another amount: a StackPopped breach says how many
    Unknown,     // the call raised before returning
};

// How one call of the library ended: it returned a result, or it raised a
// structured exception (an access violation, an illegal instruction, a C++
// exception thrown out of the library...) that the call contained. Either way
// it says how long the call took and which rules of the calling contract it broke.
struct CallOutcome {
    // The most rules one call can break: 64-bit has 18 callee-saved registers
    // (8 general, 10 XMM), and 6 other states.
    static constexpr std::size_t kMaxBreaches = 24;
    // A current directory as the system returns it: up to 32767 characters, but a
    // path longer than this is kept cut (and ends in "...").
    static constexpr std::size_t kDirectoryCapacity = 520;

    bool raised = false;
    std::int32_t result = 0;               // when it returned
    std::uint32_t exceptionCode = 0;       // when it raised: e.g. 0xC0000005
    // Where the fault is placed: the instruction that faulted; for a software
    // exception (a C++ throw, RaiseException) raised outside the library, the
    // first return address into the library's module, when one was found.
    std::uintptr_t exceptionAddress = 0;
    std::uintptr_t moduleBase = 0;         // the module holding it; 0 when none does
    // A software exception placed at the library's return address: where it was
    // raised (in KERNELBASE.dll, say), and the module holding that; 0 otherwise.
    std::uintptr_t raisedAddress = 0;
    std::uintptr_t raisedModuleBase = 0;
    // For an access violation: the data address touched, and whether it was a write.
    std::uintptr_t accessAddress = 0;
    bool writeAccess = false;

    std::uint64_t durationNanoseconds = 0;  // from just before the call to just after it
    Convention convention = Convention::Unknown;
    std::int32_t stackBytesPopped = 0;      // 32-bit, when it returned
    ContractBreach breaches[kMaxBreaches];
    std::size_t breachCount = 0;
    // With a CurrentDirectory breach: the folder before and after the call.
    wchar_t directoryBefore[kDirectoryCapacity] = {};
    wchar_t directoryAfter[kDirectoryCapacity] = {};

    static CallOutcome Returned(std::int32_t code)
    {
        CallOutcome outcome;
        outcome.result = code;
        return outcome;
    }
};

// The exception code of an access violation: a read or write of an address the
// process may not touch, a guard page past a buffer among them.
constexpr std::uint32_t kAccessViolation = 0xC0000005;

class Reader {
public:
    virtual CallOutcome OpenDevice(std::int32_t port, char* errorText) = 0;
    virtual CallOutcome CloseDevice(char* errorText) = 0;
    virtual CallOutcome getDeviceStatus(char* statusText) = 0;
    virtual CallOutcome readCard(char* statusText) = 0;
    virtual CallOutcome GetCardInfo(std::int32_t index, char* value, char* errorText) = 0;
    // Says that the call after the coming one is made at once when the coming
    // one returns 0, with nothing shown between, so that what records the calls
    // may keep the coming call's record until the next one starts. Holds for
    // the coming call only. Ignored by default.
    virtual void NextCallFollows() {}

protected:
    // Never destroyed through this interface: no virtual destructor, none of its
    // copies in the program.
    ~Reader() = default;
};

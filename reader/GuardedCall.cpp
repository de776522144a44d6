#include "GuardedCall.h"

#include <windows.h>

#include <malloc.h>

#include <cstddef>
#include <cstring>
#include <cwchar>

#include "LongestPath.h"
#include "ReturnAddress.h"

namespace guarded {

// The assembly addresses these members by fixed offsets.
#ifdef _WIN64
static_assert(offsetof(GuardRecord, raised) == 24 && offsetof(GuardRecord, atCall) == 72 &&
                  offsetof(GuardRecord, atReturn) == 328 && offsetof(GuardRecord, fpuEnvironment) == 584 &&
                  offsetof(MachineState, rsp) == 64 && offsetof(MachineState, x87Tag) == 86 &&
                  offsetof(MachineState, xmm) == 96 && sizeof(MachineState) == 256,
              "the layout GuardedCallX64.S uses");
#else
static_assert(offsetof(GuardRecord, raised) == 12 && offsetof(GuardRecord, atCall) == 36 &&
                  offsetof(GuardRecord, atReturn) == 72 && offsetof(GuardRecord, fpuEnvironment) == 108 &&
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

void Outcome(CallOutcome& outcome, std::int32_t result, const GuardRecord& record, std::size_t count)
{
    if (!record.raised) {
        outcome.result = result;
        CompareReturn(outcome, record.atCall, record.atReturn, count);
        return;
    }
    // A call that raised stopped part-way: what it left in registers says
    // nothing, and the state is put back all the same.
    outcome.raised = true;
    outcome.exceptionCode = static_cast<std::uint32_t>(record.code);
    outcome.exceptionAddress = record.address;
    if (record.libraryReturn != 0) {
        outcome.exceptionAddress = record.libraryReturn;
        outcome.raisedAddress = record.address;
    }
    // An access violation names the data address and whether it was a write (1).
    if (record.code == kAccessViolation && record.parameters >= 2) {
        outcome.accessAddress = record.information[1];
        outcome.writeAccess = record.information[0] == 1;
    }
}

}  // namespace guarded

// Set by the assembly at the call, reset on the way out; and the guard's first
// instruction after the library function returns.
extern "C" guarded::GuardRecord* zantor_guard_current;
extern "C" const char zantor_guard_returned[];

namespace {

// How deep guarded calls may nest: a library calling a guarded function from
// inside its own call. The console itself never nests them.
constexpr std::size_t kMaxDepth = 4;

// Per depth: the guard's record of the call (static, out of the library's
// reach) and the current directory before it.
guarded::GuardRecord g_records[kMaxDepth];
wchar_t g_directoryBefore[kMaxDepth][kLongestPath];
wchar_t g_directoryAfter[kLongestPath];
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

// The module holding `address`, or 0.
std::uintptr_t ModuleAt(std::uintptr_t address)
{
    HMODULE module = nullptr;
    if (address == 0 ||
        !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(address), &module))
        return 0;
    return reinterpret_cast<std::uintptr_t>(module);
}

// The function a call of `function` runs: past an import thunk, the jmp through
// the import's slot (FF 25) that the linker puts in the program for an import
// the compiler was not told is one, as the console's imports of the library are.
std::uintptr_t CalledFunction(const void* function)
{
    const auto at = reinterpret_cast<std::uintptr_t>(function);
    const auto* code = static_cast<const unsigned char*>(function);
    if (code[0] != 0xFF || code[1] != 0x25)
        return at;
    std::int32_t displacement;
    std::memcpy(&displacement, code + 2, sizeof displacement);
#ifdef _WIN64
    const std::uintptr_t slot = at + 6 + static_cast<std::uintptr_t>(static_cast<std::intptr_t>(displacement));
#else
    const auto slot = static_cast<std::uintptr_t>(static_cast<std::uint32_t>(displacement));
#endif
    // The slot is the program's own import table, beside the thunk.
    if (ModuleAt(slot) == 0 || ModuleAt(slot) != ModuleAt(at))
        return at;
    return *reinterpret_cast<const std::uintptr_t*>(slot);
}

// Exceptions the processor raises: kept where the instruction faulted.
bool IsProcessorFault(DWORD code)
{
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_GUARD_PAGE:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_BREAKPOINT:
    case EXCEPTION_SINGLE_STEP:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_STACK_CHECK:
    case EXCEPTION_FLT_UNDERFLOW:
    case EXCEPTION_STACK_OVERFLOW:
    case 0xC00002B4:  // STATUS_FLOAT_MULTIPLE_FAULTS
    case 0xC00002B5:  // STATUS_FLOAT_MULTIPLE_TRAPS
        return true;
    default:
        return false;
    }
}

// The loaded image at `base`: its headers, as the loader mapped them.
const IMAGE_NT_HEADERS* ImageHeaders(std::uintptr_t base)
{
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    return reinterpret_cast<const IMAGE_NT_HEADERS*>(base + static_cast<std::uintptr_t>(dos->e_lfanew));
}

// The thread's stack, [low, high).
void StackBounds(std::uintptr_t& low, std::uintptr_t& high)
{
    // The TEB, which starts with the NT_TIB (NtCurrentTeb trips -Warray-bounds).
    const NT_TIB* tib;
#ifdef _WIN64
    asm("movq %%gs:0x30, %0" : "=r"(tib));
#else
    asm("movl %%fs:0x18, %0" : "=r"(tib));
#endif
    low = reinterpret_cast<std::uintptr_t>(tib->StackLimit);
    high = reinterpret_cast<std::uintptr_t>(tib->StackBase);
}

#ifdef _WIN64

// Walks the frames from the raising context up to the guard's own by their
// unwind data (a frame without any taken as a leaf, as the dispatcher takes it):
// the first return address inside [begin, end), or 0.
std::uintptr_t FirstLibraryReturn(const CONTEXT& raised, std::uintptr_t begin, std::uintptr_t end,
                                  const guarded::GuardRecord& record)
{
    std::uintptr_t low = 0;
    std::uintptr_t high = 0;
    StackBounds(low, high);
    const std::uintptr_t top = record.atCall.rsp;  // the library's frames all lie below
    CONTEXT context = raised;
    for (int frame = 0; frame < 4096; ++frame) {
        if (context.Rsp < low || context.Rsp >= top || context.Rsp % 8 != 0)
            return 0;
        DWORD64 imageBase = 0;
        if (PRUNTIME_FUNCTION entry = RtlLookupFunctionEntry(context.Rip, &imageBase, nullptr)) {
            void* handlerData = nullptr;
            DWORD64 establisher = 0;
            RtlVirtualUnwind(UNW_FLAG_NHANDLER, imageBase, context.Rip, entry, &context, &handlerData, &establisher,
                             nullptr);
        } else {
            context.Rip = *reinterpret_cast<const DWORD64*>(context.Rsp);
            context.Rsp += 8;
        }
        if (context.Rip >= begin && context.Rip < end)
            return context.Rip;
    }
    return 0;
}

#else

// Scans the stack from the raising context up to the guard's own return address
// for the first return address into the library's code (x86 code carries no
// unwind data to walk the frames by).
std::uintptr_t FirstLibraryReturn(const CONTEXT& raised, std::uintptr_t base, std::uintptr_t,
                                  const guarded::GuardRecord& record)
{
    std::uintptr_t low = 0;
    std::uintptr_t high = 0;
    StackBounds(low, high);
    const std::uintptr_t top = record.atCall.esp - 4;  // the slot of the return into the guard
    const std::uintptr_t from = (raised.Esp + 3) & ~std::uintptr_t{3};
    if (from < low || from > top || top > high)
        return 0;
    CodeRange code[8];
    std::size_t count = 0;
    const IMAGE_NT_HEADERS* headers = ImageHeaders(base);
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(headers);
    for (unsigned i = 0; i < headers->FileHeader.NumberOfSections && count < 8; ++i, ++section) {
        if ((section->Characteristics & IMAGE_SCN_MEM_EXECUTE) && (section->Characteristics & IMAGE_SCN_MEM_READ))
            code[count++] = {base + section->VirtualAddress, base + section->VirtualAddress + section->Misc.VirtualSize};
    }
    return FirstReturnInto(reinterpret_cast<const std::uintptr_t*>(from), reinterpret_cast<const std::uintptr_t*>(top),
                           code, count);
}

#endif

// The guard's record of the call whose frame the handler was called for, when
// the static pointer names one: null for anything else.
guarded::GuardRecord* RecordOf(std::uintptr_t establisher)
{
    guarded::GuardRecord* record = zantor_guard_current;
    if (record < g_records || record >= g_records + kMaxDepth)
        return nullptr;
#ifdef _WIN64
    // The frame's stack pointer after the guard's prologue.
    const std::uintptr_t expected = record->frame;
#else
    // Its exception record, below the saved registers and the chain's copy
    // (RECORD in GuardedCallX86.S).
    const std::uintptr_t expected = record->frame - 32;
#endif
    return record->frame != 0 && establisher == expected ? record : nullptr;
}

}  // namespace

extern "C" {

// The handler's decision, in the search pass of an exception raised in the frame
// `establisher` (not while unwinding).
guarded::Catch zantor_guard_catch(EXCEPTION_RECORD* exception, void* establisher, CONTEXT* context)
{
    guarded::GuardRecord* record = RecordOf(reinterpret_cast<std::uintptr_t>(establisher));
    if (record == nullptr)
        return guarded::Catch::PassOn;
    constexpr DWORD kTrapFlag = 0x100;
    // The function returned with the trap flag set: the trap fires on the
    // guard's first instruction after it. The call returned; go on without the
    // flag (the system may have cleared it in the context already; the flags are
    // put back from the copy taken at the call).
    if (exception->ExceptionCode == EXCEPTION_SINGLE_STEP &&
        exception->ExceptionAddress == static_cast<const void*>(zantor_guard_returned)) {
        context->EFlags &= ~kTrapFlag;
        return guarded::Catch::Resume;
    }
    // The first exception of the call is the one reported; a later one was
    // raised while the library's own cleanup ran during the unwind.
    if (record->raised)
        return guarded::Catch::Unwind;
    record->raised = 1;
    record->code = exception->ExceptionCode;
    record->address = reinterpret_cast<std::uintptr_t>(exception->ExceptionAddress);
    record->parameters = exception->NumberParameters;
    record->information[0] = exception->ExceptionInformation[0];
    record->information[1] = exception->ExceptionInformation[1];
    // A software exception raised outside the library (by RaiseException for a
    // C++ throw) is placed where the library called for it.
    if (!IsProcessorFault(exception->ExceptionCode)) {
        if (const std::uintptr_t base = ModuleAt(CalledFunction(record->function))) {
            const std::uintptr_t end = base + ImageHeaders(base)->OptionalHeader.SizeOfImage;
            if (record->address < base || record->address >= end)
                record->libraryReturn = FirstLibraryReturn(*context, base, end, *record);
        }
    }
    return guarded::Catch::Unwind;
}

}  // extern "C"

CallOutcome GuardedCall(const void* function, const std::uintptr_t* arguments, std::size_t count)
{
    CallOutcome outcome;
    if (g_depth == kMaxDepth) {
        outcome.raised = true;
        outcome.exceptionCode = kNestedCallRefused;
        return outcome;
    }
    const std::size_t depth = g_depth++;
    guarded::GuardRecord& record = g_records[depth];
    std::memset(&record, 0, sizeof record);
    record.function = function;
    wchar_t* directoryBefore = g_directoryBefore[depth];
    const DWORD beforeLength = GetCurrentDirectoryW(static_cast<DWORD>(kLongestPath), directoryBefore);

    LARGE_INTEGER start;
    LARGE_INTEGER end;
    QueryPerformanceCounter(&start);
    const std::int32_t result = guarded::zantor_guarded_call(function, arguments, count, &record);
    QueryPerformanceCounter(&end);

    // The overflow used up the stack's guard page: put it back, or the next
    // overflow would end the process.
    constexpr std::uintptr_t kStackOverflow = 0xC00000FD;
    if (record.raised && record.code == kStackOverflow)
        _resetstkoflw();

    guarded::Outcome(outcome, result, record, count);
    outcome.durationNanoseconds = Nanoseconds(static_cast<std::uint64_t>(end.QuadPart - start.QuadPart));
    // The current directory is the library's to change (it may rely on it), so it
    // is reported, not put back.
    const DWORD afterLength = GetCurrentDirectoryW(static_cast<DWORD>(kLongestPath), g_directoryAfter);
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

    // The modules the fault lies in, while they are surely still loaded.
    if (outcome.raised) {
        outcome.moduleBase = ModuleAt(outcome.exceptionAddress);
        outcome.raisedModuleBase = ModuleAt(outcome.raisedAddress);
    }
    return outcome;
}

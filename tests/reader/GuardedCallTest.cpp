// The guarded call under Wine: either calling convention, many calls in a row on
// an unchanged stack, parameters the caller did not pass, every kind of fault
// contained and reported, and the exception-record chain as it was after each call.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>

#include "GuardedCall.h"
#include "GuardedPages.h"

#ifdef _WIN64
#define TEST_STDCALL
#define TEST_CDECL
#else
#define TEST_STDCALL __attribute__((stdcall))
#define TEST_CDECL __attribute__((cdecl))
#endif

namespace {

// The stack pointer each function last ran on.
volatile std::uintptr_t g_frame = 0;

#define RECORD_FRAME() g_frame = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0))

extern "C" {

__attribute__((noinline)) std::int32_t TEST_CDECL Cdecl1(std::int32_t a)
{
    RECORD_FRAME();
    return a + 1;
}
__attribute__((noinline)) std::int32_t TEST_CDECL Cdecl2(std::int32_t a, const char* b)
{
    RECORD_FRAME();
    return a * 10 + (b[0] - '0');
}
__attribute__((noinline)) std::int32_t TEST_CDECL Cdecl3(std::int32_t a, const char* b, char* c)
{
    RECORD_FRAME();
    c[0] = b[0];
    return a - 1;
}
__attribute__((noinline)) std::int32_t TEST_STDCALL Stdcall1(std::int32_t a)
{
    RECORD_FRAME();
    return a + 1;
}
__attribute__((noinline)) std::int32_t TEST_STDCALL Stdcall2(std::int32_t a, const char* b)
{
    RECORD_FRAME();
    return a * 10 + (b[0] - '0');
}
__attribute__((noinline)) std::int32_t TEST_STDCALL Stdcall3(std::int32_t a, const char* b, char* c)
{
    RECORD_FRAME();
    c[0] = b[0];
    return a - 1;
}
// Declared with three parameters more than it is given: it reads them (they must
// be zeros) and, on 32-bit, pops six arguments.
__attribute__((noinline)) std::int32_t TEST_STDCALL Stdcall6(std::int32_t a, const char*, char*, std::uintptr_t d,
                                                             std::uintptr_t e, std::uintptr_t f)
{
    RECORD_FRAME();
    return (d | e | f) == 0 ? a - 1 : -1;
}
// Stores junk into the eight parameters its caller did not pass, as a library
// declared with more parameters may (on 64-bit: its home slot and the caller's
// stack slots, where nothing of the guard's may lie).
__attribute__((noinline)) std::int32_t TEST_CDECL StoresIntoUnpassedParameters(
    std::int32_t a, const char*, char*, volatile std::uintptr_t d, volatile std::uintptr_t e,
    volatile std::uintptr_t f, volatile std::uintptr_t g, volatile std::uintptr_t h, volatile std::uintptr_t i,
    volatile std::uintptr_t j, volatile std::uintptr_t k)
{
    RECORD_FRAME();
    d = e = f = g = h = i = j = k = 0x5A5A5A5A;
    return a - 1 + static_cast<std::int32_t>(d - k);
}
// Reads eight parameters it was not given: all must be zeros.
__attribute__((noinline)) std::int32_t TEST_CDECL ReadsEightUnpassedParameters(
    std::int32_t a, const char*, char*, std::uintptr_t d, std::uintptr_t e, std::uintptr_t f, std::uintptr_t g,
    std::uintptr_t h, std::uintptr_t i, std::uintptr_t j, std::uintptr_t k)
{
    RECORD_FRAME();
    return (d | e | f | g | h | i | j | k) == 0 ? a - 1 : -1;
}
__attribute__((noinline)) std::int32_t TEST_STDCALL Sleeps20Milliseconds(char*)
{
    Sleep(20);
    return 0;
}
// Pops twelve bytes, given one argument.
__attribute__((naked)) std::int32_t TEST_STDCALL PopsTwelveBytes(char*)
{
#ifdef _WIN64
    asm("xorl %eax, %eax\n ret");
#else
    asm("xorl %eax, %eax\n ret $12");
#endif
}

// Addresses no page is mapped at; volatile, so the accesses are made as written.
volatile std::uintptr_t g_address16 = 16;
volatile std::uintptr_t g_address32 = 32;
volatile bool g_deeper = true;

__attribute__((noinline)) std::int32_t TEST_STDCALL ReadsAddress16(char*)
{
    return *reinterpret_cast<volatile std::int32_t*>(g_address16);
}
__attribute__((noinline)) std::int32_t TEST_STDCALL WritesAddress32(char*)
{
    *reinterpret_cast<volatile std::int32_t*>(g_address32) = 1;
    return 0;
}
__attribute__((noinline)) std::int32_t TEST_STDCALL DividesByZero(char*)
{
    volatile std::int32_t dividend = 100;
    volatile std::int32_t zero = 0;
    return dividend / zero;
}
__attribute__((noinline)) std::int32_t TEST_STDCALL ExecutesUd2(char*)
{
    __builtin_trap();
}
__attribute__((noinline)) std::int32_t TEST_STDCALL ExecutesHlt(char*)
{
    asm volatile("hlt");
    return 0;
}
// A C++ exception as a Visual C++-built library throws it: a non-continuable
// structured exception.
__attribute__((noinline)) std::int32_t TEST_STDCALL ThrowsCppException(char*)
{
    const ULONG_PTR parameters[3] = {0x19930520, 0, 0};
    RaiseException(0xE06D7363, EXCEPTION_NONCONTINUABLE, 3, parameters);
    return 0;
}
// What Wine's stub for an entry point the library lacks raises, with its two
// parameters, the module's and the function's names (Wine reads them).
__attribute__((noinline)) std::int32_t TEST_STDCALL MissingEntryPoint(char*)
{
    const ULONG_PTR names[2] = {reinterpret_cast<ULONG_PTR>("Mervik.dll"), reinterpret_cast<ULONG_PTR>("OpenDevice")};
    RaiseException(0x80000100, EXCEPTION_NONCONTINUABLE, 2, names);
    return 0;
}
__attribute__((noinline)) std::int32_t TEST_STDCALL Recurses(char* depth)
{
    volatile char frame[512];
    frame[0] = depth ? depth[0] : 0;
    const std::int32_t deeper = g_deeper ? Recurses(const_cast<char*>(frame)) : 0;
    asm volatile("" ::: "memory");
    return deeper + frame[0];
}
// Handles a fault of its own inside and returns normally.
__attribute__((noinline)) std::int32_t TEST_STDCALL HandlesItsOwnFault(char* text)
{
    const CallOutcome inner = GuardedCall(reinterpret_cast<const void*>(&ReadsAddress16), text);
    return inner.raised ? 7 : -1;
}
// Declared with a second parameter that it is not given, and writes through it.
__attribute__((noinline)) std::int32_t TEST_STDCALL WritesThroughItsSecondParameter(char*, std::int32_t* length)
{
    *static_cast<volatile std::int32_t*>(length) = 5;
    return 0;
}
__attribute__((noinline)) std::int32_t TEST_STDCALL WritesOnePast(char* block)
{
    block[static_cast<unsigned char>(block[0])] = 'X';  // block[0] holds the block's size
    return 0;
}

}  // extern "C"

// The value a register-changing callee found in the register at its entry.
extern "C" {
volatile std::uintptr_t g_seen = 0;
}

// Callees that return having broken one rule of the calling contract, each in
// assembly so that the compiler around them is told nothing false. They take one
// argument and pop nothing.
#ifdef _WIN64
#define SYMBOL(name) name
#else
#define SYMBOL(name) "_" name
#endif
#ifdef _WIN64
#define CALLEE(name, body) \
    asm(".text\n.globl " #name "\n" #name ":\n" body "\nxorl %eax, %eax\nret\n"); \
    extern "C" std::int32_t name(char*);
#define SET_REGISTER(name, reg) CALLEE(name, "movq %" #reg ", g_seen(%rip)\nmovabsq $0x0BADF00D0BADF00D, %" #reg)
#define SET_XMM(name, reg) CALLEE(name, "pcmpeqd %" #reg ", %" #reg)
SET_REGISTER(ChangesRbx, rbx)
SET_REGISTER(ChangesRbp, rbp)
SET_REGISTER(ChangesRdi, rdi)
SET_REGISTER(ChangesRsi, rsi)
SET_REGISTER(ChangesR12, r12)
SET_REGISTER(ChangesR15, r15)
SET_XMM(ChangesXmm6, xmm6)
SET_XMM(ChangesXmm15, xmm15)
// Returns with RSP 64 bytes lower than it should be.
CALLEE(MovesRsp, "popq %rcx\nsubq $64, %rsp\npushq %rcx")
#else
#define CALLEE(name, body) \
    asm(".text\n.globl _" #name "\n_" #name ":\n" body "\nxorl %eax, %eax\nret\n"); \
    extern "C" std::int32_t name(char*);
#define SET_REGISTER(name, reg) CALLEE(name, "movl %" #reg ", _g_seen\nmovl $0x0BADF00D, %" #reg)
SET_REGISTER(ChangesEbx, ebx)
SET_REGISTER(ChangesEsi, esi)
SET_REGISTER(ChangesEdi, edi)
SET_REGISTER(ChangesEbp, ebp)
// Returns what it found in EAX, ECX and EDX, as a register convention reads them.
asm(".text\n.globl _ReadsEaxEcxEdx\n_ReadsEaxEcxEdx:\norl %ecx, %eax\norl %edx, %eax\nret\n");
extern "C" std::int32_t ReadsEaxEcxEdx(char*);
// Leaves fs:[0] at the record after the guard's, as if it had taken ours off.
CALLEE(SkipsARecord, "movl %fs:0, %ecx\nmovl (%ecx), %ecx\nmovl %ecx, %fs:0")
#endif
// Pushes callee-saved registers, as a compiled function does, and reads address
// 16, with no unwind data: the dispatcher must still find the guard's frame.
#ifdef _WIN64
CALLEE(FaultsAfterPushingRegisters, "pushq %rbx\npushq %rbp\npushq %rsi\npushq %rdi\nmovl 16, %eax")
#define FLAGS_OR(bits) "pushfq\norq $" bits ", (%rsp)\npopfq"
#else
CALLEE(FaultsAfterPushingRegisters, "pushl %ebx\npushl %ebp\npushl %esi\npushl %edi\nmovl 16, %eax")
#define FLAGS_OR(bits) "pushfl\norl $" bits ", (%esp)\npopfl"
#endif
// Returns with TF set by its last instruction but one: the trap fires at the
// guard's first instruction after the return.
asm(".text\n.globl " SYMBOL("ReturnsWithTrapFlag") "\n" SYMBOL("ReturnsWithTrapFlag") ":\nxorl %eax, %eax\n"
    FLAGS_OR("0x100") "\nret\n");
extern "C" std::int32_t ReturnsWithTrapFlag(char*);
CALLEE(ReturnsWithAlignmentCheck, FLAGS_OR("0x40000"))
CALLEE(FaultsWithAlignmentCheck, FLAGS_OR("0x40000") "\nmovl 16, %eax")
#ifdef _WIN64
#define ON_STACK(load, value) "subq $8, %rsp\nmovl $" value ", (%rsp)\n" load " (%rsp)\naddq $8, %rsp"
#else
#define ON_STACK(load, value) "subl $4, %esp\nmovl $" value ", (%esp)\n" load " (%esp)\naddl $4, %esp"
#endif
CALLEE(SetsDirectionFlag, "std")
CALLEE(ChangesX87Control, ON_STACK("fldcw", "0x0260"))  // every x87 exception unmasked
CALLEE(ChangesMxcsr, ON_STACK("ldmxcsr", "0"))          // every SSE exception unmasked
CALLEE(LeavesTwoX87Values, "fld1\nfldz")

// The head of the thread's exception-record chain, or 0 if it is broken as Windows
// with SEH overwrite protection checks it: each record on the stack, 4-aligned,
// above the one before, the last link 0xFFFFFFFF. 64-bit has no chain: always 1.
std::uintptr_t SehChain()
{
#ifdef _WIN64
    return 1;
#else
    const NT_TIB* tib;  // fs:[0x18], the TEB, which starts with the NT_TIB (NtCurrentTeb trips -Warray-bounds)
    asm("movl %%fs:0x18, %0" : "=r"(tib));
    const auto low = reinterpret_cast<std::uintptr_t>(tib->StackLimit);
    const auto high = reinterpret_cast<std::uintptr_t>(tib->StackBase);
    std::uintptr_t previous = 0;
    for (const EXCEPTION_REGISTRATION_RECORD* record = tib->ExceptionList;
         reinterpret_cast<std::uintptr_t>(record) != 0xFFFFFFFF; record = record->Next) {
        const auto at = reinterpret_cast<std::uintptr_t>(record);
        if (at < low || at > high - sizeof *record || at % 4 != 0 || at <= previous)
            return 0;
        previous = at;
    }
    return reinterpret_cast<std::uintptr_t>(tib->ExceptionList);
#endif
}

struct CallRow {
    const char* what;
    const void* function;
    std::size_t count;
    std::int32_t expected;
};

TEST(GuardedCall, EitherConventionManyTimesOnTheSameStack)
{
    const char digit[] = "7";
    char out[2] = {};
    const CallRow rows[] = {
        {"cdecl, one argument", reinterpret_cast<const void*>(&Cdecl1), 1, 42},
        {"cdecl, two arguments", reinterpret_cast<const void*>(&Cdecl2), 2, 417},
        {"cdecl, three arguments", reinterpret_cast<const void*>(&Cdecl3), 3, 40},
        {"stdcall, one argument", reinterpret_cast<const void*>(&Stdcall1), 1, 42},
        {"stdcall, two arguments", reinterpret_cast<const void*>(&Stdcall2), 2, 417},
        {"stdcall, three arguments", reinterpret_cast<const void*>(&Stdcall3), 3, 40},
        {"stores into the parameters it was not given", reinterpret_cast<const void*>(&StoresIntoUnpassedParameters),
         3, 40},
        {"stdcall, six parameters, given three (right after the junk)", reinterpret_cast<const void*>(&Stdcall6), 3,
         40},
        {"reads the eight parameters it was not given", reinterpret_cast<const void*>(&ReadsEightUnpassedParameters),
         3, 40},
    };
#ifdef _WIN64
    const Convention conventions[] = {Convention::X64, Convention::X64, Convention::X64, Convention::X64,
                                      Convention::X64, Convention::X64, Convention::X64, Convention::X64,
                                      Convention::X64};
#else
    // Six parameters popped where three were given: neither convention.
    const Convention conventions[] = {Convention::Cdecl,   Convention::Cdecl,   Convention::Cdecl,
                                      Convention::Stdcall, Convention::Stdcall, Convention::Stdcall,
                                      Convention::Cdecl,   Convention::Unbalanced, Convention::Cdecl};
#endif
    const std::uintptr_t arguments[] = {41, reinterpret_cast<std::uintptr_t>(digit),
                                        reinterpret_cast<std::uintptr_t>(out)};
    std::uintptr_t firstFrame[std::size(rows)] = {};
    static_assert(std::size(rows) == std::size(conventions), "a convention per row");
    const std::uintptr_t chain = SehChain();
    ASSERT_NE(chain, 0u);
    for (int round = 0; round < 1000; ++round) {
        for (std::size_t i = 0; i < std::size(rows); ++i) {
            const CallRow& row = rows[i];
            const CallOutcome outcome = GuardedCall(row.function, arguments, row.count);
            ASSERT_EQ(SehChain(), chain) << row.what << ": the exception-record chain changed";
            ASSERT_FALSE(outcome.raised) << row.what;
            ASSERT_EQ(outcome.result, row.expected) << row.what;
            ASSERT_EQ(outcome.convention, conventions[i]) << row.what;
            ASSERT_EQ(outcome.breachCount, conventions[i] == Convention::Unbalanced ? 1u : 0u) << row.what;
            if (round == 0)
                firstFrame[i] = g_frame;
            ASSERT_EQ(g_frame, firstFrame[i]) << row.what << ", call " << round << ": the stack pointer drifted";
        }
    }
    EXPECT_EQ(out[0], '7');
}

struct FaultRow {
    const char* what;
    std::int32_t(TEST_STDCALL* function)(char*);
    std::uint32_t code;
    std::uintptr_t accessAddress;  // access violations only
    bool write;
    bool software = false;  // raised by RaiseException: placed at its return address into the function
};

template <typename Function>
std::int32_t(TEST_STDCALL* AsFaultRow(Function function))(char*)
{
    return reinterpret_cast<std::int32_t(TEST_STDCALL*)(char*)>(reinterpret_cast<void (*)()>(function));
}

std::uintptr_t ModuleOf(std::uintptr_t address)
{
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(address), &module);
    return reinterpret_cast<std::uintptr_t>(module);
}

TEST(GuardedCall, ContainsEachFaultAndTheNextCallWorks)
{
    const FaultRow rows[] = {
        {"read of address 16", &ReadsAddress16, 0xC0000005, 16, false},
        {"write to address 32", &WritesAddress32, 0xC0000005, 32, true},
        {"integer divide by zero", &DividesByZero, 0xC0000094, 0, false},
        {"illegal instruction", &ExecutesUd2, 0xC000001D, 0, false},
        {"privileged instruction", &ExecutesHlt, 0xC0000096, 0, false},
        {"C++ exception thrown out", &ThrowsCppException, 0xE06D7363, 0, false, true},
        {"missing entry point", &MissingEntryPoint, 0x80000100, 0, false, true},
        {"fault after pushing registers, no unwind data", AsFaultRow(&FaultsAfterPushingRegisters), 0xC0000005, 16,
         false},
        {"write through a parameter it was not given",
         reinterpret_cast<decltype(FaultRow::function)>(reinterpret_cast<void (*)()>(&WritesThroughItsSecondParameter)),
         0xC0000005, 0, true},
#ifndef _WIN64  // Wine ends a 64-bit process whose stack overflows before any handler runs
        {"stack overflow", &Recurses, 0xC00000FD, 0, false},
        {"stack overflow again", &Recurses, 0xC00000FD, 0, false},
#endif
    };
    char text[4] = {};
    const std::uintptr_t chain = SehChain();
    ASSERT_NE(chain, 0u);
    for (const FaultRow& row : rows) {
        const CallOutcome outcome = GuardedCall(reinterpret_cast<const void*>(row.function), text);
        ASSERT_EQ(SehChain(), chain) << row.what << ": the exception-record chain changed";
        EXPECT_TRUE(outcome.raised) << row.what;
        EXPECT_EQ(outcome.exceptionCode, row.code) << row.what << std::hex << ": 0x" << outcome.exceptionCode;
        EXPECT_NE(outcome.exceptionAddress, 0u) << row.what;
        EXPECT_EQ(outcome.accessAddress, row.accessAddress) << row.what;
        EXPECT_EQ(outcome.writeAccess, row.write) << row.what;
        // Placed in the function itself: where it faulted, or where it called
        // RaiseException, which is named beside it (in another module).
        const auto function = reinterpret_cast<std::uintptr_t>(row.function);
        EXPECT_LT(outcome.exceptionAddress - function, 256u) << row.what << std::hex << ": 0x" << outcome.exceptionAddress;
        EXPECT_EQ(outcome.moduleBase, ModuleOf(function)) << row.what;
        if (row.software) {
            EXPECT_NE(outcome.raisedAddress, 0u) << row.what;
            EXPECT_NE(outcome.raisedModuleBase, 0u) << row.what;
            EXPECT_NE(outcome.raisedModuleBase, outcome.moduleBase) << row.what;
        } else {
            EXPECT_EQ(outcome.raisedAddress, 0u) << row.what;
        }
        const CallOutcome next = GuardedCall(reinterpret_cast<const void*>(&Stdcall1), 1);
        EXPECT_FALSE(next.raised) << "after " << row.what;
        EXPECT_EQ(next.result, 2) << "after " << row.what;
    }
    // The instruction that faulted, not somewhere in the handler.
    const CallOutcome av = GuardedCall(reinterpret_cast<const void*>(&WritesAddress32), text);
    EXPECT_LT(av.exceptionAddress - reinterpret_cast<std::uintptr_t>(&WritesAddress32), 64u);
}

TEST(GuardedCall, LibraryThatHandlesItsOwnFaultIsUndisturbed)
{
    const std::uintptr_t chain = SehChain();
    const CallOutcome outcome = GuardedCall(reinterpret_cast<const void*>(&HandlesItsOwnFault), static_cast<char*>(nullptr));
    EXPECT_EQ(SehChain(), chain);
    EXPECT_FALSE(outcome.raised);
    EXPECT_EQ(outcome.result, 7);
}

TEST(GuardedCall, OneBytePastAGuardedBlockFaultsAtItsEnd)
{
    for (std::size_t size : {std::size_t{1}, std::size_t{100}, std::size_t{255}}) {
        char* block = static_cast<char*>(GuardedPages().allocate(size));
        ASSERT_NE(block, nullptr);
        block[0] = static_cast<char>(size);
        const CallOutcome outcome = GuardedCall(reinterpret_cast<const void*>(&WritesOnePast), block);
        EXPECT_TRUE(outcome.raised) << size;
        EXPECT_EQ(outcome.exceptionCode, 0xC0000005u) << size;
        EXPECT_EQ(outcome.accessAddress, reinterpret_cast<std::uintptr_t>(block) + size) << size;
        EXPECT_TRUE(outcome.writeAccess) << size;
        GuardedPages().release(block);
    }
}

struct ContractRow {
    const char* what;
    const void* function;
    ContractRule rule;
    const char* name;
    std::uint64_t after;  // the value reported as left behind
};

std::uint16_t X87Control()
{
    std::uint16_t word;
    asm volatile("fnstcw %0" : "=m"(word));
    return word;
}
std::uint32_t Mxcsr()
{
    std::uint32_t word;
    asm volatile("stmxcsr %0" : "=m"(word));
    return word;
}
std::uint16_t X87Tag()
{
    std::uint8_t environment[28];
    asm volatile("fnstenv %0\n fldenv %0" : "=m"(environment));
    return static_cast<std::uint16_t>(environment[8] | environment[9] << 8);
}
bool DirectionFlag()
{
#ifdef _WIN64
    return __builtin_ia32_readeflags_u64() & 0x400;
#else
    return __builtin_ia32_readeflags_u32() & 0x400;
#endif
}

TEST(GuardedCall, EachBrokenRuleIsReportedAndPutBack)
{
    const ContractRow rows[] = {
#ifdef _WIN64
        {"RBX changed (the compiled caller keeps its own values there)", reinterpret_cast<const void*>(&ChangesRbx), ContractRule::Register, "RBX",
         0x0BADF00D0BADF00D},
        {"RBP changed", reinterpret_cast<const void*>(&ChangesRbp), ContractRule::Register, "RBP", 0x0BADF00D0BADF00D},
        {"RDI changed", reinterpret_cast<const void*>(&ChangesRdi), ContractRule::Register, "RDI", 0x0BADF00D0BADF00D},
        {"RSI changed", reinterpret_cast<const void*>(&ChangesRsi), ContractRule::Register, "RSI", 0x0BADF00D0BADF00D},
        {"R12 changed", reinterpret_cast<const void*>(&ChangesR12), ContractRule::Register, "R12", 0x0BADF00D0BADF00D},
        {"R15 changed", reinterpret_cast<const void*>(&ChangesR15), ContractRule::Register, "R15", 0x0BADF00D0BADF00D},
        {"XMM6 changed", reinterpret_cast<const void*>(&ChangesXmm6), ContractRule::Register, "XMM6", UINT64_MAX},
        {"XMM15 changed", reinterpret_cast<const void*>(&ChangesXmm15), ContractRule::Register, "XMM15", UINT64_MAX},
#else
        {"EBX changed", reinterpret_cast<const void*>(&ChangesEbx), ContractRule::Register, "EBX", 0x0BADF00D},
        {"ESI changed", reinterpret_cast<const void*>(&ChangesEsi), ContractRule::Register, "ESI", 0x0BADF00D},
        {"EDI changed", reinterpret_cast<const void*>(&ChangesEdi), ContractRule::Register, "EDI", 0x0BADF00D},
        {"EBP changed, returning normally", reinterpret_cast<const void*>(&ChangesEbp), ContractRule::Register, "EBP", 0x0BADF00D},
        {"exception chain changed", reinterpret_cast<const void*>(&SkipsARecord), ContractRule::ExceptionChain, "fs:[0]", 0},
        {"twelve bytes popped of four", reinterpret_cast<const void*>(&PopsTwelveBytes), ContractRule::StackPopped, "ESP", 12},
#endif
        {"direction flag left set", reinterpret_cast<const void*>(&SetsDirectionFlag), ContractRule::DirectionFlag, "DF", 1},
        {"x87 control word changed", reinterpret_cast<const void*>(&ChangesX87Control), ContractRule::X87Control, "x87cw", 0x0260},
        {"MXCSR changed", reinterpret_cast<const void*>(&ChangesMxcsr), ContractRule::Mxcsr, "MXCSR", 0},
        {"two values left on the x87 stack", reinterpret_cast<const void*>(&LeavesTwoX87Values), ContractRule::X87Stack, "x87stack", 2},
    };
    const std::uintptr_t chain = SehChain();
    const std::uint16_t control = X87Control();
    const std::uint32_t mxcsr = Mxcsr();
    for (const ContractRow& row : rows) {
        const CallOutcome outcome = GuardedCall(row.function, static_cast<char*>(nullptr));
        ASSERT_FALSE(outcome.raised) << row.what;
        EXPECT_EQ(outcome.result, 0) << row.what;
        ASSERT_EQ(outcome.breachCount, 1u) << row.what;
        const ContractBreach& breach = outcome.breaches[0];
        EXPECT_EQ(breach.rule, row.rule) << row.what;
        EXPECT_STREQ(breach.name, row.name) << row.what;
        if (row.rule != ContractRule::ExceptionChain) {
            EXPECT_EQ(breach.after[0], row.after) << row.what;
        }
        EXPECT_NE(breach.before[0], breach.after[0]) << row.what;
        if (row.rule == ContractRule::Register && row.name[0] != 'X') {
            EXPECT_EQ(breach.before[0], g_seen) << row.what << ": the value the callee was given";
        }
        EXPECT_TRUE(breach.restored) << row.what;
        // Put back: the state after the call is the state before it.
        EXPECT_EQ(SehChain(), chain) << row.what;
        EXPECT_FALSE(DirectionFlag()) << row.what;
        EXPECT_EQ(X87Control(), control) << row.what;
        EXPECT_EQ(Mxcsr(), mxcsr) << row.what;
        EXPECT_EQ(X87Tag(), 0xFFFF) << row.what << ": the x87 stack is empty";
    }
#ifdef _WIN64
    const CallOutcome moved = GuardedCall(reinterpret_cast<const void*>(&MovesRsp), static_cast<char*>(nullptr));
    ASSERT_EQ(moved.breachCount, 1u);
    EXPECT_EQ(moved.breaches[0].rule, ContractRule::StackPointer);
    EXPECT_EQ(moved.breaches[0].before[0] - moved.breaches[0].after[0], 64u);
#else
    const CallOutcome scratch = GuardedCall(reinterpret_cast<const void*>(&ReadsEaxEcxEdx), static_cast<char*>(nullptr));
    EXPECT_EQ(scratch.result, 0) << "EAX, ECX and EDX hold no leftovers at the call";
#endif
}

std::uintptr_t Flags()
{
#ifdef _WIN64
    return __builtin_ia32_readeflags_u64();
#else
    return __builtin_ia32_readeflags_u32();
#endif
}

TEST(GuardedCall, TrapAndAlignmentFlagsAreAsAtTheCall)
{
    struct Row {
        const char* what;
        std::int32_t (*function)(char*);
        bool raised;
    } const rows[] = {
        {"returns with TF set: the trap at the guard's return is no fault", &ReturnsWithTrapFlag, false},
        {"returns with AC set", &ReturnsWithAlignmentCheck, false},
        {"faults with AC set", &FaultsWithAlignmentCheck, true},
    };
    constexpr std::uintptr_t kTrapAndAlignment = 0x40100;
    const std::uintptr_t before = Flags() & kTrapAndAlignment;
    for (const Row& row : rows) {
        const CallOutcome outcome = GuardedCall(reinterpret_cast<const void*>(row.function), static_cast<char*>(nullptr));
        EXPECT_EQ(Flags() & kTrapAndAlignment, before) << row.what;
        EXPECT_EQ(outcome.raised, row.raised) << row.what << std::hex << ": 0x" << outcome.exceptionCode;
        EXPECT_EQ(outcome.result, 0) << row.what;
    }
}

TEST(GuardedCall, TimesEachCall)
{
    const CallOutcome slow = GuardedCall(reinterpret_cast<const void*>(&Sleeps20Milliseconds), static_cast<char*>(nullptr));
    EXPECT_GE(slow.durationNanoseconds, 20000000u);
    const CallOutcome quick = GuardedCall(reinterpret_cast<const void*>(&Stdcall1), 1);
    EXPECT_LT(quick.durationNanoseconds, 1000000u);
}

}  // namespace

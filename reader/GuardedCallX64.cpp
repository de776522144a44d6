// zantor_guarded_call for 64-bit Windows. There is one calling convention, so only
// containment matters: the call runs inside mingw-w64's __try1/__except1 scope,
// whose filter records the exception and has the dispatcher unwind to the scope's
// end. The scope's labels are fixed, so it appears once, in a function that is
// never inlined, and what crosses it is volatile.
#include <windows.h>

#include <excpt.h>

#include "GuardedCall.h"

namespace {

using Call3 = std::int32_t (*)(std::uintptr_t, std::uintptr_t, std::uintptr_t);

// The Facts of the call running on this thread (nested calls keep their own).
thread_local guarded::Facts* t_facts = nullptr;

}  // namespace

// The scope's filter: records the exception and handles it.
extern "C" long zantor_guarded_filter(EXCEPTION_POINTERS* pointers, void*)
{
    const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
    guarded::Facts& facts = *t_facts;
    facts.raised = 1;
    facts.code = record.ExceptionCode;
    facts.address = reinterpret_cast<std::uintptr_t>(record.ExceptionAddress);
    facts.parameters = record.NumberParameters;
    facts.information[0] = record.ExceptionInformation[0];
    facts.information[1] = record.ExceptionInformation[1];
    return EXCEPTION_EXECUTE_HANDLER;
}

extern "C" __attribute__((noinline)) std::int32_t zantor_guarded_call(const void* function,
                                                                      const std::uintptr_t* arguments,
                                                                      std::uintptr_t count, guarded::Facts* facts)
{
    guarded::Facts* const outer = t_facts;
    t_facts = facts;
    volatile std::int32_t result = 0;
    const std::uintptr_t a = count > 0 ? arguments[0] : 0;
    const std::uintptr_t b = count > 1 ? arguments[1] : 0;
    const std::uintptr_t c = count > 2 ? arguments[2] : 0;
    const auto target = reinterpret_cast<Call3>(reinterpret_cast<std::uintptr_t>(function));
    __try1(zantor_guarded_filter)
    asm volatile("" ::: "memory");
    // Extra arguments are harmless here: the caller owns the argument area.
    result = target(a, b, c);
    asm volatile("" ::: "memory");
    __except1
    t_facts = outer;
    return facts->raised ? 0 : result;
}

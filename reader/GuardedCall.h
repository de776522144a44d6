// One call of a reader library function that cannot take the console down: the
// function may pop its arguments or leave them (stdcall or cdecl), and whatever
// structured exception it raises (an access violation, an illegal instruction, a
// C++ exception thrown out of it, a missing entry point...) comes back as a
// CallOutcome with raised set. Windows only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "Reader.h"

namespace guarded {

// What the exception handler saw, filled in place while the call runs.
struct Facts {
    std::uintptr_t raised;
    std::uintptr_t code;
    std::uintptr_t address;
    std::uintptr_t parameters;
    std::uintptr_t information[2];
};

// The call itself (GuardedCallX86.S, GuardedCallX64.S): calls `function` with
// `count` (1 to 3) pointer-sized arguments and returns its 32-bit result; when it
// raises, returns 0 with `facts` filled in. `facts` starts zeroed.
extern "C" std::int32_t zantor_guarded_call(const void* function, const std::uintptr_t* arguments,
                                            std::uintptr_t count, Facts* facts);

// The outcome of a call that returned `result` or raised as `facts` say.
CallOutcome Outcome(std::int32_t result, const Facts& facts);

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
// arguments, each a pointer-sized word.
CallOutcome GuardedCall(const void* function, const std::uintptr_t* arguments, std::size_t count);

// The same with the arguments given one by one (integers or pointers).
template <typename... Arguments>
CallOutcome GuardedCall(const void* function, Arguments... arguments)
{
    static_assert(sizeof...(Arguments) >= 1 && sizeof...(Arguments) <= 3, "1 to 3 arguments");
    const std::uintptr_t words[] = {guarded::ArgumentWord(arguments)...};
    return GuardedCall(function, words, sizeof...(Arguments));
}

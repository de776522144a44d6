// Where a software exception raised for the library is placed: not where the
// system raised it (RaiseException, the same place for every C++ throw), but at
// the first return address into the library's own code, which its vendor's map
// file lists. Plain code over memory the caller has checked, for the 32-bit
// guard, which has no unwind data to walk the stack by; built and tested on
// every target.
#pragma once

#include <cstddef>
#include <cstdint>

// Executable bytes of a module, [begin, end), all readable.
struct CodeRange {
    std::uintptr_t begin;
    std::uintptr_t end;
};

// True when the bytes just before `address`, inside `code`, are a call
// instruction ending there: a direct call (E8 rel32), or an indirect one through
// a register or memory (FF /2, every addressing form), as a return address
// follows. Reads at most the 7 bytes before `address`, never outside `code`.
bool FollowsCall(std::uintptr_t address, const CodeRange& code);

// The first word of the stack from `low` (the raising frame's stack pointer) up
// to, not including, `high` (the slot of the guard's own return address) that
// is a return address into one of the `count` ranges of `code`: a value inside
// one of them, just after a call instruction. 0 when none is. Every word in
// [low, high) must be readable.
std::uintptr_t FirstReturnInto(const std::uintptr_t* low, const std::uintptr_t* high, const CodeRange* code,
                               std::size_t count);

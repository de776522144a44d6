// A broken rule's value as every account of it writes it (the notes, the call
// log, the burn-in's report): one spelling, whoever reads it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "Decimal.h"
#include "Reader.h"

// Appends `value`, the state `name` under `rule` held, to `text` (a bounded or
// growing text of any character): in hexadecimal at the state's width (a
// register and the exception chain 8 digits on 32-bit and 16 on 64-bit, an XMM
// register its 32, high word first; the x87 control word and MXCSR 4; the
// direction flag 1), the bytes popped and the x87 values left in decimal, and
// nothing for the current directory, which is told by its paths.
// Writes that value into `out` (room: kBreachValueRoom, no NUL) and returns the
// length: one copy of the rules whatever text the value goes into.
constexpr std::size_t kBreachValueRoom = 2 + 2 * decimal::kIntegerRoom;
std::size_t WriteBreachValue(char* out, ContractRule rule, const char* name, const std::uint64_t (&value)[2]);

template <class Text>
void AppendBreachValue(Text& text, ContractRule rule, const char* name, const std::uint64_t (&value)[2])
{
    char written[kBreachValueRoom];
    text.AppendNarrow(written, WriteBreachValue(written, rule, name, value));
}

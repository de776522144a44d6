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
template <class Text>
void AppendBreachValue(Text& text, ContractRule rule, const char* name, const std::uint64_t (&value)[2])
{
    constexpr int kPointerDigits = 2 * static_cast<int>(sizeof(std::uintptr_t));
    switch (rule) {
    case ContractRule::Register:
    case ContractRule::StackPointer:
        if (name[0] == 'X' && name[1] == 'M' && name[2] == 'M') {
            text.AppendHex(value[1], 16);
            char low[decimal::kIntegerRoom];
            const std::size_t digits = decimal::WriteHex(low, value[0], 16);
            for (std::size_t i = 0; i < digits; ++i)
                text.Append(low[i]);
            return;
        }
        text.AppendHex(value[0], kPointerDigits);
        return;
    case ContractRule::ExceptionChain: text.AppendHex(value[0], kPointerDigits); return;
    case ContractRule::X87Control:
    case ContractRule::Mxcsr: text.AppendHex(value[0], 4); return;
    case ContractRule::DirectionFlag: text.AppendHex(value[0], 1); return;
    case ContractRule::X87Stack:
    case ContractRule::StackPopped: text.AppendDecimal(static_cast<std::int64_t>(value[0])); return;
    case ContractRule::CurrentDirectory: return;
    }
}

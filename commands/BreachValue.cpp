#include "BreachValue.h"

namespace {

// "0x" and `value` in upper-case hexadecimal, `digits` wide.
std::size_t WriteHexValue(char* out, std::uint64_t value, int digits)
{
    out[0] = '0';
    out[1] = 'x';
    return 2 + decimal::WriteHex(out + 2, value, digits);
}

}  // namespace

std::size_t WriteBreachValue(char* out, ContractRule rule, const char* name, const std::uint64_t (&value)[2])
{
    constexpr int kPointerDigits = 2 * static_cast<int>(sizeof(std::uintptr_t));
    switch (rule) {
    case ContractRule::Register:
    case ContractRule::StackPointer:
        if (name[0] == 'X' && name[1] == 'M' && name[2] == 'M') {
            const std::size_t high = WriteHexValue(out, value[1], 16);
            return high + decimal::WriteHex(out + high, value[0], 16);
        }
        return WriteHexValue(out, value[0], kPointerDigits);
    case ContractRule::ExceptionChain: return WriteHexValue(out, value[0], kPointerDigits);
    case ContractRule::X87Control:
    case ContractRule::Mxcsr: return WriteHexValue(out, value[0], 4);
    case ContractRule::DirectionFlag: return WriteHexValue(out, value[0], 1);
    case ContractRule::X87Stack:
    case ContractRule::StackPopped: return decimal::WriteSigned(out, static_cast<std::int64_t>(value[0]));
    case ContractRule::CurrentDirectory: break;
    }
    return 0;
}

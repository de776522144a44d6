#include "ReturnAddress.h"

namespace {

// A call instruction by its length, its opcode and the range of its second byte
// (for FF /2, the ModRM byte, whose reg field is 2: its form says the length).
struct CallForm {
    unsigned length;
    unsigned char opcode;
    unsigned char low;  // the second byte's range, inclusive
    unsigned char high;
};

constexpr CallForm kCallForms[] = {
    {5, 0xE8, 0x00, 0xFF},  // call rel32 (the second byte is the displacement's)
    {2, 0xFF, 0xD0, 0xD7},  // call reg
    {2, 0xFF, 0x10, 0x13},  // call [reg]
    {2, 0xFF, 0x16, 0x17},
    {3, 0xFF, 0x14, 0x14},  // call [sib]
    {3, 0xFF, 0x50, 0x53},  // call [reg+disp8]
    {3, 0xFF, 0x55, 0x57},
    {4, 0xFF, 0x54, 0x54},  // call [sib+disp8]
    {6, 0xFF, 0x15, 0x15},  // call [disp32] (the import table), [rip+disp32] on 64-bit
    {6, 0xFF, 0x90, 0x93},  // call [reg+disp32]
    {6, 0xFF, 0x95, 0x97},
    {7, 0xFF, 0x94, 0x94},  // call [sib+disp32]
};

}  // namespace

bool FollowsCall(std::uintptr_t address, const CodeRange& code)
{
    if (address <= code.begin || address > code.end)
        return false;
    for (const CallForm& form : kCallForms) {
        if (address - code.begin < form.length)
            continue;
        const auto* at = reinterpret_cast<const unsigned char*>(address - form.length);
        if (at[0] == form.opcode && at[1] >= form.low && at[1] <= form.high)
            return true;
    }
    return false;
}

std::uintptr_t FirstReturnInto(const std::uintptr_t* low, const std::uintptr_t* high, const CodeRange* code,
                               std::size_t count)
{
    for (const std::uintptr_t* slot = low; slot < high; ++slot) {
        const std::uintptr_t value = *slot;
        for (std::size_t i = 0; i < count; ++i) {
            if (FollowsCall(value, code[i]))
                return value;
        }
    }
    return 0;
}

// Where a software exception is placed on 32-bit: the first return address into
// the library's code found on the stack above the raising frame, as a recorded
// stack and code show it.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "ReturnAddress.h"

namespace {

TEST(ReturnAddress, FirstWordAfterACallIntoTheLibrary)
{
    // Calls ending at 5, 16, 22, 34 and 47; int3 everywhere else.
    unsigned char code[64];
    for (unsigned char& byte : code) byte = 0xCC;
    const unsigned char direct[] = {0xE8, 0x10, 0x20, 0x00, 0x00};
    const unsigned char import[] = {0xFF, 0x15, 0x00, 0x10, 0x40, 0x00};
    const unsigned char reg[] = {0xFF, 0xD0};
    const unsigned char sibByte[] = {0xFF, 0x54, 0x24, 0x08};
    const unsigned char sibWord[] = {0xFF, 0x94, 0x24, 0x00, 0x01, 0x00, 0x00};
    const auto put = [&](std::size_t at, const unsigned char* bytes, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) code[at + i] = bytes[i];
    };
    put(0, direct, sizeof direct);
    put(10, import, sizeof import);
    put(20, reg, sizeof reg);
    put(30, sibByte, sizeof sibByte);
    put(40, sibWord, sizeof sibWord);
    unsigned char other[8] = {0xE8, 0, 0, 0, 0, 0xCC, 0xCC, 0xCC};  // another module's call
    const auto base = reinterpret_cast<std::uintptr_t>(code);
    const auto elsewhere = reinterpret_cast<std::uintptr_t>(other) + 5;
    const CodeRange library[] = {{base, base + sizeof code}};

    struct Row {
        const char* fault;  // what a failure of the row would catch
        std::vector<std::uintptr_t> stack;
        std::uintptr_t expected;
    };
    const Row rows[] = {
        {"a direct call", {0x1234, base + 5}, base + 5},
        {"a call through the import table", {base + 16}, base + 16},
        {"a call through a register", {base + 22}, base + 22},
        {"a call through [esp+disp8]", {base + 34}, base + 34},
        {"a call through [esp+disp32]", {base + 47}, base + 47},
        {"the innermost of two frames", {base + 22, base + 5}, base + 22},
        {"a return into another module is passed over", {elsewhere, base + 16}, base + 16},
        {"a pointer into the code after no call is passed over", {base + 50, base + 8, base + 5}, base + 5},
        {"bytes before the code are never read", {base + 1, base + 3}, 0},
        {"none at all", {0, elsewhere, base + sizeof code + 5}, 0},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(FirstReturnInto(row.stack.data(), row.stack.data() + row.stack.size(), library, 1), row.expected)
            << row.fault;
    }
    const std::uintptr_t guardSlot[] = {0x1234, base + 5};
    EXPECT_EQ(FirstReturnInto(guardSlot, guardSlot + 1, library, 1), 0u) << "the guard's own slot is not scanned";
}

}  // namespace

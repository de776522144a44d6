// The reader's five operations as an interface, so that the commands run against
// the imported library in the program and against a recording fake in tests.
#pragma once

#include <cstdint>

// How one call of the library ended: it returned a result, or it raised a
// structured exception (an access violation, an illegal instruction, a C++
// exception thrown out of the library...) that the call contained.
struct CallOutcome {
    bool raised = false;
    std::int32_t result = 0;               // when it returned
    std::uint32_t exceptionCode = 0;       // when it raised: e.g. 0xC0000005
    std::uintptr_t exceptionAddress = 0;   // the instruction that raised
    std::uintptr_t moduleBase = 0;         // the module holding it; 0 when none does
    // For an access violation: the data address touched, and whether it was a write.
    std::uintptr_t accessAddress = 0;
    bool writeAccess = false;

    static CallOutcome Returned(std::int32_t code)
    {
        CallOutcome outcome;
        outcome.result = code;
        return outcome;
    }
};

class Reader {
public:
    virtual ~Reader() = default;
    virtual CallOutcome OpenDevice(std::int32_t port, char* errorText) = 0;
    virtual CallOutcome CloseDevice(char* errorText) = 0;
    virtual CallOutcome getDeviceStatus(char* statusText) = 0;
    virtual CallOutcome readCard(char* statusText) = 0;
    virtual CallOutcome GetCardInfo(std::int32_t index, char* value, char* errorText) = 0;
};

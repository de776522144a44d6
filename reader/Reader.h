// The reader's five operations as an interface, so that the commands run against
// the imported library in the program and against a recording fake in tests.
#pragma once

#include <cstdint>

class Reader {
public:
    virtual ~Reader() = default;
    virtual std::int32_t OpenDevice(std::int32_t port, char* errorText) = 0;
    virtual std::int32_t CloseDevice(char* errorText) = 0;
    virtual std::int32_t getDeviceStatus(char* statusText) = 0;
    virtual std::int32_t readCard(char* statusText) = 0;
    virtual std::int32_t GetCardInfo(std::int32_t index, char* value, char* errorText) = 0;
};

// Reader backed by the functions imported from Mervik.dll.
#pragma once

#include "Reader.h"

class ImportedReader final : public Reader {
public:
    std::int32_t OpenDevice(std::int32_t port, char* errorText) override;
    std::int32_t CloseDevice(char* errorText) override;
    std::int32_t getDeviceStatus(char* statusText) override;
    std::int32_t readCard(char* statusText) override;
    std::int32_t GetCardInfo(std::int32_t index, char* value, char* errorText) override;
};

// Reader backed by the functions imported from Mervik.dll.
#pragma once

#include "Reader.h"

class ImportedReader final : public Reader {
public:
    CallOutcome OpenDevice(std::int32_t port, char* errorText) override;
    CallOutcome CloseDevice(char* errorText) override;
    CallOutcome getDeviceStatus(char* statusText) override;
    CallOutcome readCard(char* statusText) override;
    CallOutcome GetCardInfo(std::int32_t index, char* value, char* errorText) override;
};

#include "ImportedReader.h"

#include "GuardedCall.h"
#include "Mervik.h"

// Each operation calls the import through the guarded call: the library may use
// either calling convention, and what it raises comes back as the outcome.

CallOutcome ImportedReader::OpenDevice(std::int32_t port, char* errorText)
{
    return GuardedCall(reinterpret_cast<const void*>(&::OpenDevice), port, errorText);
}

CallOutcome ImportedReader::CloseDevice(char* errorText)
{
    return GuardedCall(reinterpret_cast<const void*>(&::CloseDevice), errorText);
}

CallOutcome ImportedReader::getDeviceStatus(char* statusText)
{
    return GuardedCall(reinterpret_cast<const void*>(&::getDeviceStatus), statusText);
}

CallOutcome ImportedReader::readCard(char* statusText)
{
    return GuardedCall(reinterpret_cast<const void*>(&::readCard), statusText);
}

CallOutcome ImportedReader::GetCardInfo(std::int32_t index, char* value, char* errorText)
{
    return GuardedCall(reinterpret_cast<const void*>(&::GetCardInfo), index, value, errorText);
}

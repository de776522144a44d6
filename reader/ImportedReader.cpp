#include "ImportedReader.h"

#include "Mervik.h"

CallOutcome ImportedReader::OpenDevice(std::int32_t port, char* errorText)
{
    return CallOutcome::Returned(::OpenDevice(port, errorText));
}

CallOutcome ImportedReader::CloseDevice(char* errorText)
{
    return CallOutcome::Returned(::CloseDevice(errorText));
}

CallOutcome ImportedReader::getDeviceStatus(char* statusText)
{
    return CallOutcome::Returned(::getDeviceStatus(statusText));
}

CallOutcome ImportedReader::readCard(char* statusText)
{
    return CallOutcome::Returned(::readCard(statusText));
}

CallOutcome ImportedReader::GetCardInfo(std::int32_t index, char* value, char* errorText)
{
    return CallOutcome::Returned(::GetCardInfo(index, value, errorText));
}

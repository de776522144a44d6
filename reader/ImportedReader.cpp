#include "ImportedReader.h"

#include "Mervik.h"

std::int32_t ImportedReader::OpenDevice(std::int32_t port, char* errorText)
{
    return ::OpenDevice(port, errorText);
}

std::int32_t ImportedReader::CloseDevice(char* errorText)
{
    return ::CloseDevice(errorText);
}

std::int32_t ImportedReader::getDeviceStatus(char* statusText)
{
    return ::getDeviceStatus(statusText);
}

std::int32_t ImportedReader::readCard(char* statusText)
{
    return ::readCard(statusText);
}

std::int32_t ImportedReader::GetCardInfo(std::int32_t index, char* value, char* errorText)
{
    return ::GetCardInfo(index, value, errorText);
}

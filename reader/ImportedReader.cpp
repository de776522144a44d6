#include "ImportedReader.h"

#include "GuardedCall.h"
#include "Mervik.h"
#include "RunningCall.h"

// Each operation calls the import through the guarded call: the library may use
// either calling convention, and what it raises comes back as the outcome. The
// call is marked running meanwhile, so that what the library takes from Windows
// is attributed to it (the operation's number is its place in the declaration).

CallOutcome ImportedReader::OpenDevice(std::int32_t port, char* errorText)
{
    const running::Scope running(0);
    return GuardedCall(reinterpret_cast<const void*>(&::OpenDevice), port, errorText);
}

CallOutcome ImportedReader::CloseDevice(char* errorText)
{
    const running::Scope running(1);
    return GuardedCall(reinterpret_cast<const void*>(&::CloseDevice), errorText);
}

CallOutcome ImportedReader::getDeviceStatus(char* statusText)
{
    const running::Scope running(2);
    return GuardedCall(reinterpret_cast<const void*>(&::getDeviceStatus), statusText);
}

CallOutcome ImportedReader::readCard(char* statusText)
{
    const running::Scope running(3);
    return GuardedCall(reinterpret_cast<const void*>(&::readCard), statusText);
}

CallOutcome ImportedReader::GetCardInfo(std::int32_t index, char* value, char* errorText)
{
    const running::Scope running(4);
    return GuardedCall(reinterpret_cast<const void*>(&::GetCardInfo), index, value, errorText);
}

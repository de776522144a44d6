#include "ObservedReader.h"

#include "Mervik.h"

namespace {

constexpr std::uint32_t kAccessViolation = 0xC0000005;

CallBuffer Text(BufferRole role, const char* data)
{
    return {role, data, mervik::kTextBufferSize};
}

constexpr const char* kOperationNames[kOperationCount] = {
    "OpenDevice", "CloseDevice", "getDeviceStatus", "readCard", "GetCardInfo"};

}  // namespace

const char* OperationName(Operation operation)
{
    return kOperationNames[static_cast<int>(operation)];
}

std::size_t OverrunBufferSize(const CallOutcome& outcome, std::initializer_list<LibraryBuffer> buffers)
{
    if (outcome.exceptionCode != kAccessViolation || !outcome.writeAccess)
        return 0;
    for (const LibraryBuffer& buffer : buffers) {
        const std::uintptr_t end = reinterpret_cast<std::uintptr_t>(buffer.data) + buffer.size;
        if (outcome.accessAddress >= end && outcome.accessAddress - end < buffer.guardBytes)
            return buffer.size;
    }
    return 0;
}

void ObservedReader::Tell(Operation operation, const std::int32_t* argument, const CallOutcome& outcome,
                          std::initializer_list<CallBuffer> buffers, bool photo)
{
    CallRecord call;
    call.operation = operation;
    call.hasArgument = argument != nullptr;
    call.argument = argument ? *argument : 0;
    call.outcome = &outcome;
    call.photo = photo;
    LibraryBuffer seen[2] = {};
    for (const CallBuffer& buffer : buffers) {
        seen[call.bufferCount] = {buffer.data, buffer.size, m_guardBytes};
        call.buffers[call.bufferCount++] = buffer;
    }
    call.overrunBufferSize =
        call.bufferCount == 1 ? OverrunBufferSize(outcome, {seen[0]}) : OverrunBufferSize(outcome, {seen[0], seen[1]});
    m_observer.OnCall(call);
}

CallOutcome ObservedReader::OpenDevice(std::int32_t port, char* errorText)
{
    m_observer.OnCallStarting(Operation::OpenDevice, true, port);
    const CallOutcome outcome = m_inner.OpenDevice(port, errorText);
    Tell(Operation::OpenDevice, &port, outcome, {Text(BufferRole::Text, errorText)});
    return outcome;
}

CallOutcome ObservedReader::CloseDevice(char* errorText)
{
    m_observer.OnCallStarting(Operation::CloseDevice, false, 0);
    const CallOutcome outcome = m_inner.CloseDevice(errorText);
    Tell(Operation::CloseDevice, nullptr, outcome, {Text(BufferRole::Text, errorText)});
    return outcome;
}

CallOutcome ObservedReader::getDeviceStatus(char* statusText)
{
    m_observer.OnCallStarting(Operation::getDeviceStatus, false, 0);
    const CallOutcome outcome = m_inner.getDeviceStatus(statusText);
    Tell(Operation::getDeviceStatus, nullptr, outcome, {Text(BufferRole::Text, statusText)});
    return outcome;
}

CallOutcome ObservedReader::readCard(char* statusText)
{
    m_observer.OnCallStarting(Operation::readCard, false, 0);
    const CallOutcome outcome = m_inner.readCard(statusText);
    Tell(Operation::readCard, nullptr, outcome, {Text(BufferRole::Text, statusText)});
    return outcome;
}

CallOutcome ObservedReader::GetCardInfo(std::int32_t index, char* value, char* errorText)
{
    m_observer.OnCallStarting(Operation::GetCardInfo, true, index);
    const CallOutcome outcome = m_inner.GetCardInfo(index, value, errorText);
    const bool photo = index == mervik::kFieldPhoto;
    const std::size_t valueSize = photo ? mervik::kPhotoTextBufferSize : mervik::kTextBufferSize;
    Tell(Operation::GetCardInfo, &index, outcome, {{BufferRole::Value, value, valueSize}, Text(BufferRole::Error, errorText)}, photo);
    return outcome;
}

#include "CallRecord.h"

#include "Mervik.h"

namespace {

constexpr std::uint32_t kAccessViolation = 0xC0000005;

CallBuffer Text(const char* role, const char* data)
{
    return {role, data, mervik::kTextBufferSize};
}

}  // namespace

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

CallOutcome ObservedReader::OpenDevice(std::int32_t port, char* errorText)
{
    const CallOutcome outcome = m_inner.OpenDevice(port, errorText);
    CallRecord call;
    call.operation = "OpenDevice";
    call.hasArgument = true;
    call.argument = port;
    call.outcome = &outcome;
    call.buffers[0] = Text("text", errorText);
    call.bufferCount = 1;
    call.overrunBufferSize =
        OverrunBufferSize(outcome, {{errorText, mervik::kTextBufferSize, m_guardBytes}});
    m_observer.OnCall(call);
    return outcome;
}

CallOutcome ObservedReader::CloseDevice(char* errorText)
{
    const CallOutcome outcome = m_inner.CloseDevice(errorText);
    CallRecord call;
    call.operation = "CloseDevice";
    call.outcome = &outcome;
    call.buffers[0] = Text("text", errorText);
    call.bufferCount = 1;
    call.overrunBufferSize =
        OverrunBufferSize(outcome, {{errorText, mervik::kTextBufferSize, m_guardBytes}});
    m_observer.OnCall(call);
    return outcome;
}

CallOutcome ObservedReader::getDeviceStatus(char* statusText)
{
    const CallOutcome outcome = m_inner.getDeviceStatus(statusText);
    CallRecord call;
    call.operation = "getDeviceStatus";
    call.outcome = &outcome;
    call.buffers[0] = Text("text", statusText);
    call.bufferCount = 1;
    call.overrunBufferSize =
        OverrunBufferSize(outcome, {{statusText, mervik::kTextBufferSize, m_guardBytes}});
    m_observer.OnCall(call);
    return outcome;
}

CallOutcome ObservedReader::readCard(char* statusText)
{
    const CallOutcome outcome = m_inner.readCard(statusText);
    CallRecord call;
    call.operation = "readCard";
    call.outcome = &outcome;
    call.buffers[0] = Text("text", statusText);
    call.bufferCount = 1;
    call.overrunBufferSize =
        OverrunBufferSize(outcome, {{statusText, mervik::kTextBufferSize, m_guardBytes}});
    m_observer.OnCall(call);
    return outcome;
}

CallOutcome ObservedReader::GetCardInfo(std::int32_t index, char* value, char* errorText)
{
    const CallOutcome outcome = m_inner.GetCardInfo(index, value, errorText);
    const bool photo = index == mervik::kFieldPhoto;
    const std::size_t valueSize = photo ? mervik::kPhotoTextBufferSize : mervik::kTextBufferSize;
    CallRecord call;
    call.operation = "GetCardInfo";
    call.hasArgument = true;
    call.argument = index;
    call.outcome = &outcome;
    call.buffers[0] = {"value", value, valueSize};
    call.buffers[1] = Text("error", errorText);
    call.bufferCount = 2;
    call.photo = photo;
    call.overrunBufferSize = OverrunBufferSize(
        outcome, {{value, valueSize, m_guardBytes}, {errorText, mervik::kTextBufferSize, m_guardBytes}});
    m_observer.OnCall(call);
    return outcome;
}

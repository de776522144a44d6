#include "ObservedReader.h"

#include "Mervik.h"

namespace {

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

const char* ConventionName(Convention convention)
{
    switch (convention) {
    case Convention::X64: return "x64";
    case Convention::Stdcall: return "stdcall";
    case Convention::Cdecl: return "cdecl";
    case Convention::Unbalanced: return "unbalanced";
    case Convention::Unknown: break;
    }
    return "unknown";
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

// Made here, beside the functions its table of virtual functions lists, so that
// the table is used in the file that defines it: made inline in the callers'
// files, the MinGW linker found no symbol for the table's section in an LTO
// link without RTTI, and said so at every build.
ObservedReader::ObservedReader(Reader& inner, CallObserver& observer, std::size_t guardBytes)
    : m_inner(inner), m_observer(observer), m_guardBytes(guardBytes)
{
}

CallRecord ObservedReader::Before(Operation operation, const std::int32_t* argument,
                                  std::initializer_list<CallBuffer> buffers, bool photo)
{
    CallRecord call;
    call.operation = operation;
    call.hasArgument = argument != nullptr;
    call.argument = argument ? *argument : 0;
    call.photo = photo;
    call.nextFollows = m_nextFollows;
    m_nextFollows = false;
    for (const CallBuffer& buffer : buffers)
        call.buffers[call.bufferCount++] = buffer;
    m_observer.BeforeCall(call);
    return call;
}

void ObservedReader::Tell(CallRecord& call, const CallOutcome& outcome)
{
    call.outcome = &outcome;
    LibraryBuffer seen[2] = {};
    for (std::size_t i = 0; i < call.bufferCount; ++i)
        seen[i] = {call.buffers[i].data, call.buffers[i].size, m_guardBytes};
    call.overrunBufferSize = OverrunBufferSize(outcome, {seen[0]});
    if (call.overrunBufferSize == 0 && call.bufferCount == 2) {
        call.overrunBufferSize = OverrunBufferSize(outcome, {seen[1]});
        call.overrunBuffer = 1;
    }
    m_observer.OnCall(call);
}

CallOutcome ObservedReader::OpenDevice(std::int32_t port, char* errorText)
{
    CallRecord call = Before(Operation::OpenDevice, &port, {Text(BufferRole::Text, errorText)});
    const CallOutcome outcome = m_inner.OpenDevice(port, errorText);
    Tell(call, outcome);
    return outcome;
}

CallOutcome ObservedReader::TextCall(Operation operation, CallOutcome (Reader::*forward)(char*), char* text)
{
    CallRecord call = Before(operation, nullptr, {Text(BufferRole::Text, text)});
    const CallOutcome outcome = (m_inner.*forward)(text);
    Tell(call, outcome);
    return outcome;
}

CallOutcome ObservedReader::CloseDevice(char* errorText)
{
    return TextCall(Operation::CloseDevice, &Reader::CloseDevice, errorText);
}

CallOutcome ObservedReader::getDeviceStatus(char* statusText)
{
    return TextCall(Operation::getDeviceStatus, &Reader::getDeviceStatus, statusText);
}

CallOutcome ObservedReader::readCard(char* statusText)
{
    return TextCall(Operation::readCard, &Reader::readCard, statusText);
}

CallOutcome ObservedReader::GetCardInfo(std::int32_t index, char* value, char* errorText)
{
    const bool photo = index == mervik::kFieldPhoto;
    const std::size_t valueSize = photo ? mervik::kPhotoTextBufferSize : mervik::kTextBufferSize;
    CallRecord call = Before(Operation::GetCardInfo, &index,
                             {{BufferRole::Value, value, valueSize}, Text(BufferRole::Error, errorText)}, photo);
    const CallOutcome outcome = m_inner.GetCardInfo(index, value, errorText);
    Tell(call, outcome);
    return outcome;
}

#include "DeviceCommands.h"

#include "ContractNotes.h"
#include "Mervik.h"
#include "ResultMessage.h"
#include "ZeroedBuffer.h"
#include "resource.h"

namespace {

// Calls `operation` with a fresh text buffer and shows what `message` makes of
// its result; a buffer that cannot be had, or a call that raises, is reported
// instead. The rules of the calling contract the call broke follow as notes.
template <class Call, class MessageOf>
void RunTextCommand(CommandHost& host, const Allocator& buffers, const wchar_t* operation, Call call,
                    MessageOf message)
{
    const ZeroedBuffer text(mervik::kTextBufferSize, buffers);
    if (!text) {
        host.ShowMessage(kNoMemoryMessage);
        return;
    }
    const CallOutcome outcome = call(text.chars());
    ContractNotes notes;
    notes.Add(operation, outcome);
    Message shown = outcome.raised ? FaultMessage(operation, outcome, {text.AsLibraryBuffer()})
                                   : message(outcome.result, text.chars());
    notes.AppendTo(shown);
    host.ShowMessage(shown.c_str());
}

// A fixed text when the operation succeeded, else the failure form.
Message SuccessOrFailure(std::int32_t code, const wchar_t* success, const wchar_t* failure, const char* text)
{
    if (code != 0) return FailureMessage(failure, text, mervik::kTextBufferSize, code);
    Message message;
    message.Append(success);
    return message;
}

// The port box holds a number: what atoi reads of it is the leading blanks, a
// sign and the digits. Text past this many bytes is cut and never looked at.
constexpr std::size_t kPortTextCapacity = 256;

}  // namespace

void RunOpenDevice(CommandHost& host, Reader& reader, const Allocator& buffers)
{
    RunTextCommand(
        host, buffers, L"OpenDevice",
        [&](char* text) {
            char port[kPortTextCapacity];
            host.GetControlText(IDC_EDIT_PORT, port, sizeof port);
            return reader.OpenDevice(ParsePort(port), text);
        },
        [](std::int32_t code, const char* text) { return SuccessOrFailure(code, L"打开成功", L"打开失败！", text); });
}

void RunCloseDevice(CommandHost& host, Reader& reader, const Allocator& buffers)
{
    RunTextCommand(
        host, buffers, L"CloseDevice", [&](char* text) { return reader.CloseDevice(text); },
        [](std::int32_t code, const char* text) { return SuccessOrFailure(code, L"关闭成功", L"关闭失败！", text); });
}

void RunDeviceStatus(CommandHost& host, Reader& reader, const Allocator& buffers)
{
    RunTextCommand(
        host, buffers, L"getDeviceStatus", [&](char* text) { return reader.getDeviceStatus(text); },
        [](std::int32_t code, const char* text) { return StatusMessage(text, mervik::kTextBufferSize, code); });
}

void RunReadCard(CommandHost& host, Reader& reader, const Allocator& buffers)
{
    RunTextCommand(
        host, buffers, L"readCard", [&](char* text) { return reader.readCard(text); },
        [](std::int32_t code, const char* text) { return StatusMessage(text, mervik::kTextBufferSize, code); });
}

#include "DeviceCommands.h"

#include "ContractNotes.h"
#include "Mervik.h"
#include "ResultMessage.h"
#include "ZeroedBuffer.h"
#include "resource.h"

namespace {

// The port box holds a number: what atoi reads of it is the leading blanks, a
// sign and the digits. Text past this many bytes is cut and never looked at.
constexpr std::size_t kPortTextCapacity = 256;

// The four buttons, and how each shows its outcome: a fixed text on success and a
// prefix on failure, or (with no texts) the library's text and code as a status.
enum class Button { Open, Close, Status, Read };
struct TextCommand {
    const wchar_t* operation;
    const wchar_t* success;
    const wchar_t* failure;
};
constexpr TextCommand kCommands[] = {
    {L"OpenDevice", L"打开成功", L"打开失败！"},
    {L"CloseDevice", L"关闭成功", L"关闭失败！"},
    {L"getDeviceStatus", nullptr, nullptr},
    {L"readCard", nullptr, nullptr},
};

CallOutcome CallButton(CommandHost& host, Reader& reader, Button button, char* text)
{
    switch (button) {
    case Button::Open: {
        char port[kPortTextCapacity];
        host.GetControlText(IDC_EDIT_PORT, port, sizeof port);
        return reader.OpenDevice(ParsePort(port), text);
    }
    case Button::Close: return reader.CloseDevice(text);
    case Button::Status: return reader.getDeviceStatus(text);
    case Button::Read: break;
    }
    return reader.readCard(text);
}

// What a call that returned shows.
Message ReturnedMessage(const TextCommand& command, std::int32_t code, const char* text)
{
    if (!command.success) return StatusMessage(text, mervik::kTextBufferSize, code);
    if (code != 0) return FailureMessage(command.failure, text, mervik::kTextBufferSize, code);
    Message message;
    message.Append(command.success);
    return message;
}

// Calls the button's operation with a fresh text buffer and shows what its
// result means; a buffer that cannot be had, or a call that raises, is reported
// instead. The rules of the calling contract the call broke follow as notes.
void RunTextCommand(CommandHost& host, Reader& reader, const Allocator& buffers, Button button)
{
    const TextCommand& command = kCommands[static_cast<int>(button)];
    const ZeroedBuffer text(mervik::kTextBufferSize, buffers);
    if (!text) {
        host.ShowMessage(kNoMemoryMessage);
        return;
    }
    const CallOutcome outcome = CallButton(host, reader, button, text.chars());
    ContractNotes notes;
    notes.Add(command.operation, outcome);
    Message shown = outcome.raised ? FaultMessage(command.operation, outcome, {text.AsLibraryBuffer()})
                                   : ReturnedMessage(command, outcome.result, text.chars());
    notes.AppendTo(shown);
    host.ShowMessage(shown.c_str());
}

}  // namespace

void RunOpenDevice(CommandHost& host, Reader& reader, const Allocator& buffers)
{
    RunTextCommand(host, reader, buffers, Button::Open);
}

void RunCloseDevice(CommandHost& host, Reader& reader, const Allocator& buffers)
{
    RunTextCommand(host, reader, buffers, Button::Close);
}

void RunDeviceStatus(CommandHost& host, Reader& reader, const Allocator& buffers)
{
    RunTextCommand(host, reader, buffers, Button::Status);
}

void RunReadCard(CommandHost& host, Reader& reader, const Allocator& buffers)
{
    RunTextCommand(host, reader, buffers, Button::Read);
}

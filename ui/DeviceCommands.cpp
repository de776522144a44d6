#include "DeviceCommands.h"

#include "Mervik.h"
#include "ResultMessage.h"
#include "ZeroedBuffer.h"
#include "resource.h"

namespace {

// Calls `operation` with a fresh text buffer and shows what `Message` makes of
// its result; a buffer that cannot be had, or a call that raises, is reported
// instead.
template <class Call, class Message>
void RunTextCommand(CommandHost& host, const Allocator& buffers, const wchar_t* operation, Call call,
                    Message message)
{
    const ZeroedBuffer text(mervik::kTextBufferSize, buffers);
    if (!text) {
        host.ShowMessage(L"无法分配足够的内存空间");
        return;
    }
    const CallOutcome outcome = call(text.chars());
    if (outcome.raised) {
        host.ShowMessage(FaultMessage(operation, outcome, {text.Seen()}));
        return;
    }
    host.ShowMessage(message(outcome.result, text.chars()));
}

}  // namespace

void RunOpenDevice(CommandHost& host, Reader& reader, const Allocator& buffers)
{
    RunTextCommand(
        host, buffers, L"OpenDevice",
        [&](char* text) { return reader.OpenDevice(ParsePort(host.GetControlText(IDC_EDIT_PORT)), text); },
        [](std::int32_t code, const char* text) {
            return code == 0 ? std::wstring(L"打开成功")
                             : FailureMessage(L"打开失败！", text, mervik::kTextBufferSize, code);
        });
}

void RunCloseDevice(CommandHost& host, Reader& reader, const Allocator& buffers)
{
    RunTextCommand(
        host, buffers, L"CloseDevice", [&](char* text) { return reader.CloseDevice(text); },
        [](std::int32_t code, const char* text) {
            return code == 0 ? std::wstring(L"关闭成功")
                             : FailureMessage(L"关闭失败！", text, mervik::kTextBufferSize, code);
        });
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

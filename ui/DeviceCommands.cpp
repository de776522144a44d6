#include "DeviceCommands.h"

#include <array>

#include "Mervik.h"
#include "ResultMessage.h"
#include "resource.h"

namespace {

// Zero-filled on construction, before the library sees it.
using TextBuffer = std::array<char, mervik::kTextBufferSize>;

}  // namespace

void RunOpenDevice(CommandHost& host, Reader& reader)
{
    TextBuffer text{};
    const std::int32_t port = ParsePort(host.GetControlText(IDC_EDIT_PORT));
    const std::int32_t code = reader.OpenDevice(port, text.data()).result;
    const std::string message =
        code == 0 ? std::string("打开成功") : FailureMessage("打开失败！", text.data(), text.size(), code);
    host.ShowMessage(message.c_str());
}

void RunCloseDevice(CommandHost& host, Reader& reader)
{
    TextBuffer text{};
    const std::int32_t code = reader.CloseDevice(text.data()).result;
    const std::string message =
        code == 0 ? std::string("关闭成功") : FailureMessage("关闭失败！", text.data(), text.size(), code);
    host.ShowMessage(message.c_str());
}

void RunDeviceStatus(CommandHost& host, Reader& reader)
{
    TextBuffer text{};
    const std::int32_t code = reader.getDeviceStatus(text.data()).result;
    host.ShowMessage(StatusMessage(text.data(), text.size(), code).c_str());
}

void RunReadCard(CommandHost& host, Reader& reader)
{
    TextBuffer text{};
    const std::int32_t code = reader.readCard(text.data()).result;
    host.ShowMessage(StatusMessage(text.data(), text.size(), code).c_str());
}

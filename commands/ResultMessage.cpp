#include "ResultMessage.h"

#include <cstring>
#include <limits>

#include "CallRecord.h"
#include "Decimal.h"
#include "LibraryText.h"
#include "TextLength.h"

BoxText TextFromBuffer(const char* buffer, std::size_t size)
{
    BoxText text;
    text.Append(buffer, BoundedLength(buffer, size));
    return text;
}

namespace {

// Inside a module: its file and the offset, the same on every run whatever
// address the module was loaded at, and what its map file lists; else the
// address itself.
void AppendPlace(Message& message, std::uintptr_t address, std::uintptr_t moduleBase)
{
    if (moduleBase != 0 && address >= moduleBase && AppendModuleName(message, moduleBase))
        message.Append(L"+").AppendHex(address - moduleBase, 0);
    else
        message.AppendHex(address, 2 * sizeof(std::uintptr_t));
}

}  // namespace

Message FailureMessage(const wchar_t* prefix, const char* libraryText, std::size_t bufferSize, std::int32_t code)
{
    Message message;
    message.Append(prefix);
    AppendLibraryText(message, libraryText, bufferSize);
    message.Append(L" 错误码：").AppendDecimal(code);
    return message;
}

Message StatusMessage(const char* libraryText, std::size_t bufferSize, std::int32_t code)
{
    Message message;
    AppendLibraryText(message, libraryText, bufferSize);
    message.Append(L" 状态码：").AppendDecimal(code);
    return message;
}

Message FaultMessage(const wchar_t* operation, const CallOutcome& outcome,
                     std::initializer_list<LibraryBuffer> buffers)
{
    Message message;
    message.Append(L"读卡器库 ").Append(operation);
    if (const std::size_t overrun = OverrunBufferSize(outcome, buffers)) {
        message.Append(L" 写入超出缓冲区（").AppendDecimal(static_cast<std::int64_t>(overrun));
        message.Append(L" 字节）");
        return message;
    }
    message.Append(L" 调用异常：").AppendHex(outcome.exceptionCode, 8).Append(L"（地址 ");
    AppendPlace(message, outcome.exceptionAddress, outcome.moduleBase);
    // A software exception placed in the library's code: where the system raised it.
    if (outcome.raisedAddress != 0) {
        message.Append(L"，引发于 ");
        AppendPlace(message, outcome.raisedAddress, outcome.raisedModuleBase);
    }
    message.Append(L"）");
    return message;
}

std::int32_t ParsePort(const char* text)
{
    // The C locale's white space, as atoi skips it.
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;

    // Past the limit of the sign's side the number stays there, so that any
    // number of digits is safe.
    return static_cast<std::int32_t>(
        decimal::ReadLeading(p, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max())
            .value);
}

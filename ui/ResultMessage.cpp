#include "ResultMessage.h"

#include <limits>

#include "TextLength.h"

namespace {

// Exception code of an access violation.
constexpr std::uint32_t kAccessViolation = 0xC0000005;
// How far past a buffer a write still counts as its overrun: the guard page
// that follows every buffer handed to the library.
constexpr std::uintptr_t kGuardBytes = 4096;

std::wstring Widened(const std::string& ascii)
{
    return std::wstring(ascii.begin(), ascii.end());
}

// "0x" and `digits` upper-case hexadecimal digits.
std::wstring Hex(std::uint64_t value, int digits)
{
    std::wstring text = L"0x";
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        text += L"0123456789ABCDEF"[(value >> shift) & 0xF];
    return text;
}

}  // namespace

std::string TextFromBuffer(const char* buffer, std::size_t size)
{
    return std::string(buffer, BoundedLength(buffer, size));
}

std::string Decimal(std::int64_t value)
{
    // Built from the magnitude as unsigned, so that the smallest value has one.
    std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    char digits[24];
    char* first = digits + sizeof digits;
    do {
        *--first = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) *--first = '-';
    return std::string(first, digits + sizeof digits);
}

std::wstring FailureMessage(const wchar_t* prefix, const char* libraryText, std::size_t bufferSize,
                            std::int32_t code)
{
    return prefix + LibraryText(libraryText, bufferSize) + L" 错误码：" + Widened(Decimal(code));
}

std::wstring StatusMessage(const char* libraryText, std::size_t bufferSize, std::int32_t code)
{
    return LibraryText(libraryText, bufferSize) + L" 状态码：" + Widened(Decimal(code));
}

std::wstring FaultMessage(const wchar_t* operation, const CallOutcome& outcome,
                          std::initializer_list<LibraryBuffer> buffers)
{
    const std::wstring library = std::wstring(L"读卡器库 ") + operation;
    if (outcome.exceptionCode == kAccessViolation && outcome.writeAccess) {
        for (const LibraryBuffer& buffer : buffers) {
            const std::uintptr_t end = reinterpret_cast<std::uintptr_t>(buffer.data) + buffer.size;
            if (outcome.accessAddress >= end && outcome.accessAddress - end < kGuardBytes)
                return library + L" 写入超出缓冲区（" + Widened(Decimal(static_cast<std::int64_t>(buffer.size))) +
                       L" 字节）";
        }
    }
    return library + L" 调用异常：" + Hex(outcome.exceptionCode, 8) + L"（地址 " +
           Hex(outcome.exceptionAddress, 2 * sizeof(std::uintptr_t)) + L"）";
}

std::int32_t ParsePort(const std::string& text)
{
    // The C locale's white space, as atoi skips it.
    const char* p = text.c_str();
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;

    const bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;

    // Accumulate the magnitude towards the limit of the sign's side; stop growing
    // once past it, so that any number of digits is safe.
    const std::int64_t limit = negative ? -static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::min())
                                        : std::numeric_limits<std::int32_t>::max();
    std::int64_t magnitude = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        magnitude = magnitude * 10 + (*p - '0');
        if (magnitude > limit)
            magnitude = limit;
    }
    return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

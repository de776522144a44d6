#include <windows.h>

#include "ResultMessage.h"
#include "TextLength.h"

std::wstring LibraryText(const char* buffer, std::size_t size)
{
    // Exactly what the narrow Windows functions would make of the bytes.
    const int length = static_cast<int>(BoundedLength(buffer, size));
    if (length == 0)
        return std::wstring();
    const int wideLength = MultiByteToWideChar(CP_ACP, 0, buffer, length, nullptr, 0);
    std::wstring text(static_cast<std::size_t>(wideLength), L'\0');
    MultiByteToWideChar(CP_ACP, 0, buffer, length, text.data(), wideLength);
    return text;
}

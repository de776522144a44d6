#include <windows.h>

#include "LibraryText.h"
#include "ModulePath.h"
#include "TextLength.h"

void AppendLibraryText(Message& message, const char* buffer, std::size_t size)
{
    // Exactly what the narrow Windows functions would make of the bytes. The
    // message has room for a whole 1023-byte text (a byte never gives more than one
    // UTF-16 unit); a longer one, outside the library's contract, is left out.
    const int length = static_cast<int>(BoundedLength(buffer, size));
    if (length == 0)
        return;
    const int written =
        MultiByteToWideChar(CP_ACP, 0, buffer, length, message.End(), static_cast<int>(message.Room()));
    if (written > 0)
        message.Grow(static_cast<std::size_t>(written));
    else
        message.MarkCut();
}

bool AppendModuleName(Message& message, std::uintptr_t base)
{
    // The whole path first: a file name is its last part, whatever the path's length.
    const win32::ModulePath path(reinterpret_cast<HMODULE>(base));
    if (!path)
        return false;
    const wchar_t* name = path.Get();
    for (const wchar_t* p = path.Get(); *p; ++p) {
        if (*p == L'\\' || *p == L'/')
            name = p + 1;
    }
    message.Append(name);
    return true;
}

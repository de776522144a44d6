#include "Unattended.h"

#include <windows.h>

namespace {

// The standard error handle, or the parent's console output; null when there is
// neither. Looked for once: the result is kept for the process's life.
HANDLE StandardError()
{
    static bool looked = false;
    static HANDLE error = nullptr;
    if (looked)
        return error;
    looked = true;
    HANDLE inherited = GetStdHandle(STD_ERROR_HANDLE);
    if (inherited != nullptr && inherited != INVALID_HANDLE_VALUE && GetFileType(inherited) != FILE_TYPE_UNKNOWN) {
        error = inherited;
        return error;
    }
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        // Kept open for the process's life: the system closes it at the end.
        HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
        if (console != INVALID_HANDLE_VALUE)
            error = console;
    }
    return error;
}

}  // namespace

std::size_t Utf16UnitsFitting(const wchar_t* text, std::size_t units, std::size_t bytes)
{
    std::size_t used = 0;
    std::size_t i = 0;
    while (i < units) {
        const unsigned c = static_cast<unsigned>(text[i]) & 0xFFFF;
        std::size_t take = 1;
        std::size_t size = c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units) {
            const unsigned low = static_cast<unsigned>(text[i + 1]) & 0xFFFF;
            if (low >= 0xDC00 && low <= 0xDFFF) {
                take = 2;
                size = 4;
            }
        }
        if (used + size > bytes)
            break;
        used += size;
        i += take;
    }
    return i;
}

void WriteStandardError(const wchar_t* text)
{
    const HANDLE error = StandardError();
    if (error == nullptr)
        return;
    const int units = lstrlenW(text);
    DWORD mode = 0, written = 0;
    if (GetConsoleMode(error, &mode)) {
        // A console shows UTF-16 as it is, whatever its code page.
        WriteConsoleW(error, text, static_cast<DWORD>(units), &written, nullptr);
        WriteConsoleW(error, L"\r\n", 2, &written, nullptr);
        return;
    }
    // A file or a pipe: UTF-8, as the log is. A longer text is cut after its last
    // whole character that fits, so that the conversion always has room.
    char bytes[kStandardErrorBytes + 2];
    const std::size_t fitting = Utf16UnitsFitting(text, static_cast<std::size_t>(units), kStandardErrorBytes);
    int size = fitting == 0 ? 0
                            : WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(fitting), bytes,
                                                  static_cast<int>(kStandardErrorBytes), nullptr, nullptr);
    if (size < 0)
        size = 0;
    bytes[size++] = '\r';
    bytes[size++] = '\n';
    WriteFile(error, bytes, static_cast<DWORD>(size), &written, nullptr);
}

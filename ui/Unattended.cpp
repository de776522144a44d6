#include "Unattended.h"

#include <windows.h>

#include "CallLog.h"

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

void TellUnattended(const wchar_t* text, CallLog* log)
{
    if (log)
        log->WriteNote("error", text);
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
    // A file or a pipe: UTF-8, as the log is. Longer texts are cut to the buffer.
    char bytes[8192];
    int size = WideCharToMultiByte(CP_UTF8, 0, text, units, bytes, static_cast<int>(sizeof bytes - 2), nullptr,
                                   nullptr);
    if (size < 0)
        size = 0;
    bytes[size++] = '\r';
    bytes[size++] = '\n';
    WriteFile(error, bytes, static_cast<DWORD>(size), &written, nullptr);
}

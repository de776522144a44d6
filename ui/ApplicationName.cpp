#include "ApplicationName.h"

#include "ProgramName.h"

const wchar_t* ApplicationName() noexcept
{
    // The longest path the system gives a module.
    static wchar_t path[32768] = L"";
    static const wchar_t* name = nullptr;
    if (name)
        return name;

    const DWORD length = GetModuleFileNameW(nullptr, path, 32768);
    if (length == 0 || length >= 32768) {
        path[0] = L'\0';
        name = path;
        return name;
    }
    name = ProgramNameFromPath(path);
    return name;
}

void ShowApplicationMessage(HWND owner, const wchar_t* text) noexcept
{
    MessageBoxW(owner, text, ApplicationName(), MB_OK);
}

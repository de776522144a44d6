#include "ApplicationName.h"

#include <cwchar>

const wchar_t* ApplicationName() noexcept
{
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
    wchar_t* file = path;
    for (wchar_t* p = path; *p; ++p) {
        if (*p == L'\\' || *p == L'/')
            file = p + 1;
    }
    if (wchar_t* dot = std::wcsrchr(file, L'.'))
        *dot = L'\0';
    name = file;
    return name;
}

void ShowApplicationMessage(HWND owner, const wchar_t* text) noexcept
{
    MessageBoxW(owner, text, ApplicationName(), MB_OK);
}

#include "ApplicationName.h"

#include <windows.h>

#include <cwchar>

const char* ApplicationName()
{
    static char name[MAX_PATH] = "";
    static bool known = false;
    if (known)
        return name;
    known = true;

    // The path is taken in UTF-16: in code page 936 the second byte of a
    // character can be a backslash, so a narrow path cannot be split safely.
    static wchar_t path[32768];
    const DWORD length = GetModuleFileNameW(nullptr, path, 32768);
    if (length == 0 || length >= 32768)
        return name;

    const wchar_t* file = path;
    for (const wchar_t* p = path; *p; ++p) {
        if (*p == L'\\' || *p == L'/')
            file = p + 1;
    }
    const wchar_t* dot = std::wcsrchr(file, L'.');
    const int size = static_cast<int>(dot ? dot - file : std::wcslen(file));
    const int written = WideCharToMultiByte(CP_ACP, 0, file, size, name, sizeof name - 1, nullptr, nullptr);
    name[written > 0 ? written : 0] = '\0';
    return name;
}

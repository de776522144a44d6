#include "ApplicationName.h"

#include "ModulePath.h"
#include "ProgramName.h"

const wchar_t* ApplicationName() noexcept
{
    // Kept for the whole run: the name points into it.
    static win32::ModulePath path(nullptr);
    static const wchar_t* name = nullptr;
    if (name)
        return name;
    name = path ? ProgramNameFromPath(path.Get()) : L"";
    return name;
}

void ShowApplicationMessage(HWND owner, const wchar_t* text) noexcept
{
    MessageBoxW(owner, text, ApplicationName(), MB_OK);
}

void ShowApplicationNumber(HWND owner, const wchar_t* format, DWORD number) noexcept
{
    wchar_t text[96];
    wsprintfW(text, format, number);
    ShowApplicationMessage(owner, text);
}

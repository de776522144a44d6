// The name a program captions its message boxes with, from its path.
#pragma once

// The file name of `path` without its extension: what follows the last '\' or
// '/', cut at its last dot ("Zantor" for C:\x\Zantor.exe, "a.v2" for a.v2.exe).
// Cuts `path` in place and returns where the name begins.
inline wchar_t* ProgramNameFromPath(wchar_t* path)
{
    wchar_t* name = path;
    wchar_t* dot = nullptr;
    for (wchar_t* p = path; *p; ++p) {
        if (*p == L'\\' || *p == L'/') {
            name = p + 1;
            dot = nullptr;
        } else if (*p == L'.') {
            dot = p;
        }
    }
    if (dot)
        *dot = L'\0';
    return name;
}

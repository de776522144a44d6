#pragma once

#include <windows.h>

// The executable's file name without its extension ("Zantor" for Zantor.exe), in
// UTF-16 as the system holds it: the caption of every message box. A renamed
// copy shows its own name. Worked out on the first call and kept in static
// storage, so later calls cannot fail; an empty text when the path is unknown.
const wchar_t* ApplicationName() noexcept;

// Shows `text` in a modal box owned by `owner` (null: no owner), captioned with
// the application name, with an OK button only; returns once it is dismissed.
void ShowApplicationMessage(HWND owner, const wchar_t* text) noexcept;

// Shows, as ShowApplicationMessage does, `format` (a wsprintfW format taking one
// 32-bit number, the text at most 95 characters) with `number` in its place.
void ShowApplicationNumber(HWND owner, const wchar_t* format, DWORD number) noexcept;

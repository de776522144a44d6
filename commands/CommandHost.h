// What the button commands need of the dialog that hosts them.
#pragma once

#include <cstddef>

class CommandHost {
public:
    // The control's current text, NUL-terminated, in `text` of `capacity` bytes
    // (at least 1); a longer text is cut.
    virtual void GetControlText(int id, char* text, std::size_t capacity) = 0;
    // Replaces the whole text of control `id` with the NUL-terminated `text`.
    virtual void SetControlText(int id, const char* text) = 0;
    // Shows `text` in a modal box owned by the main dialog, captioned with the
    // application name, with an OK button only; returns once it is dismissed.
    // The text is UTF-16 on Windows, so it reads the same on every code page.
    virtual void ShowMessage(const wchar_t* text) = 0;

protected:
    ~CommandHost() = default;  // never destroyed through this interface
};

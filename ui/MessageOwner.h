// The window that owns the console's messages.
#pragma once

#include <string>

class MessageOwner {
public:
    virtual ~MessageOwner() = default;
    // Shows `text` in a modal box owned by the main dialog, captioned with the
    // application name, with an OK button only; returns once it is dismissed.
    // The text is UTF-16 on Windows, so it reads the same on every code page.
    virtual void ShowMessage(const std::wstring& text) = 0;
};

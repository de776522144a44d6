// The window that owns the console's messages.
#pragma once

class MessageOwner {
public:
    virtual ~MessageOwner() = default;
    // Shows `text` in a modal box owned by the main dialog, captioned with the
    // application name, with an OK button only; returns once it is dismissed.
    virtual void ShowMessage(const char* text) = 0;
};

// The main dialog as the commands' host: its controls and its message boxes.
#pragma once

#include <windows.h>

#include "CommandHost.h"

class DialogHost final : public CommandHost {
public:
    explicit DialogHost(HWND dialog) : m_dialog(dialog) {}

    void GetControlText(int id, char* text, std::size_t capacity) override;
    void SetControlText(int id, const char* text) override;
    // A modal box owned by the dialog, captioned with the application name, OK only.
    void ShowMessage(const wchar_t* text) override;

private:
    HWND m_dialog;
};

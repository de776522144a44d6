// What the button commands need of the dialog that hosts them.
#pragma once

#include <string>

#include "MessageOwner.h"

class CommandHost : public MessageOwner {
public:
    // The whole current text of control `id`.
    virtual std::string GetControlText(int id) = 0;
    // Replaces the whole text of control `id` with `text`.
    virtual void SetControlText(int id, const std::string& text) = 0;
};

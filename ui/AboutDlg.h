// The About box: icon, name and version, OK.
#pragma once

#include "DialogBase.h"

class CAboutDlg final : public DialogBase {
public:
    CAboutDlg();

protected:
    bool RouteMessage(UINT, WPARAM) override { return false; }  // nothing of its own
};

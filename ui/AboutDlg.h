// The About box: icon, name and version, OK.
#pragma once

#include "DialogBase.h"

class CAboutDlg final : public DialogBase {
public:
    CAboutDlg();

protected:
    INT_PTR RouteMessage(UINT, WPARAM) override { return FALSE; }  // nothing of its own
};

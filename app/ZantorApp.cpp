#include "ZantorApp.h"

#include <windows.h>
#include <commctrl.h>

#include "ApplicationName.h"
#include "ZantorDlg.h"

CZantorApp theApp;

bool CZantorApp::InitInstance()
{
    // Every common-control class (list-view, tree-view, bar, tab, up-down,
    // progress, hot-key, animate).
    INITCOMMONCONTROLSEX controls{};
    static_assert(sizeof controls == 8, "the structure is two 32-bit words");
    controls.dwSize = sizeof controls;
    controls.dwICC = 0xFF;
    InitCommonControlsEx(&controls);

    // Work out the message boxes' caption now, while nothing can be short of memory.
    ApplicationName();

    CZantorDlg dialog;
    if (dialog.DoModal() == -1)
        m_exitCode = 1;  // no window could be created: nothing to show, but not a success
    return false;
}

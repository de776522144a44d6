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

    // Work out the message boxes' caption once, before any box needs it.
    ApplicationName();

    CZantorDlg dialog;
    if (dialog.DoModal() == -1) {
        // Not a success: said in a box when the system can still show one, and
        // in the exit code.
        wchar_t text[64];
        wsprintfW(text, L"无法显示主对话框 错误码：%lu", GetLastError());
        ShowApplicationMessage(nullptr, text);
        m_exitCode = 1;
    }
    return false;
}

#include "AboutDlg.h"

#include "BoundedText.h"
#include "resource.h"

CAboutDlg::CAboutDlg(const LibraryIdentity* library) : DialogBase(IDD_ABOUTBOX), m_library(library) {}

// The library's path and version in the second label; the label cuts a long path
// in its middle (SS_PATHELLIPSIS), keeping the file name and the version.
BOOL CAboutDlg::OnInitDialog()
{
    DialogBase::OnInitDialog();
    // The longest path and the version's words; kept out of the stack. The same
    // room as start-up's texts that name a path, so that they share one text type.
    static WideText<LibraryIdentity::kPathCapacity + 64> text;
    text.Clear();
    if (m_library == nullptr || !m_library->found) {
        text.Append(L"读卡器库：未知");
    } else {
        text.Append(m_library->path);
        WideText<32> version;
        AppendVersion(version, *m_library);
        if (m_library->versioned)
            text.Append(L"（版本 ").Append(version.c_str()).Append(L"）");
        else
            text.Append(L"（无版本信息）");
    }
    SetDlgItemTextW(m_hWnd, IDC_ABOUT_LIBRARY, text.c_str());
    return TRUE;
}

// The About box: icon, name and version, the reader library's path and version, OK.
#pragma once

#include "DialogBase.h"
#include "LibraryIdentity.h"

class CAboutDlg final : public DialogBase {
public:
    // `library`: the library loaded (null: unknown); it must outlive the box.
    explicit CAboutDlg(const LibraryIdentity* library);

protected:
    BOOL OnInitDialog() override;
    INT_PTR RouteMessage(UINT, WPARAM) override { return FALSE; }  // nothing of its own

private:
    const LibraryIdentity* m_library;
};

#include "DialogBase.h"

#include <new>

#include "ApplicationName.h"

DialogBase::DialogBase(UINT templateId) : m_templateId(templateId) {}

INT_PTR DialogBase::DoModal(HWND parent)
{
    return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(m_templateId), parent, DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK DialogBase::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<DialogBase*>(lParam);
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        dialog->m_hWnd = window;
        return dialog->OnInitDialog();
    }

    auto* dialog = reinterpret_cast<DialogBase*>(GetWindowLongPtrA(window, DWLP_USER));
    if (!dialog)
        return FALSE;  // messages before WM_INITDIALOG (WM_SETFONT) and after WM_NCDESTROY

    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(window, DWLP_USER, 0);
        dialog->m_hWnd = nullptr;
        return FALSE;
    }

    // Only a failed allocation can throw here; it must not unwind through the
    // system's dialog manager.
    try {
        return dialog->HandleMessage(message, wParam, lParam);
    } catch (const std::bad_alloc&) {
        MessageBoxA(window, "无法分配足够的内存空间", ApplicationName().c_str(), 0);
        return TRUE;
    }
}

INT_PTR DialogBase::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    m_wParam = wParam;
    m_lParam = lParam;
    m_result = 0;
    m_handled = true;

    if (RouteMessage(message, wParam) && m_handled) {
        // These messages return their answer directly; the rest through DWLP_MSGRESULT.
        if (message == WM_QUERYDRAGICON)
            return static_cast<INT_PTR>(m_result);
        SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, m_result);
        return TRUE;
    }

    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(m_hWnd, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

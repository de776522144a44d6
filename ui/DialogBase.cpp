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
        MessageBoxA(window, "无法分配足够的内存空间", ApplicationName(), 0);
        return TRUE;
    }
}

INT_PTR DialogBase::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    const CurrentMessage interrupted = m_current;
    m_current = CurrentMessage{wParam, lParam, 0, true};
    const bool routed = RouteMessage(message, wParam);
    const CurrentMessage handled = m_current;
    m_current = interrupted;

    if (routed && handled.handled) {
        // WM_QUERYDRAGICON returns its answer directly; the rest through DWLP_MSGRESULT.
        if (message == WM_QUERYDRAGICON)
            return static_cast<INT_PTR>(handled.result);
        SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, handled.result);
        return TRUE;
    }

    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(m_hWnd, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

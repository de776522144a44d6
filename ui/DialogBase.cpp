#include "DialogBase.h"

#include <cstring>
#include <cwchar>
#include <exception>
#include <new>

#include "ApplicationName.h"

namespace {

// Tells the operator that a message's handler stopped on an exception; builds
// nothing on the heap, which may be what ran out.
void ReportFault(HWND window, const char* what) noexcept
{
    wchar_t text[512] = L"程序内部错误：";
    const std::size_t prefix = std::wcslen(text);
    const std::size_t room = sizeof text / sizeof text[0] - prefix - 1;
    // The standard library's texts are narrow, in the ANSI code page; a byte
    // gives at most one UTF-16 unit, so `room` bytes always fit.
    const int written = MultiByteToWideChar(CP_ACP, 0, what, static_cast<int>(strnlen(what, room)),
                                            text + prefix, static_cast<int>(room));
    text[prefix + static_cast<std::size_t>(written > 0 ? written : 0)] = L'\0';
    ShowApplicationMessage(window, text);
}

}  // namespace

DialogBase::DialogBase(UINT templateId) : m_templateId(templateId) {}

INT_PTR DialogBase::DoModal(HWND parent)
{
    return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_templateId), parent, DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK DialogBase::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept
{
    DialogBase* dialog = nullptr;
    if (message == WM_INITDIALOG) {
        dialog = reinterpret_cast<DialogBase*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        dialog->m_hWnd = window;
    } else {
        dialog = reinterpret_cast<DialogBase*>(GetWindowLongPtrW(window, DWLP_USER));
        if (!dialog)
            return FALSE;  // messages before WM_INITDIALOG (WM_SETFONT) and after WM_NCDESTROY
        if (message == WM_NCDESTROY) {
            SetWindowLongPtrW(window, DWLP_USER, 0);
            dialog->m_hWnd = nullptr;
            return FALSE;
        }
    }

    // Nothing may unwind through the system's dialog manager. After a fault the
    // message is left to the dialog manager, except that a dialog being set up
    // still gets its focus.
    try {
        if (message == WM_INITDIALOG)
            return dialog->OnInitDialog();
        return dialog->HandleMessage(message, wParam);
    } catch (const std::bad_alloc&) {
        ShowApplicationMessage(window, L"无法分配足够的内存空间");
    } catch (const std::exception& error) {
        ReportFault(window, error.what());
    } catch (...) {
        ShowApplicationMessage(window, L"程序内部错误：未知的异常");
    }
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

INT_PTR DialogBase::HandleMessage(UINT message, WPARAM wParam)
{
    if (const INT_PTR answer = RouteMessage(message, wParam))
        return answer;

    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(m_hWnd, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

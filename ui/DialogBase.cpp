#include "DialogBase.h"

DialogBase::DialogBase(UINT templateId) : m_templateId(templateId) {}

INT_PTR DialogBase::DoModal(HWND parent)
{
    return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_templateId), parent, DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK DialogBase::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept
{
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<DialogBase*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        dialog->m_hWnd = window;
        return dialog->OnInitDialog();
    }
    auto* dialog = reinterpret_cast<DialogBase*>(GetWindowLongPtrW(window, DWLP_USER));
    if (!dialog)
        return FALSE;  // messages before WM_INITDIALOG (WM_SETFONT) and after WM_NCDESTROY
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, DWLP_USER, 0);
        dialog->m_hWnd = nullptr;
        return FALSE;
    }
    return dialog->HandleMessage(message, wParam);
}

INT_PTR DialogBase::HandleMessage(UINT message, WPARAM wParam)
{
    if (const INT_PTR answer = RouteMessage(message, wParam))
        return answer;

    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        // The dialog is never ended under a running command: once it returns.
        if (m_running) {
            if (m_endAsked == 0)
                m_endAsked = LOWORD(wParam);
            return Handled();
        }
        EndDialog(m_hWnd, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

INT_PTR DialogBase::Handled() const
{
    SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, 0);
    return TRUE;
}

INT_PTR DialogBase::RouteCommand(const CommandEntry* table, std::size_t rows, UINT message, WPARAM wParam)
{
    for (std::size_t i = 0; i < rows; ++i) {
        const CommandEntry& entry = table[i];
        if (entry.message != message)
            continue;
        if (message == WM_COMMAND && (LOWORD(wParam) != entry.id || HIWORD(wParam) != BN_CLICKED))
            continue;
        if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) != entry.id)
            continue;
        Run(entry.handler);
        return Handled();
    }
    return FALSE;
}

void DialogBase::Run(Handler handler)
{
    if (m_running) {
        // Something inside the running command dispatched this press.
        if (m_endAsked == 0 && m_keptCount < kKeptCapacity)
            m_kept[m_keptCount++] = handler;
        return;
    }
    m_running = true;
    (this->*handler)();
    // The presses kept meanwhile, in order; each may keep more.
    for (std::size_t next = 0; next < m_keptCount; ++next)
        (this->*m_kept[next])();
    m_keptCount = 0;
    m_running = false;
    OnCommandsDone();
    if (m_endAsked != 0) {
        EndDialog(m_hWnd, m_endAsked);
        m_endAsked = 0;
    }
}

// The smallest dialog base the program needs: runs a template modally as a
// Unicode dialog, keeps `this` with the window, and routes messages to member
// handlers through the derived class's static table. OK and Cancel end the
// dialog unless a handler takes them. Nothing a handler throws leaves the dialog
// procedure: it is reported to the operator in a message box.
#pragma once

#include <windows.h>

#include <cstddef>
#include <variant>

class DialogBase {
public:
    DialogBase(const DialogBase&) = delete;
    DialogBase& operator=(const DialogBase&) = delete;

    // Runs the dialog until it ends; returns EndDialog's value, or -1 when the
    // dialog could not be created (GetLastError tells why).
    INT_PTR DoModal(HWND parent = nullptr);

protected:
    explicit DialogBase(UINT templateId);
    virtual ~DialogBase() = default;

    // A row's handler, by what it is given and what it answers:
    //   void ()      a button's click: runs to completion;
    //   bool (UINT)  a message carrying an identifier in wParam (WM_SYSCOMMAND);
    //   bool ()      a message without arguments (WM_PAINT);
    //   HICON ()     a message answered with an icon (WM_QUERYDRAGICON).
    // false, or a null icon, leaves the message to the dialog manager.
    template <class Dialog>
    using Handler = std::variant<void (Dialog::*)(), bool (Dialog::*)(UINT), bool (Dialog::*)(),
                                 HICON (Dialog::*)()>;

    // One row of a dispatch table: a window message, or WM_COMMAND with the id of
    // the button whose click it routes.
    template <class Dialog>
    struct MessageEntry {
        UINT message;
        UINT controlId;
        Handler<Dialog> handler;
    };

    // TRUE lets the dialog manager set the focus to the first tab stop.
    virtual BOOL OnInitDialog() { return TRUE; }
    // Calls the handler of the message's row, if any; returns what the dialog
    // procedure answers, FALSE when no handler took the message.
    virtual INT_PTR RouteMessage(UINT message, WPARAM wParam) = 0;

    template <class Dialog, std::size_t N>
    INT_PTR Route(const MessageEntry<Dialog> (&table)[N], UINT message, WPARAM wParam)
    {
        for (const MessageEntry<Dialog>& entry : table) {
            if (entry.message != message)
                continue;
            if (message == WM_COMMAND && (LOWORD(wParam) != entry.controlId || HIWORD(wParam) != BN_CLICKED))
                continue;
            return std::visit(Call<Dialog>{*static_cast<Dialog*>(this), m_hWnd, wParam}, entry.handler);
        }
        return FALSE;
    }

    HWND m_hWnd = nullptr;

private:
    // Calls a handler with what its kind needs and turns its answer into the
    // dialog procedure's. A handled message answers 0 through DWLP_MSGRESULT,
    // set after the handler so that messages it nested cannot leave theirs; an
    // icon is the procedure's own return value.
    template <class Dialog>
    struct Call {
        Dialog& dialog;
        HWND window;
        WPARAM wParam;

        INT_PTR Handled(bool handled) const
        {
            if (!handled)
                return FALSE;
            SetWindowLongPtrW(window, DWLP_MSGRESULT, 0);
            return TRUE;
        }
        INT_PTR operator()(void (Dialog::*handler)()) const
        {
            (dialog.*handler)();
            return Handled(true);
        }
        INT_PTR operator()(bool (Dialog::*handler)(UINT)) const
        {
            return Handled((dialog.*handler)(static_cast<UINT>(wParam)));
        }
        INT_PTR operator()(bool (Dialog::*handler)()) const { return Handled((dialog.*handler)()); }
        INT_PTR operator()(HICON (Dialog::*handler)()) const
        {
            return reinterpret_cast<INT_PTR>((dialog.*handler)());
        }
    };

    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    INT_PTR HandleMessage(UINT message, WPARAM wParam);

    UINT m_templateId;
};

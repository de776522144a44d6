// The smallest dialog base the program needs: runs a template modally, keeps
// `this` with the window, and routes messages to member handlers through the
// derived class's static table. OK and Cancel end the dialog unless a handler
// takes them.
#pragma once

#include <windows.h>

#include <cstddef>

class DialogBase {
public:
    DialogBase(const DialogBase&) = delete;
    DialogBase& operator=(const DialogBase&) = delete;

    // Runs the dialog until it ends; returns EndDialog's value, or -1 when the
    // dialog could not be created.
    INT_PTR DoModal(HWND parent = nullptr);

protected:
    explicit DialogBase(UINT templateId);
    virtual ~DialogBase() = default;

    // One row of a dispatch table: a window message, or WM_COMMAND with the id of
    // the button whose click it routes.
    template <class Dialog>
    struct MessageEntry {
        UINT message;
        UINT controlId;
        void (Dialog::*handler)();
    };

    // TRUE lets the dialog manager set the focus to the first tab stop.
    virtual BOOL OnInitDialog() { return TRUE; }
    // Calls the handler of the message's row, if any; true when one ran.
    virtual bool RouteMessage(UINT message, WPARAM wParam) = 0;

    template <class Dialog, std::size_t N>
    bool Route(const MessageEntry<Dialog> (&table)[N], UINT message, WPARAM wParam)
    {
        for (const MessageEntry<Dialog>& entry : table) {
            if (entry.message != message)
                continue;
            if (message == WM_COMMAND && (LOWORD(wParam) != entry.controlId || HIWORD(wParam) != BN_CLICKED))
                continue;
            (static_cast<Dialog*>(this)->*entry.handler)();
            return true;
        }
        return false;
    }

    // The parameters of the message being handled, for handlers that need them.
    WPARAM CurrentWParam() const { return m_current.wParam; }
    LPARAM CurrentLParam() const { return m_current.lParam; }
    // The value the handler answers with (e.g. a drag icon).
    void SetResult(LRESULT result) { m_current.result = result; }
    // Hands the message on to the dialog manager's default processing.
    void UseDefaultProcessing() { m_current.handled = false; }

    HWND m_hWnd = nullptr;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    // The message being handled and what its handler made of it. A handler that
    // runs a modal box handles further messages meanwhile: each one saves and
    // restores the state of the message it interrupts.
    struct CurrentMessage {
        WPARAM wParam = 0;
        LPARAM lParam = 0;
        LRESULT result = 0;
        bool handled = false;
    };

    UINT m_templateId;
    CurrentMessage m_current;
};

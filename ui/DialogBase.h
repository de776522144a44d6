// The smallest dialog base the program needs: runs a template modally as a
// Unicode dialog, keeps `this` with the window, and routes messages to member
// handlers. OK and Cancel end the dialog unless a handler takes them.
//
// One command at a time. A command's handler runs to completion, and what it
// calls may dispatch window messages (a reader library that keeps its own
// progress window alive). A press, a system command of the table or a close
// request that arrives meanwhile never starts inside it: presses wait and are
// carried out after it, in the order they came, as they would be had nothing
// dispatched them; a close request ends the dialog after it, and presses that
// come after the close request are dropped.
#pragma once

#include <windows.h>

#include <cstddef>

class DialogBase {
public:
    DialogBase(const DialogBase&) = delete;
    DialogBase& operator=(const DialogBase&) = delete;

    // Runs the dialog until it ends; returns EndDialog's value, or -1 when the
    // dialog could not be created (GetLastError tells why).
    INT_PTR DoModal(HWND parent = nullptr);

protected:
    explicit DialogBase(UINT templateId);
    // Never destroyed through the base: each dialog is a local of its owner.
    ~DialogBase() = default;

    // A command's handler: takes nothing, returns nothing, runs to completion.
    using Handler = void (DialogBase::*)();

    // One row of a command table: WM_COMMAND with the id of the button whose
    // click it routes, or WM_SYSCOMMAND with a command id whose low four bits
    // are the system's.
    struct CommandEntry {
        UINT message;
        UINT id;
        Handler handler;
    };

    // A derived class's handler as a table row takes it. The program's own tables
    // write the static_cast<Handler> in place instead: the compiler folds that into
    // the constant table, while a call to this one is made at start-up, row by row.
    template <class Dialog>
    static Handler Command(void (Dialog::*handler)())
    {
        return static_cast<Handler>(handler);
    }

    // TRUE lets the dialog manager set the focus to the first tab stop.
    virtual BOOL OnInitDialog() { return TRUE; }
    // What the dialog procedure answers for the message, FALSE when no handler
    // took it. Commands go through RouteCommand.
    virtual INT_PTR RouteMessage(UINT message, WPARAM wParam) = 0;

    // Runs the handler of the command's row, or keeps it while another command
    // runs; FALSE when no row is the command's.
    template <std::size_t N>
    INT_PTR RouteCommand(const CommandEntry (&table)[N], UINT message, WPARAM wParam)
    {
        return RouteCommand(table, N, message, wParam);
    }

    // The answer for a message a handler took: 0 in DWLP_MSGRESULT, set after the
    // handler so that messages it nested cannot leave theirs.
    INT_PTR Handled() const;

    // Whether a command's handler is on the stack now.
    bool CommandRunning() const { return m_running; }
    // Called when a command and the presses kept meanwhile have all run.
    virtual void OnCommandsDone() {}

    HWND m_hWnd = nullptr;

private:
    // Presses kept while one command runs. An operator presses a few buttons
    // while a library call takes its time, not dozens: more are dropped.
    static constexpr std::size_t kKeptCapacity = 16;

    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    INT_PTR HandleMessage(UINT message, WPARAM wParam);
    INT_PTR RouteCommand(const CommandEntry* table, std::size_t rows, UINT message, WPARAM wParam);
    void Run(Handler handler);

    UINT m_templateId;
    bool m_running = false;  // a command's handler is on the stack
    int m_endAsked = 0;      // IDOK or IDCANCEL, asked for while one ran
    Handler m_kept[kKeptCapacity] = {};
    std::size_t m_keptCount = 0;
};

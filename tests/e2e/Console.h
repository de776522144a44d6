// Driving the real Zantor.exe (Zantor64.exe in the 64-bit build) through its window, as an operator would: start it
// in a working folder of its own, type into boxes, click buttons, read and dismiss
// its message boxes. Everything waits by polling with a time limit; a step that
// cannot be done throws DriveError, which fails the test with its description.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "Insider.h"
#include "TestOwners.h"

namespace e2e {

// Default time limit of one waiting step.
constexpr DWORD kTimeoutMs = 10000;

struct DriveError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

// The folder of this program: Zantor.exe, Mervik.dll and Insider.dll are built
// beside it.
std::wstring BinFolder();

// The program under test, built beside this one for the same architecture:
// "Zantor" or "Zantor64", which is also the caption of its message boxes.
std::wstring ProgramName();
// Its file name: ProgramName() and ".exe".
std::wstring ProgramFile();

// A fresh working folder: <bin>\..\e2e-work\<name>, emptied when made. It is kept
// after the test, to be looked at when one fails.
class WorkFolder {
public:
    explicit WorkFolder(const std::wstring& name);

    const std::wstring& Path() const { return m_path; }
    std::wstring File(const std::wstring& name) const { return m_path + L"\\" + name; }

    // Copies of the freshly built program (under another name if asked) and reader.
    void CopyProgram(const std::wstring& as = ProgramFile()) const;
    void CopyReader() const;
    // Writes the stand-in reader's script, Mervik.ini, in UTF-8.
    void WriteScript(const std::wstring& ini) const;

    void WriteBytes(const std::wstring& name, const std::string& bytes) const;
    // The file's bytes; throws when it cannot be read.
    std::string ReadBytes(const std::wstring& name) const;

private:
    std::wstring m_path;
};

// Reads a file's bytes by full path; throws when it cannot be read.
std::string ReadFileBytes(const std::wstring& path);

// A message box (or any other window) owned by the console's dialog, as it looks.
struct OwnedBox {
    HWND hwnd = nullptr;
    std::wstring caption;
    std::wstring text;           // the static control 0xFFFF of a message box
    std::vector<int> buttons;    // ids of the visible push buttons
    bool icon = false;           // a visible icon control
};

// A child window as the tests compare it with the dialog's template.
struct ChildWindow {
    HWND hwnd = nullptr;
    int id = 0;
    std::wstring className;
    std::wstring text;  // the window text (for an edit box only its initial text)
    DWORD style = 0;
    DWORD exStyle = 0;
    RECT rect = {};  // in the parent's client coordinates
};

// A window's whole text, read with WM_GETTEXT (which also reads another
// process's edit boxes); throws when the window does not answer.
std::wstring WindowText(HWND window);

// The children of a window in their z-order, which for a dialog is its template
// order and so its tab order.
std::vector<ChildWindow> Children(HWND parent);

// One running console: the process, its main dialog and an in-process insider.
class Console {
public:
    // Starts <folder>\<exe> (with `arguments` after its name) with <folder> as its
    // working folder and MERVIK_INI naming <folder>\Mervik.ini, and waits for its
    // main dialog.
    explicit Console(const WorkFolder& folder, const std::wstring& exe = ProgramFile(),
                     const std::wstring& arguments = L"");
    // Attaches to a console that is already running (any process): its main
    // dialog is the top-level dialog with a port box 1007 and an open button
    // 1000. The process is left running when this object goes.
    static std::unique_ptr<Console> Attach(DWORD timeoutMs = kTimeoutMs);
    ~Console();
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    HWND Dialog() const { return m_dialog; }

    // The control with this id; throws when the dialog has none.
    HWND Item(int id) const;
    // Replaces the control's text (as typing would leave it).
    void Type(int id, const std::wstring& text) const;
    // The control's whole current text.
    std::wstring Text(int id) const;
    // Clicks a button. Posted: the console's handler may block in a message box.
    void Click(int id) const;
    // Posts a system-menu command to the dialog.
    void SysCommand(WPARAM command) const;
    // Posts a key press to a control (what IsDialogMessage sees for a typed key).
    void PressKey(int id, UINT virtualKey) const;
    // Brings the dialog to the front and presses a key with real input
    // (SendInput): it comes through the input queue, after posted messages.
    void TypeRealKey(UINT virtualKey) const;
    // Waits for a visible top-level window of the console's process of this
    // class; null on time-out or when the process ended.
    HWND WaitForTopLevel(const std::wstring& className, DWORD timeoutMs = kTimeoutMs) const;
    // Moves the keyboard focus to the control, the way Tab would, and waits for it.
    void FocusOn(int id) const;
    // The window with the keyboard focus in the console's thread.
    HWND Focus() const;

    // Windows owned by the dialog right now (message boxes, the About box).
    std::vector<HWND> OwnedWindows() const;
    // Waits for a visible window owned by the dialog and reads it.
    OwnedBox WaitForOwnedBox(DWORD timeoutMs = kTimeoutMs) const;
    // The same for a window owned by `owner`, a window of the console (a box the
    // dialog opened); with a caption, only a window captioned so.
    OwnedBox WaitForBoxOwnedBy(HWND owner, DWORD timeoutMs = kTimeoutMs, const std::wstring& caption = L"") const;
    // Presses the box's OK button and waits until the box is gone.
    void PressOk(const OwnedBox& box) const;
    // Click, wait for the message box, read it, press OK: what the operator saw.
    OwnedBox ClickAndDismiss(int id) const;

    // Returns once every message posted to the dialog so far has been dispatched
    // (a handler blocked in a modal box counts as dispatched once the box runs).
    void Barrier() const;
    // The dialog's system menu, read inside the console.
    std::vector<InsiderMenuItem> SystemMenu() const;
    // Dialog units to pixels with the dialog's own MapDialogRect.
    std::vector<RECT> MapDialogRects(const std::vector<RECT>& units) const;

    // The dialog's big and small icons, as the dialog answers WM_GETICON inside
    // its process (null when none is set).
    std::pair<std::uint64_t, std::uint64_t> Icons() const;

    // Repaints every window of the console's thread at once.
    void Repaint() const;
    // Saves a window of the console (the dialog or a box it owns), frame
    // included, to a BMP file, as painted inside the console.
    void Capture(HWND window, const std::wstring& bmpPath) const;

    // Waits for the process to end; false on time-out.
    bool WaitForExit(DWORD timeoutMs, DWORD* exitCode = nullptr) const;
    bool Running() const;

private:
    Console() = default;
    const InsiderBlock& Inspect(InsiderRequest request, const RECT* rects = nullptr, std::uint32_t count = 0) const;

    win32::KernelHandle m_process;
    bool m_started = false;  // this object started the process, and ends it
    DWORD m_pid = 0;
    DWORD m_tid = 0;
    HWND m_dialog = nullptr;

    // The insider: a hook on the dialog's thread and the shared block (members
    // go in reverse order: the hook before its DLL, the view before its mapping).
    win32::Library m_insiderDll;
    win32::Hook m_hook;
    win32::KernelHandle m_mapping;
    win32::MappedView m_view;
    InsiderBlock* m_block = nullptr;
    mutable LONG m_sequence = 0;
};

// Starts a program and waits for it to end without a window (for programs that
// must not start at all); returns its exit code, throws on time-out.
DWORD RunToExit(const WorkFolder& folder, const std::wstring& exe = ProgramFile(), DWORD timeoutMs = kTimeoutMs,
                const std::wstring& arguments = L"");

// A message box a program shows before any dialog (no owner), and how the program
// ended once the box's OK was pressed.
struct LoneBox {
    std::wstring caption;
    std::wstring text;
    DWORD exitCode = 0;
};

// Starts the program with `arguments`, waits for a message box without owner,
// reads it, presses OK and waits for the program to end; throws when the program
// shows its main dialog or no box.
LoneBox RunToLoneBox(const WorkFolder& folder, const std::wstring& arguments);

}  // namespace e2e

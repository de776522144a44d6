// What the tests ask of the console from inside its own process, and the memory
// the answers travel in. Some facts can only be read by the process that owns the
// window: its menus, and the dialog-unit conversion of its dialogs. The tests load
// Insider.dll into the console with a message hook on the dialog's thread; the
// hook answers a request posted to the dialog and writes the answer into a named
// shared memory block that the test process created.
#pragma once

#include <windows.h>

#include <cstdint>

namespace e2e {

// Posted to the dialog: wParam = the test's process id (names the memory block),
// lParam = the request's sequence number, echoed in `done` once answered.
inline const wchar_t* InsiderMessageName() { return L"ZantorE2E.Inspect"; }

enum class InsiderRequest : std::uint32_t {
    // Mark that every message posted before this one has been dispatched.
    kBarrier = 0,
    // The items of the dialog's system menu.
    kSystemMenu = 1,
    // Convert `rects` (dialog units) to pixels with the dialog's MapDialogRect.
    kMapDialogRects = 2,
    // The dialog's big and small icons (WM_GETICON) in values[0] and values[1].
    kIcons = 3,
    // Repaint every window of the dialog's thread now.
    kRepaint = 4,
    // Save window values[0], frame included, as Wine painted it, to the BMP file
    // `path` (for screenshots: what reaches the X server can lag behind).
    kCapture = 5,
};

struct InsiderMenuItem {
    std::uint32_t type;   // MFT_* flags
    std::uint32_t state;  // MFS_* flags
    std::uint32_t id;
    wchar_t text[128];
};

struct InsiderBlock {
    static constexpr std::uint32_t kMaxItems = 64;
    static constexpr std::uint32_t kMaxRects = 64;

    volatile LONG done;  // sequence number of the last request answered
    std::uint32_t request;
    std::int32_t status;  // 1: answered; 0: the call inside the console failed
    std::uint32_t count;
    InsiderMenuItem items[kMaxItems];
    RECT rects[kMaxRects];
    std::uint64_t values[4];
    wchar_t path[MAX_PATH];
};

inline void InsiderBlockName(DWORD testProcessId, wchar_t (&name)[64])
{
    wsprintfW(name, L"Local\\ZantorE2EInsider.%lu", testProcessId);
}

}  // namespace e2e

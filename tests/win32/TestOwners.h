// Owners of the Win32 handles only the tests and the benchmarks use: searches,
// loaded libraries, hooks, mapped views, GDI objects and window DCs (processes and
// threads: win32::KernelHandle).
#pragma once

#include <windows.h>

#include "Win32Owners.h"

namespace win32 {

struct FindTraits {
    using Handle = HANDLE;
    static Handle None() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle handle) { FindClose(handle); }
};
struct LibraryTraits {
    using Handle = HMODULE;
    static Handle None() { return nullptr; }
    static void Close(Handle handle) { FreeLibrary(handle); }
};
struct HookTraits {
    using Handle = HHOOK;
    static Handle None() { return nullptr; }
    static void Close(Handle handle) { UnhookWindowsHookEx(handle); }
};
struct ViewTraits {  // MapViewOfFile
    using Handle = void*;
    static Handle None() { return nullptr; }
    static void Close(Handle handle) { UnmapViewOfFile(handle); }
};
struct GdiObjectTraits {  // bitmaps, brushes, fonts made by a test
    using Handle = HGDIOBJ;
    static Handle None() { return nullptr; }
    static void Close(Handle handle) { DeleteObject(handle); }
};
struct MemoryDCTraits {  // CreateCompatibleDC
    using Handle = HDC;
    static Handle None() { return nullptr; }
    static void Close(Handle handle) { DeleteDC(handle); }
};

using FindHandle = Owned<FindTraits>;
using Library = Owned<LibraryTraits>;
using Hook = Owned<HookTraits>;
using MappedView = Owned<ViewTraits>;
using GdiObject = Owned<GdiObjectTraits>;
using MemoryDC = Owned<MemoryDCTraits>;

// GetWindowDC and ReleaseDC as a pair: the whole window, frame included.
class WindowDC {
public:
    explicit WindowDC(HWND window) noexcept : m_window(window), m_dc(GetWindowDC(window)) {}
    ~WindowDC()
    {
        if (m_dc)
            ReleaseDC(m_window, m_dc);
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;

    HDC Get() const noexcept { return m_dc; }
    explicit operator bool() const noexcept { return m_dc != nullptr; }

private:
    HWND m_window;
    HDC m_dc;
};

}  // namespace win32

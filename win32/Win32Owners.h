// Small owners of the Win32 handles the program and the stand-in reader use (the
// tests' and benchmarks' own are in tests/win32/TestOwners.h). Each gives its
// handle back when it goes out of scope; none can be copied, and the
// single-handle owners can be moved.
#pragma once

#include <windows.h>

#include <utility>

namespace win32 {

// Owns one handle of the kind `Traits` describes: its type, the value that
// means "no handle", and the call that gives it back.
template <class Traits>
class Owned {
public:
    using Handle = typename Traits::Handle;

    Owned() noexcept = default;
    explicit Owned(Handle handle) noexcept : m_handle(handle) {}
    ~Owned() { Reset(); }
    Owned(Owned&& other) noexcept : m_handle(other.Release()) {}
    Owned& operator=(Owned&& other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;

    Handle Get() const noexcept { return m_handle; }
    explicit operator bool() const noexcept { return m_handle != Traits::None(); }
    // Gives the handle up without closing it.
    Handle Release() noexcept { return std::exchange(m_handle, Traits::None()); }
    // Closes the handle held, if any, and takes `handle`.
    void Reset(Handle handle = Traits::None()) noexcept
    {
        if (m_handle != Traits::None())
            Traits::Close(m_handle);
        m_handle = handle;
    }

private:
    Handle m_handle = Traits::None();
};

struct FileTraits {  // CreateFile: INVALID_HANDLE_VALUE when none
    using Handle = HANDLE;
    static Handle None() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle handle) { CloseHandle(handle); }
};
using FileHandle = Owned<FileTraits>;

struct KernelTraits {  // events, sections, processes, threads: null when none
    using Handle = HANDLE;
    static Handle None() { return nullptr; }
    static void Close(Handle handle) { CloseHandle(handle); }
};
using KernelHandle = Owned<KernelTraits>;

// BeginPaint and EndPaint as a pair.
class PaintDC {
public:
    explicit PaintDC(HWND window) noexcept : m_window(window), m_dc(BeginPaint(window, &m_paint)) {}
    ~PaintDC() { EndPaint(m_window, &m_paint); }
    PaintDC(const PaintDC&) = delete;
    PaintDC& operator=(const PaintDC&) = delete;

    HDC Get() const noexcept { return m_dc; }

private:
    HWND m_window;
    PAINTSTRUCT m_paint{};
    HDC m_dc;
};

}  // namespace win32

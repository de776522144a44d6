// The full path of a loaded module, however long: the buffer grows until the
// path fits, up to the longest path the system gives (32767 characters).
#pragma once

#include <windows.h>

#include <cstdlib>

namespace win32 {

class ModulePath {
public:
    // The path of `module` (null: the program's own file).
    explicit ModulePath(HMODULE module) noexcept
    {
        for (DWORD capacity = MAX_PATH; capacity <= kLongest; capacity *= 2) {
            std::free(m_path);
            m_path = static_cast<wchar_t*>(std::malloc(capacity * sizeof(wchar_t)));
            if (m_path == nullptr)
                return;
            // A path that does not fit is cut to the buffer and its length is the
            // buffer's: only a shorter length means the whole path is there.
            const DWORD length = GetModuleFileNameW(module, m_path, capacity);
            if (length == 0)
                break;
            if (length < capacity) {
                m_length = length;
                return;
            }
        }
        std::free(m_path);
        m_path = nullptr;
    }
    ~ModulePath() { std::free(m_path); }
    ModulePath(const ModulePath&) = delete;
    ModulePath& operator=(const ModulePath&) = delete;

    // False when the module is unknown or the path could not be had.
    explicit operator bool() const noexcept { return m_path != nullptr; }
    // The NUL-terminated path, writable in place; null when there is none.
    wchar_t* Get() const noexcept { return m_path; }
    DWORD Length() const noexcept { return m_length; }

private:
    static constexpr DWORD kLongest = 65536;  // the first power of two above 32767 + NUL
    wchar_t* m_path = nullptr;
    DWORD m_length = 0;
};

}  // namespace win32

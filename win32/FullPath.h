// A path made full (GetFullPathNameW: joined to the current folder, "." and ".."
// taken out), however long, and the system's words for an error code.
#pragma once

#include <windows.h>

#include <cstdlib>

namespace win32 {

class FullPath {
public:
    explicit FullPath(const wchar_t* path) noexcept
    {
        DWORD capacity = MAX_PATH;
        for (int attempt = 0; attempt < 3; ++attempt) {
            m_path = static_cast<wchar_t*>(std::malloc(capacity * sizeof(wchar_t)));
            if (m_path == nullptr) {
                m_error = ERROR_NOT_ENOUGH_MEMORY;
                return;
            }
            // The length without the NUL when it fits, else the size it needs.
            const DWORD length = GetFullPathNameW(path, capacity, m_path, nullptr);
            if (length != 0 && length < capacity) {
                m_length = length;
                return;
            }
            std::free(m_path);
            m_path = nullptr;
            if (length == 0) {
                m_error = GetLastError() != 0 ? GetLastError() : ERROR_BAD_PATHNAME;
                return;
            }
            capacity = length;
        }
        m_error = ERROR_BAD_PATHNAME;
    }
    ~FullPath() { std::free(m_path); }
    FullPath(const FullPath&) = delete;
    FullPath& operator=(const FullPath&) = delete;

    // False when the system could not make the path full (Error() says why).
    explicit operator bool() const noexcept { return m_path != nullptr; }
    // The NUL-terminated full path; null when there is none.
    const wchar_t* Get() const noexcept { return m_path; }
    DWORD Length() const noexcept { return m_length; }
    DWORD Error() const noexcept { return m_error; }

private:
    wchar_t* m_path = nullptr;
    DWORD m_length = 0;
    DWORD m_error = 0;
};

// The system's own words for `error` (FormatMessageW, in the user's language),
// without the line break they end with; "" when the system has none.
class SystemMessage {
public:
    explicit SystemMessage(DWORD error) noexcept
    {
        const DWORD length = FormatMessageW(
            FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
            0, reinterpret_cast<wchar_t*>(&m_text), 0, nullptr);
        if (length == 0 || m_text == nullptr)
            return;
        DWORD end = length;
        while (end > 0 && (m_text[end - 1] == L'\r' || m_text[end - 1] == L'\n' || m_text[end - 1] == L' ' ||
                           m_text[end - 1] == L'.' || m_text[end - 1] == L'\x3002'))
            --end;
        m_text[end] = 0;
    }
    ~SystemMessage()
    {
        if (m_text != nullptr)
            LocalFree(m_text);
    }
    SystemMessage(const SystemMessage&) = delete;
    SystemMessage& operator=(const SystemMessage&) = delete;

    const wchar_t* Get() const noexcept { return m_text != nullptr ? m_text : L""; }

private:
    wchar_t* m_text = nullptr;
};

// Appends " 错误码：5（拒绝访问）" to `text` (a WideText): the code and, when the
// system has words for it, its words.
template <class Text>
void AppendErrorReason(Text& text, DWORD error)
{
    text.Append(L" 错误码：").AppendDecimal(error);
    const SystemMessage words(error);
    if (words.Get()[0] != 0)
        text.Append(L"（").Append(words.Get()).Append(L"）");
}

}  // namespace win32

// A reader buffer pre-filled with 'Q' and followed by canary bytes, to tell what
// the stand-in wrote, whether it wrote at all, and that it wrote nothing past the end.
#pragma once

#include <optional>
#include <string>

class TestBuffer {
public:
    explicit TestBuffer(std::size_t size) : m_size(size), m_bytes(size, 'Q') { m_bytes.resize(size + 64, '\xA5'); }

    char* data() { return m_bytes.data(); }
    bool CanaryIntact() const { return WrittenPast() == 0; }
    // How far past the end the bytes were written (the last canary byte changed).
    std::size_t WrittenPast() const
    {
        const std::size_t last = m_bytes.find_last_not_of('\xA5');
        return last == std::string::npos || last < m_size ? 0 : last + 1 - m_size;
    }
    // The NUL-terminated text written; nullopt if the buffer is as it was handed over.
    std::optional<std::string> Written() const
    {
        const std::size_t end = m_bytes.find('\0');
        if (end < m_size)
            return m_bytes.substr(0, end);
        if (m_bytes.find_first_not_of('Q') < m_size)
            return "<unterminated>";
        return std::nullopt;
    }

private:
    std::size_t m_size;
    std::string m_bytes;
};

// A reader buffer pre-filled with 'Q' and followed by canary bytes, to tell what
// the stand-in wrote, whether it wrote at all, and that it wrote nothing past the end.
#pragma once

#include <optional>
#include <string>

class TestBuffer {
public:
    explicit TestBuffer(std::size_t size) : size_(size), bytes_(size, 'Q') { bytes_.resize(size + 64, '\xA5'); }

    char* data() { return bytes_.data(); }
    bool CanaryIntact() const { return WrittenPast() == 0; }
    // How far past the end the bytes were written (the last canary byte changed).
    std::size_t WrittenPast() const
    {
        const std::size_t last = bytes_.find_last_not_of('\xA5');
        return last == std::string::npos || last < size_ ? 0 : last + 1 - size_;
    }
    // The NUL-terminated text written; nullopt if the buffer is as it was handed over.
    std::optional<std::string> Written() const
    {
        const std::size_t end = bytes_.find('\0');
        if (end < size_)
            return bytes_.substr(0, end);
        if (bytes_.find_first_not_of('Q') < size_)
            return "<unterminated>";
        return std::nullopt;
    }

private:
    std::size_t size_;
    std::string bytes_;
};

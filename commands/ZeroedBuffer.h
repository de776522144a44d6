// A buffer the console hands to the reader library for one command.
#pragma once

#include <cstddef>
#include <cstring>

#include "Buffers.h"

// `size` bytes from `allocator`, zero-filled before the library sees them and
// given back when the command ends. Check with `if (buffer)`.
class ZeroedBuffer {
public:
    ZeroedBuffer(std::size_t size, const Allocator& allocator) : m_size(size), m_block(size, allocator)
    {
        if (m_block) Clear();
    }
    // Zero-fills it again, for the library's next call.
    void Clear() { std::memset(m_block.chars(), 0, m_size); }
    explicit operator bool() const { return static_cast<bool>(m_block); }
    char* chars() const { return m_block.chars(); }
    std::size_t size() const { return m_size; }
    // As the library saw it, for telling an overrun of this buffer.
    LibraryBuffer AsLibraryBuffer() const { return {m_block.chars(), m_size, m_block.allocator().guardBytes}; }

private:
    std::size_t m_size;
    OwnedBlock m_block;
};

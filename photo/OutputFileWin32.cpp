#include "OutputFile.h"

OutputFile::OutputFile(const char* name)
    : m_file(::CreateFileA(name, GENERIC_WRITE, 0 /* no sharing */, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr)) {}

OutputFile::~OutputFile() = default;

bool OutputFile::IsOpen() const
{
    return static_cast<bool>(m_file);
}

bool OutputFile::Write(const void* data, std::uint32_t size)
{
    if (!m_file) return false;
    DWORD written = 0;
    return ::WriteFile(m_file.Get(), data, size, &written, nullptr) && written == size;
}

bool OutputFile::Close()
{
    if (!m_file) return false;
    // Closed here rather than by the owner, to see whether the system reports an error.
    return ::CloseHandle(m_file.Release()) != FALSE;
}

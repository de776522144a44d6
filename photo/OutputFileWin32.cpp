#include "OutputFile.h"

#include <windows.h>

OutputFile::OutputFile(const char* name)
    : m_handle(::CreateFileA(name, GENERIC_WRITE, 0 /* no sharing */, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr)) {}

OutputFile::~OutputFile()
{
    Close();
}

bool OutputFile::IsOpen() const
{
    return m_handle != INVALID_HANDLE_VALUE;
}

bool OutputFile::Write(const void* data, std::uint32_t size)
{
    if (m_handle == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    return ::WriteFile(m_handle, data, size, &written, nullptr) && written == size;
}

bool OutputFile::Close()
{
    if (m_handle == INVALID_HANDLE_VALUE) return false;
    const BOOL closed = ::CloseHandle(m_handle);
    m_handle = INVALID_HANDLE_VALUE;
    return closed != FALSE;
}

#include "OutputFile.h"

#include <windows.h>

OutputFile::OutputFile(const char* name)
    : handle_(::CreateFileA(name, GENERIC_WRITE, 0 /* no sharing */, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr)) {}

OutputFile::~OutputFile()
{
    Close();
}

bool OutputFile::IsOpen() const
{
    return handle_ != INVALID_HANDLE_VALUE;
}

bool OutputFile::Write(const void* data, std::uint32_t size)
{
    if (handle_ == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    return ::WriteFile(handle_, data, size, &written, nullptr) && written == size;
}

bool OutputFile::Close()
{
    if (handle_ == INVALID_HANDLE_VALUE) return false;
    const BOOL closed = ::CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    return closed != FALSE;
}

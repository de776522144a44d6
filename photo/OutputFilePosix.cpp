#include "OutputFile.h"

#include <fcntl.h>
#include <unistd.h>

OutputFile::OutputFile(const char* name)
    : fd_(::open(name, O_CREAT | O_TRUNC | O_WRONLY, 0644)) {}

OutputFile::~OutputFile()
{
    Close();
}

bool OutputFile::IsOpen() const
{
    return fd_ >= 0;
}

bool OutputFile::Write(const void* data, std::uint32_t size)
{
    if (fd_ < 0) return false;
    const ssize_t written = ::write(fd_, data, size);
    return written >= 0 && static_cast<std::uint64_t>(written) == size;
}

bool OutputFile::Close()
{
    if (fd_ < 0) return false;
    const int result = ::close(fd_);
    fd_ = -1;
    return result == 0;
}

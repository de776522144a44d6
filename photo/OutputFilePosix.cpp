#include "OutputFile.h"

#include <fcntl.h>
#include <unistd.h>

OutputFile::OutputFile(const char* name)
    : m_fd(::open(name, O_CREAT | O_TRUNC | O_WRONLY, 0644)) {}

OutputFile::~OutputFile()
{
    Close();
}

bool OutputFile::IsOpen() const
{
    return m_fd >= 0;
}

bool OutputFile::Write(const void* data, std::uint32_t size)
{
    if (m_fd < 0) return false;
    const ssize_t written = ::write(m_fd, data, size);
    return written >= 0 && static_cast<std::uint64_t>(written) == size;
}

bool OutputFile::Close()
{
    if (m_fd < 0) return false;
    const int result = ::close(m_fd);
    m_fd = -1;
    return result == 0;
}

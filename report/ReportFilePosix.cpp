#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "Growing.h"
#include "ReportFile.h"
#include "Utf8.h"

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0) ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }
    bool Close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

bool WriteAll(int fd, const char* data, std::size_t left)
{
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written <= 0)
            return false;
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    return true;
}

GrowingText Utf8Path(const wchar_t* path, bool temporary)
{
    GrowingText name;
    AppendUtf8(name, path);
    if (temporary)
        name.Append(".tmp");
    return name;
}

}  // namespace

// Natively the path's wide characters are taken as UTF-8 file names.
bool WriteTemporary(const wchar_t* path, const char* contents, std::size_t size)
{
    const GrowingText temporary = Utf8Path(path, true);
    if (temporary.failed())
        return false;
    bool written;
    {
        Descriptor file(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        if (file.get() < 0)
            return false;
        written = WriteAll(file.get(), contents, size) && ::fsync(file.get()) == 0 && file.Close();
    }
    if (!written)
        ::unlink(temporary.c_str());
    return written;
}

bool RenameTemporary(const wchar_t* path)
{
    const GrowingText temporary = Utf8Path(path, true);
    const GrowingText target = Utf8Path(path, false);
    return !temporary.failed() && !target.failed() && std::rename(temporary.c_str(), target.c_str()) == 0;
}

void RemoveReportFile(const wchar_t* path, bool temporary)
{
    const GrowingText name = Utf8Path(path, temporary);
    if (!name.failed())
        ::unlink(name.c_str());
}

bool WriteFileReplacing(const wchar_t* path, const char* contents, std::size_t size)
{
    if (!WriteTemporary(path, contents, size))
        return false;
    if (RenameTemporary(path))
        return true;
    RemoveReportFile(path, true);
    return false;
}

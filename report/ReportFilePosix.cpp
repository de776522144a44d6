#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
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

std::uint32_t Errno()
{
    return errno != 0 ? static_cast<std::uint32_t>(errno) : static_cast<std::uint32_t>(EIO);
}

bool WriteAll(int fd, const char* data, std::size_t left)
{
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written <= 0) {
            if (written == 0)
                errno = ENOSPC;
            return false;
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    return true;
}

// Natively the path's wide characters are taken as UTF-8 file names.
GrowingText Utf8Path(const wchar_t* path)
{
    GrowingText name;
    AppendUtf8(name, path);
    return name;
}

std::uint32_t WriteWhole(const wchar_t* path, const char* contents, std::size_t size)
{
    const GrowingText name = Utf8Path(path);
    if (name.failed())
        return ENOMEM;
    std::uint32_t error = 0;
    {
        Descriptor file(::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        if (file.get() < 0)
            return Errno();
        if (!(WriteAll(file.get(), contents, size) && ::fsync(file.get()) == 0 && file.Close()))
            error = Errno();
    }
    if (error != 0)
        ::unlink(name.c_str());
    return error;
}

std::uint32_t MoveReplacing(const wchar_t* from, const wchar_t* to)
{
    const GrowingText source = Utf8Path(from), target = Utf8Path(to);
    if (source.failed() || target.failed())
        return ENOMEM;
    return std::rename(source.c_str(), target.c_str()) == 0 ? 0 : Errno();
}

std::uint32_t RemoveFile(const wchar_t* path)
{
    const GrowingText name = Utf8Path(path);
    if (name.failed())
        return ENOMEM;
    return ::unlink(name.c_str()) == 0 || errno == ENOENT ? 0 : Errno();
}

bool Exists(const wchar_t* path)
{
    const GrowingText name = Utf8Path(path);
    struct stat status;
    // A file, not a folder: a folder of the pair's name is never moved aside.
    return !name.failed() && ::lstat(name.c_str(), &status) == 0 && !S_ISDIR(status.st_mode);
}

}  // namespace

const ReportFileCalls kReportFileSystem = {&WriteWhole, &MoveReplacing, &RemoveFile, &Exists};

// A file opened for writing, closed when it goes out of scope. The system
// calls behind it are chosen at compile time: CreateFileA on Windows, open(2)
// elsewhere, so the photo routine runs in native tests as in the program.
#pragma once

#include <cstdint>

#ifdef _WIN32
#include "Win32Owners.h"
#endif

class OutputFile {
public:
    // Creates `name` or truncates it to length 0, for writing only, shared with
    // no one while open. Check IsOpen(); a failed open leaves any existing file
    // as it was.
    explicit OutputFile(const char* name);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool IsOpen() const;
    // Writes `size` bytes in one call. True only when all of them were written.
    bool Write(const void* data, std::uint32_t size);
    // Closes the file. True when the system reports no error.
    bool Close();

private:
#ifdef _WIN32
    win32::FileHandle m_file;
#else
    int m_fd;  // -1 when closed
#endif
};

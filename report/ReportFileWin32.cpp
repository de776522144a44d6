#include <windows.h>

#include "ReportFile.h"
#include "Win32Owners.h"

bool WriteFileReplacing(const std::wstring& path, const std::string& contents)
{
    const std::wstring temporary = path + L".tmp";
    bool written = true;
    {
        win32::FileHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file)
            return false;
        const char* data = contents.data();
        std::size_t left = contents.size();
        while (written && left > 0) {
            const DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
            DWORD done = 0;
            written = WriteFile(file.Get(), data, chunk, &done, nullptr) && done == chunk;
            data += chunk;
            left -= chunk;
        }
        written = written && FlushFileBuffers(file.Get());
    }
    if (written && MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    DeleteFileW(temporary.c_str());
    return false;
}

#include <windows.h>

#include "BoundedText.h"
#include "Report.h"
#include "ReportFile.h"
#include "Win32Owners.h"

namespace {

bool TemporaryName(const wchar_t* path, ReportPath& temporary)
{
    temporary.Append(path).Append(L".tmp");
    return !temporary.cut();
}

}  // namespace

bool WriteTemporary(const wchar_t* path, const char* contents, std::size_t size)
{
    ReportPath temporary;
    if (!TemporaryName(path, temporary))
        return false;
    bool written = true;
    {
        win32::FileHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file)
            return false;
        const char* data = contents;
        std::size_t left = size;
        while (written && left > 0) {
            const DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
            DWORD done = 0;
            written = WriteFile(file.Get(), data, chunk, &done, nullptr) && done == chunk;
            data += chunk;
            left -= chunk;
        }
        written = written && FlushFileBuffers(file.Get());
    }
    if (!written)
        DeleteFileW(temporary.c_str());
    return written;
}

bool RenameTemporary(const wchar_t* path)
{
    ReportPath temporary;
    return TemporaryName(path, temporary) &&
           MoveFileExW(temporary.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

void RemoveReportFile(const wchar_t* path, bool temporary)
{
    ReportPath name;
    if (!temporary)
        DeleteFileW(path);
    else if (TemporaryName(path, name))
        DeleteFileW(name.c_str());
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

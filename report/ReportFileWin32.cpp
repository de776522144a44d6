#include <windows.h>

#include "ReportFile.h"
#include "Win32Owners.h"

namespace {

std::uint32_t LastError()
{
    const DWORD error = GetLastError();
    return error != 0 ? error : ERROR_GEN_FAILURE;
}

std::uint32_t WriteWhole(const wchar_t* path, const char* contents, std::size_t size)
{
    std::uint32_t error = 0;
    {
        win32::FileHandle file(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                           nullptr));
        if (!file)
            return LastError();
        const char* data = contents;
        std::size_t left = size;
        while (error == 0 && left > 0) {
            const DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
            DWORD done = 0;
            if (!WriteFile(file.Get(), data, chunk, &done, nullptr))
                error = LastError();
            else if (done != chunk)
                error = ERROR_DISK_FULL;
            data += chunk;
            left -= chunk;
        }
        if (error == 0 && !FlushFileBuffers(file.Get()))
            error = LastError();
    }
    if (error != 0)
        DeleteFileW(path);
    return error;
}

std::uint32_t MoveReplacing(const wchar_t* from, const wchar_t* to)
{
    return MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ? 0 : LastError();
}

std::uint32_t RemoveFile(const wchar_t* path)
{
    if (DeleteFileW(path))
        return 0;
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        return 0;
    // An earlier file made read-only by someone: ours to drop all the same.
    if (error == ERROR_ACCESS_DENIED) {
        const DWORD attributes = GetFileAttributesW(path);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
            !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
            SetFileAttributesW(path, attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY))) {
            if (DeleteFileW(path))
                return 0;
            error = GetLastError();
        }
    }
    return error != 0 ? error : ERROR_GEN_FAILURE;
}

// A file, not a folder: a folder of the pair's name is never moved aside.
bool Exists(const wchar_t* path)
{
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

const ReportFileCalls kReportFileSystem = {&WriteWhole, &MoveReplacing, &RemoveFile, &Exists};

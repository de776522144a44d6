#include "CallLog.h"

#include <cstdlib>

#ifndef ZANTOR_VERSION
#error "ZANTOR_VERSION: the project's version, set by CMake"
#endif

namespace {

// The full path of `path`, in a heap block the caller frees; null when the
// system cannot make one.
wchar_t* FullPath(const wchar_t* path)
{
    DWORD capacity = MAX_PATH;
    for (int attempt = 0; attempt < 3; ++attempt) {
        auto* full = static_cast<wchar_t*>(std::malloc(capacity * sizeof(wchar_t)));
        if (full == nullptr)
            return nullptr;
        // The length without the NUL when it fits, else the size it needs.
        const DWORD length = GetFullPathNameW(path, capacity, full, nullptr);
        if (length != 0 && length < capacity)
            return full;
        std::free(full);
        if (length == 0)
            return nullptr;
        capacity = length;
    }
    return nullptr;
}

}  // namespace

LogTime LocalLogTime()
{
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

DWORD CallLog::OpenFile(const wchar_t* path, const LibraryIdentity& library)
{
    wchar_t* full = FullPath(path);
    if (full == nullptr)
        return GetLastError() != 0 ? GetLastError() : ERROR_NOT_ENOUGH_MEMORY;
    // Appending only: every write lands at the end, whoever else appends.
    m_file.Reset(CreateFileW(full, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    const DWORD error = GetLastError();
    std::free(full);
    if (!m_file)
        return error != 0 ? error : ERROR_OPEN_FAILED;
    if (error != ERROR_ALREADY_EXISTS)
        WriteToFile(CallLogHeader());
    WriteToFile(CallLogSession(LocalLogTime(), ZANTOR_VERSION, 8 * sizeof(void*), library));
    return 0;
}

void CallLog::OnCall(const CallRecord& call)
{
    const LogLine line = CallLogLine(call, LocalLogTime());
    // The same line as UTF-16 for the debugger: no more units than UTF-8 bytes.
    static wchar_t wide[kLogLineCapacity];
    const int units = MultiByteToWideChar(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), wide,
                                          static_cast<int>(kLogLineCapacity - 1));
    wide[units > 0 ? units : 0] = L'\0';
    OutputDebugStringW(wide);
    WriteToFile(line);
}

void CallLog::OnCallStarting(Operation operation, bool hasArgument, std::int32_t argument)
{
    if (m_file)
        WriteToFile(CallStartedLine(operation, hasArgument, argument, LocalLogTime()));
}

void CallLog::WriteNote(const char* kind, const wchar_t* text)
{
    WriteToFile(CallLogNote(kind, LocalLogTime(), text));
}

void CallLog::WriteToFile(const LogLine& line)
{
    if (!m_file)
        return;
    // One write a line, straight to the system: a process killed after it loses
    // nothing of the line. A line the system refused (a full disk, a network
    // folder gone) is counted, for the burn-in's verdict and the console's box.
    DWORD written = 0;
    if (!WriteFile(m_file.Get(), line.c_str(), static_cast<DWORD>(line.size()), &written, nullptr) ||
        written != line.size())
        ++m_failedWrites;
}

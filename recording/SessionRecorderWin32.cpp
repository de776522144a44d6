#include "SessionRecorder.h"

#include <bcrypt.h>

#include "Anonymizer.h"

#include "CallLog.h"
#include "CodePageText.h"
#include "FullPath.h"

#ifndef ZANTOR_VERSION
#error "ZANTOR_VERSION: the project's version, set by CMake"
#endif

SessionRecorder::SessionRecorder() : m_session(ProcessCodePage(), *this) {}

DWORD SessionRecorder::Open(const wchar_t* path, const LibraryIdentity& library, bool anonymized)
{
    const win32::FullPath full(path);
    if (!full)
        return full.Error();
    // One session a file: a replay starts at its first call.
    m_file.Reset(CreateFileW(full.Get(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                             nullptr));
    if (!m_file)
        return GetLastError() != 0 ? GetLastError() : ERROR_OPEN_FAILED;
    RecordingHeader header;
    header.zantorVersion = ZANTOR_VERSION;
    header.bits = 8 * sizeof(void*);
    header.library = &library;
    header.date = LocalLogTime();
    header.codePage = ProcessCodePage();
    header.anonymized = anonymized;
    GrowingText text;
    AppendRecordingHeader(text, header);
    if (!m_session.Write(text)) {
        const DWORD error = GetLastError() != 0 ? GetLastError() : ERROR_WRITE_FAULT;
        m_file.Reset();
        return error;
    }
    return 0;
}

void SessionRecorder::BeforeCall(const CallRecord& call)
{
    if (m_file)
        m_session.BeforeCall(call);
}

void SessionRecorder::OnCall(const CallRecord& call)
{
    if (m_file)
        m_session.OnCall(call);
}

bool SessionRecorder::Write(const char* bytes, std::size_t size)
{
    DWORD written = 0;
    return WriteFile(m_file.Get(), bytes, static_cast<DWORD>(size), &written, nullptr) && written == size;
}

void SessionRecorder::CutTo(std::uint64_t size)
{
    // The write's error stays the one to tell.
    const DWORD error = GetLastError();
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size);
    if (SetFilePointerEx(m_file.Get(), end, nullptr, FILE_BEGIN))
        SetEndOfFile(m_file.Get());
    SetLastError(error);
}

std::uint64_t RandomSessionKey()
{
    std::uint64_t key = 0;
    if (BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&key), sizeof key, BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0) {
        // No system generator: the clock, which no one reads back out of a recording.
        LARGE_INTEGER now{};
        QueryPerformanceCounter(&now);
        key = static_cast<std::uint64_t>(now.QuadPart) * 0x9E3779B97F4A7C15ull ^ GetCurrentProcessId();
    }
    return key;
}

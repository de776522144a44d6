#include "SessionRecorder.h"

#include <bcrypt.h>

#include "Anonymizer.h"

#include "CallLog.h"
#include "CodePageText.h"
#include "FullPath.h"

#ifndef ZANTOR_VERSION
#error "ZANTOR_VERSION: the project's version, set by CMake"
#endif

SessionRecorder::SessionRecorder() : m_writer(ProcessCodePage()) {}

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
    Write(text);
    return 0;
}

void SessionRecorder::BeforeCall(const CallRecord& call)
{
    if (m_file && !m_stopped)
        m_writer.Before(call);
}

void SessionRecorder::OnCall(const CallRecord& call)
{
    if (!m_file || m_stopped)
        return;
    if (!m_writer.Entry(call, m_entry)) {
        // A recording with a call left out would replay wrongly from there on.
        m_stopped = true;
        m_entry.Clear();
        m_entry.Append("\r\n; The recording ends here: Zantor ran out of memory.\r\n");
    }
    Write(m_entry);
}

void SessionRecorder::Write(const GrowingText& text)
{
    DWORD written = 0;
    WriteFile(m_file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
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

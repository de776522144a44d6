// /record: every library call of the session, as it happens, into a recording
// that the stand-in replays (RecordingText.h and RecordingWriter.h for what is written).
#pragma once

#include <windows.h>

#include "CallRecord.h"
#include "Growing.h"
#include "LibraryIdentity.h"
#include "RecordingSession.h"
#include "RecordingText.h"
#include "Win32Owners.h"

class SessionRecorder final : public CallObserver, private RecordingSink {
public:
    SessionRecorder();
    SessionRecorder(const SessionRecorder&) = delete;
    SessionRecorder& operator=(const SessionRecorder&) = delete;

    // Creates (or replaces) the file at `path`, resolved against the current folder
    // now, and writes the header naming `library`. Returns 0, or the system's
    // error code (nothing is recorded then).
    DWORD Open(const wchar_t* path, const LibraryIdentity& library, bool anonymized);

    // Each call's entry in one write (RecordingSession.h; a failed write ends the
    // recording at its last whole entry).
    void BeforeCall(const CallRecord& call) override;
    void OnCall(const CallRecord& call) override;

    // The calls left out of the recording since a write failed (or memory ran out).
    std::uint64_t CallsNotRecorded() const { return m_session.CallsNotRecorded(); }

private:
    bool Write(const char* bytes, std::size_t size) override;
    void CutTo(std::uint64_t size) override;

    win32::FileHandle m_file;
    RecordingSession m_session;
};

// /record: every library call of the session, as it happens, into a recording
// that the stand-in replays (RecordingText.h for what is written).
#pragma once

#include <windows.h>

#include "CallRecord.h"
#include "Growing.h"
#include "LibraryIdentity.h"
#include "RecordingText.h"
#include "Win32Owners.h"

class SessionRecorder final : public CallObserver {
public:
    SessionRecorder();
    SessionRecorder(const SessionRecorder&) = delete;
    SessionRecorder& operator=(const SessionRecorder&) = delete;

    // Creates (or replaces) the file at `path`, resolved against the current folder
    // now, and writes the header naming `library`. Returns 0, or the system's
    // error code (nothing is recorded then).
    DWORD Open(const wchar_t* path, const LibraryIdentity& library, bool anonymized);

    void BeforeCall(const CallRecord& call) override;
    // Appends the call's entry with one write, so that a session that ends
    // abruptly keeps every call before it.
    void OnCall(const CallRecord& call) override;

private:
    void Write(const GrowingText& text);

    win32::FileHandle m_file;
    RecordingWriter m_writer;
    GrowingText m_entry;
    bool m_stopped = false;  // memory ran out: the recording ends with a line saying so
};

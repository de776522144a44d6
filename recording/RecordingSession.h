// A session's calls written into a recording as they happen, whatever holds the
// file: the entries (RecordingWriter), and what happens when a write fails.
// Plain C++; SessionRecorder gives it the file on Windows.
#pragma once

#include <cstddef>
#include <cstdint>

#include "CallRecord.h"
#include "Growing.h"
#include "RecordingWriter.h"

// Where the recording's bytes go.
class RecordingSink {
public:
    // Writes `size` bytes at the end; false when not all of them went out.
    virtual bool Write(const char* bytes, std::size_t size) = 0;
    // Cuts the file back to its first `size` bytes, as far as it can.
    virtual void CutTo(std::uint64_t size) = 0;

protected:
    ~RecordingSink() = default;  // never destroyed through this interface
};

class RecordingSession {
public:
    RecordingSession(unsigned codePage, RecordingSink& sink) : m_writer(codePage), m_sink(sink) {}
    RecordingSession(const RecordingSession&) = delete;
    RecordingSession& operator=(const RecordingSession&) = delete;

    // Writes `text` (the header) whole; false (the file cut back) when it cannot.
    bool Write(const GrowingText& text);

    void BeforeCall(const CallRecord& call);
    // Appends the call's entry with one write, so that a session that ends
    // abruptly keeps every call before it. A write that fails (a full disk, a lost
    // share), or memory running out, ends the recording: the file is cut back to
    // its last whole entry and says why it ends there, and this call and every
    // one after it are counted as not recorded.
    void OnCall(const CallRecord& call);

    // The calls left out of the recording since it ended early (0: none).
    std::uint64_t CallsNotRecorded() const { return m_notRecorded; }

private:
    // Ends the recording after its last whole entry with a line saying `why`.
    void Stop(const char* why);

    RecordingWriter m_writer;
    RecordingSink& m_sink;
    GrowingText m_entry;
    std::uint64_t m_whole = 0;        // the bytes written whole: the file's end after the last entry
    std::uint64_t m_notRecorded = 0;  // calls left out since the recording ended
    bool m_stopped = false;           // the recording ended early: nothing more is written
};

// The call log: every library call as one line (CallLogLine.h), to the debugger's
// output (OutputDebugStringW: DebugView, a debugger) and, when asked for, appended
// to a file.
#pragma once

#include <windows.h>

#include "CallLogLine.h"
#include "CallRecord.h"
#include "LibraryIdentity.h"
#include "Win32Owners.h"

class CallLog final : public CallObserver {
public:
    CallLog() = default;
    ~CallLog() { WritePending(); }
    CallLog(const CallLog&) = delete;
    CallLog& operator=(const CallLog&) = delete;

    // Opens `path` for appending, resolved against the current folder now, so that
    // a library that changes the folder later does not move the log. Writes the
    // header line when it creates the file, then the session line naming `library`.
    // Returns 0, or the system's error code (nothing is logged to a file then).
    DWORD OpenFile(const wchar_t* path, const LibraryIdentity& library);

    // Writes the "started" line to the file, if any, before the call is made,
    // in one WriteFile with the line of the call before when that was held (not
    // to the debugger, which sees a hang as it happens).
    void BeforeCall(const CallRecord& call) override;
    // Writes the call's line to the debugger's output and to the file, if any.
    // The file's line of a call that returned 0 and that the command follows at
    // once with another (`nextFollows`) is held until that one's started line.
    // Then, when the library's imports are routed, a "#taken" line with what the
    // call took and gave back, and after CloseDevice a "#held" line with what the
    // library still holds of what it took since OpenDevice (each only when there
    // is something to say).
    void OnCall(const CallRecord& call) override;
    // Appends a "#<kind>" line (CallLogNote) to the file, if any, after any line
    // held. While a call is running none is held and the console's thread
    // is in the library: another thread may write a note then.
    void WriteNote(const char* kind, const wchar_t* text);

    // Whether a file is open, and how many lines could not be written to it.
    bool HasFile() const { return static_cast<bool>(m_file); }
    std::uint64_t FailedWrites() const { return m_failedWrites; }
    // The system's error code for the last line refused; 0 when none was.
    std::uint32_t LastWriteError() const { return m_lastWriteError; }

    // The longest ledger note: its entries with their sites, cut beyond.
    static constexpr std::size_t kLedgerNoteRoom = 4096;

private:
    void WriteCallLine(const CallRecord& call, const LogTime& time);
    void WriteLedgerNote(const char* kind, const char* utf8, const LogTime& time);
    // Writes `line` after the line held if any, in one WriteFile; or, when
    // `hold`, keeps it for the next.
    void WriteToFile(const LogLine& line, bool hold = false);
    void WritePending();
    void WriteLines(const char* bytes, std::size_t size, unsigned lines);

    win32::FileHandle m_file;
    std::uint64_t m_failedWrites = 0;
    std::uint32_t m_lastWriteError = 0;
    // A held line and the one that follows it, written together.
    char m_pending[2 * kLogLineCapacity];
    std::size_t m_pendingBytes = 0;
    unsigned m_pendingLines = 0;
};

// The local time now, to the millisecond.
LogTime LocalLogTime();

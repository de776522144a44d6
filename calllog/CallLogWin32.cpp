#include "CallLog.h"

#include "FullPath.h"

#include <cstring>

#include "Routing.h"

#ifndef ZANTOR_VERSION
#error "ZANTOR_VERSION: the project's version, set by CMake"
#endif

namespace {

// True when the named kernel object exists in this session or the global namespace.
bool ObjectExists(HANDLE(WINAPI* open)(DWORD, BOOL, LPCWSTR), DWORD access, const wchar_t* local, const wchar_t* global)
{
    return win32::KernelHandle(open(access, FALSE, local)) || win32::KernelHandle(open(access, FALSE, global));
}

// Whether anyone reads the debugger's output: an attached debugger, or a
// DebugView-style listener, which keeps the DBWIN_BUFFER section and the
// DBWIN_BUFFER_READY event. Asked again at most every 250 ms: with nobody
// listening, OutputDebugStringW would still cost microseconds a line.
bool DebugOutputHeard()
{
    static bool asked = false;
    static bool heard = false;
    static DWORD askedAt = 0;
    const DWORD now = GetTickCount();
    if (asked && now - askedAt < 250)
        return heard;
    asked = true;
    askedAt = now;
    heard = IsDebuggerPresent() ||
            (ObjectExists(&OpenFileMappingW, FILE_MAP_READ, L"DBWIN_BUFFER", L"Global\\DBWIN_BUFFER") &&
             ObjectExists(&OpenEventW, SYNCHRONIZE, L"DBWIN_BUFFER_READY", L"Global\\DBWIN_BUFFER_READY"));
    return heard;
}

}  // namespace

LogTime LocalLogTime()
{
    return CurrentLocalTime();
}

DWORD CallLog::OpenFile(const wchar_t* path, const LibraryIdentity& library)
{
    const win32::FullPath full(path);
    if (!full)
        return full.Error();
    // Appending only: every write lands at the end, whoever else appends.
    m_file.Reset(CreateFileW(full.Get(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    const DWORD error = GetLastError();
    if (!m_file)
        return error != 0 ? error : ERROR_OPEN_FAILED;
    if (error != ERROR_ALREADY_EXISTS)
        WriteToFile(CallLogHeader());
    WriteToFile(CallLogSession(LocalLogTime(), ZANTOR_VERSION, 8 * sizeof(void*), library));
    return 0;
}

void CallLog::OnCall(const CallRecord& call)
{
    const LogTime time = LocalLogTime();
    WriteCallLine(call, time);
    // What the library took from Windows and gave back in the call, and after
    // CloseDevice what it still holds of the session: "#" lines, so that the
    // call lines keep their columns. Nothing when it took nothing.
    const taken::Ledger* ledger = routing::ActiveLedger();
    if (ledger == nullptr)
        return;
    static char note[kLedgerNoteRoom];
    if (taken::WriteCallNote(*ledger, note, sizeof note) > 0)
        WriteLedgerNote("taken", note, time);
    if (call.operation == Operation::CloseDevice && taken::WriteHeldNote(*ledger, note, sizeof note) > 0)
        WriteLedgerNote("held", note, time);
}

void CallLog::WriteLedgerNote(const char* kind, const char* utf8, const LogTime& time)
{
    static wchar_t wide[kLedgerNoteRoom];
    const int units = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, static_cast<int>(kLedgerNoteRoom));
    if (units <= 0)
        return;
    const LogLine line = CallLogNote(kind, time, wide);
    if (DebugOutputHeard()) {
        static wchar_t debugger[kLogLineCapacity];
        const int written = MultiByteToWideChar(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), debugger,
                                                static_cast<int>(kLogLineCapacity - 1));
        debugger[written > 0 ? written : 0] = L'\0';
        OutputDebugStringW(debugger);
    }
    if (m_file)
        WriteToFile(line);
}

void CallLog::WriteCallLine(const CallRecord& call, const LogTime& time)
{
    if (DebugOutputHeard()) {
        // The debugger's line carries a field's length, never its value; the
        // file's has the values, which an integrator debugging a field needs.
        const LogLine line = CallLogDebuggerLine(call, time);
        // The line as UTF-16 for the debugger: no more units than UTF-8 bytes.
        static wchar_t wide[kLogLineCapacity];
        const int units = MultiByteToWideChar(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), wide,
                                              static_cast<int>(kLogLineCapacity - 1));
        wide[units > 0 ? units : 0] = L'\0';
        OutputDebugStringW(wide);
    }
    if (!m_file)
        return;
    WriteToFile(CallLogLine(call, time),
                call.nextFollows && !call.outcome->raised && call.outcome->result == 0 && m_pendingBytes == 0);
}

void CallLog::BeforeCall(const CallRecord& call)
{
    if (m_file)
        WriteToFile(CallStartedLine(call.operation, call.hasArgument, call.argument, LocalLogTime()));
}

void CallLog::WriteNote(const char* kind, const wchar_t* text)
{
    WriteToFile(CallLogNote(kind, LocalLogTime(), text));
}

void CallLog::WriteToFile(const LogLine& line, bool hold)
{
    // With nothing held, the line goes out from where it is: the case of every
    // note the watchdog's thread writes while a call runs, which so touches
    // nothing the console's thread writes.
    if (m_pendingBytes == 0 && !hold) {
        WriteLines(line.c_str(), line.size(), 1);
        return;
    }
    std::memcpy(m_pending + m_pendingBytes, line.c_str(), line.size());
    m_pendingBytes += line.size();
    ++m_pendingLines;
    if (!hold)
        WritePending();
}

void CallLog::WritePending()
{
    const std::size_t size = m_pendingBytes;
    const unsigned lines = m_pendingLines;
    m_pendingBytes = 0;
    m_pendingLines = 0;
    if (size != 0)
        WriteLines(m_pending, size, lines);
}

void CallLog::WriteLines(const char* bytes, std::size_t size, unsigned lines)
{
    // Whole lines straight to the system: a process killed after the write
    // loses nothing of them. Lines the system refused (a full disk, a network
    // folder gone) are counted, for the burn-in's verdict and the console's box.
    DWORD written = 0;
    if (!m_file)
        return;
    if (!WriteFile(m_file.Get(), bytes, static_cast<DWORD>(size), &written, nullptr)) {
        m_failedWrites += lines;
        m_lastWriteError = GetLastError();
    } else if (written != size) {
        m_failedWrites += lines;
        m_lastWriteError = ERROR_DISK_FULL;
    }
}

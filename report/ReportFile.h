// A report file replaced in one step: written under a temporary name in the same
// folder (the path and ".tmp") and renamed into place, so that a reader (or a
// crash) never meets half a report. The page and its JSON are replaced as a pair,
// so that a reader never finds one new beside one old: both temporaries written,
// the earlier pair moved aside (each path and ".old"), both new files put in
// place, then the earlier pair dropped. Whatever step fails or is cut short by a
// kill, the last good pair survives, in place or aside, and the next replacement
// (or the next run's) puts an interrupted one right first.
#pragma once

#include <cstddef>
#include <cstdint>

// The file calls a replacement makes, as a table, so that a test can make any
// of them fail. Each returns 0 when done, else the system's error code
// (Windows: GetLastError's; natively errno).
struct ReportFileCalls {
    // Writes the bytes to `path` (replacing a file there) and flushes them to the
    // disk; on failure no file is left at `path`.
    std::uint32_t (*write)(const wchar_t* path, const char* contents, std::size_t size);
    // Renames `from` to `to`, replacing a file there.
    std::uint32_t (*move)(const wchar_t* from, const wchar_t* to);
    // Removes `path`; 0 too when there was none.
    std::uint32_t (*remove)(const wchar_t* path);
    // Whether a file (not a folder) is at `path`.
    bool (*exists)(const wchar_t* path);
};
// The system's own calls.
extern const ReportFileCalls kReportFileSystem;

// The names a file of a pair goes by while it is replaced.
enum class ReportName : std::uint8_t { File, Temporary, Aside };

// What became of a write: `error` 0 when it was done; else the system's error
// code (0 with `noMemory`) and which of the pair's files it concerns.
struct ReportFileResult {
    std::uint32_t error = 0;
    bool noMemory = false;
    int file = 0;  // 0 the page, 1 the JSON
    bool done() const { return error == 0 && !noMemory; }
};

// The two paths of a pair and their other names; the caller owns the paths.
class ReportPair {
public:
    ReportPair(const wchar_t* page, const wchar_t* json, const ReportFileCalls& calls = kReportFileSystem)
        : m_paths{page, json}, m_calls(calls)
    {
    }

    // Writes `contents` as the temporary of file `file` (0 the page, 1 the JSON).
    ReportFileResult WriteTemporary(int file, const char* contents, std::size_t size) const;
    // Puts both temporaries in place as described above, after putting right a
    // replacement a kill interrupted. On failure the temporaries are removed and
    // the earlier pair is where it was.
    ReportFileResult Replace() const;
    // Removes both temporaries, if they are there.
    void RemoveTemporaries() const;
    // A replacement cut short (a file of the pair missing and its earlier one
    // aside): the earlier pair put back; with both files in place, what is left
    // aside removed. The first error, if one remains.
    ReportFileResult Recover() const;

private:
    // The calls on file `file` under one of its names; kReportNameNoMemory when
    // the heap refused the name.
    std::uint32_t Move(int file, ReportName from, ReportName to) const;
    std::uint32_t Remove(int file, ReportName name) const;
    bool Exists(int file, ReportName name) const;

    const wchar_t* m_paths[2];
    const ReportFileCalls& m_calls;
};

// What the calls above return when the heap refused a file's name: no system's
// error code has this value.
constexpr std::uint32_t kReportNameNoMemory = 0xFFFFFFFFu;

#include <cstdlib>

#include "ReportFile.h"

namespace {

// A file's name with its suffix, on the heap: a path may be as long as the
// system allows, and this runs on the watchdog's thread too.
class SuffixedName {
public:
    SuffixedName(const wchar_t* path, ReportName name)
    {
        const wchar_t* suffix = name == ReportName::Temporary ? L".tmp" : name == ReportName::Aside ? L".old" : L"";
        std::size_t length = 0, extra = 0;
        while (path[length] != 0)
            ++length;
        while (suffix[extra] != 0)
            ++extra;
        m_name = static_cast<wchar_t*>(std::malloc((length + extra + 1) * sizeof(wchar_t)));
        if (m_name == nullptr)
            return;
        for (std::size_t i = 0; i < length; ++i)
            m_name[i] = path[i];
        for (std::size_t i = 0; i <= extra; ++i)
            m_name[length + i] = suffix[i];
    }
    ~SuffixedName() { std::free(m_name); }
    SuffixedName(const SuffixedName&) = delete;
    SuffixedName& operator=(const SuffixedName&) = delete;

    // Null when the heap refused it.
    const wchar_t* Get() const { return m_name; }

private:
    wchar_t* m_name = nullptr;
};

ReportFileResult Failed(int file, std::uint32_t error)
{
    ReportFileResult result;
    result.file = file;
    if (error == kReportNameNoMemory)
        result.noMemory = true;
    else
        result.error = error;
    return result;
}

}  // namespace

std::uint32_t ReportPair::Move(int file, ReportName from, ReportName to) const
{
    const SuffixedName source(m_paths[file], from), target(m_paths[file], to);
    if (!source.Get() || !target.Get())
        return kReportNameNoMemory;
    return m_calls.move(source.Get(), target.Get());
}

std::uint32_t ReportPair::Remove(int file, ReportName name) const
{
    const SuffixedName path(m_paths[file], name);
    return path.Get() ? m_calls.remove(path.Get()) : kReportNameNoMemory;
}

bool ReportPair::Exists(int file, ReportName name) const
{
    const SuffixedName path(m_paths[file], name);
    return path.Get() && m_calls.exists(path.Get());
}

ReportFileResult ReportPair::WriteTemporary(int file, const char* contents, std::size_t size) const
{
    const SuffixedName path(m_paths[file], ReportName::Temporary);
    if (!path.Get())
        return Failed(file, kReportNameNoMemory);
    const std::uint32_t error = m_calls.write(path.Get(), contents, size);
    return error ? Failed(file, error) : ReportFileResult();
}

void ReportPair::RemoveTemporaries() const
{
    for (int file = 0; file < 2; ++file)
        Remove(file, ReportName::Temporary);
}

ReportFileResult ReportPair::Recover() const
{
    ReportFileResult result;
    const bool whole = Exists(0, ReportName::File) && Exists(1, ReportName::File);
    for (int file = 0; file < 2; ++file) {
        if (!Exists(file, ReportName::Aside))
            continue;
        // Both in place: a replacement that finished but for dropping the
        // earlier pair. Otherwise the earlier pair is the last good one.
        const std::uint32_t error =
            whole ? Remove(file, ReportName::Aside) : Move(file, ReportName::Aside, ReportName::File);
        if (error != 0 && result.done())
            result = Failed(file, error);
    }
    return result;
}

ReportFileResult ReportPair::Replace() const
{
    ReportFileResult result = Recover();
    bool aside[2] = {false, false};
    bool placed[2] = {false, false};
    if (result.done()) {
        // The earlier pair aside, then both new files in place.
        for (int file = 0; file < 2 && result.done(); ++file) {
            if (!Exists(file, ReportName::File))
                continue;
            const std::uint32_t error = Move(file, ReportName::File, ReportName::Aside);
            if (error != 0)
                result = Failed(file, error);
            else
                aside[file] = true;
        }
        for (int file = 0; file < 2 && result.done(); ++file) {
            const std::uint32_t error = Move(file, ReportName::Temporary, ReportName::File);
            if (error != 0)
                result = Failed(file, error);
            else
                placed[file] = true;
        }
    }
    if (result.done()) {
        // Dropping the earlier pair may fail (another program holds it): what is
        // left aside goes at the next replacement, and the new pair stands.
        for (int file = 0; file < 2; ++file) {
            if (aside[file])
                Remove(file, ReportName::Aside);
        }
        return result;
    }
    // Undone in reverse: the new files out, the earlier ones back.
    for (int file = 1; file >= 0; --file) {
        if (placed[file])
            Remove(file, ReportName::File);
    }
    for (int file = 1; file >= 0; --file) {
        if (aside[file])
            Move(file, ReportName::Aside, ReportName::File);
    }
    RemoveTemporaries();
    return result;
}

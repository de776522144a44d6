#include "OutputFiles.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include "HeapObject.h"

namespace {

bool IsSeparator(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

wchar_t FoldAscii(wchar_t c)
{
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + (L'a' - L'A')) : c;
}

}  // namespace

bool PathBeside(const wchar_t* path, const wchar_t* extension, OutputPath& beside)
{
    std::size_t length = 0, nameStart = 0, dot = 0;
    bool hasDot = false;
    for (; path[length] != 0; ++length) {
        if (IsSeparator(path[length]))
            nameStart = length + 1;
        if (path[length] == L'.') {
            dot = length;
            hasDot = true;
        }
    }
    // A dot that starts the name (".html") or lies in a folder's name is no extension.
    std::size_t stem = hasDot && dot > nameStart ? dot : length;
    // A name with `extension` already keeps it: the file goes beside it, not over it.
    std::size_t i = 0;
    while (extension[i] != 0 && FoldAscii(path[stem + i]) == FoldAscii(extension[i]))
        ++i;
    if (extension[i] == 0 && path[stem + i] == 0)
        stem = length;
    beside.Clear();
    beside.Append(path, stem).Append(extension);
    return !beside.cut();
}

bool SameFileName(const wchar_t* a, const wchar_t* b)
{
#ifdef _WIN32
    // The file system's own case rules, for every letter Windows knows.
    return CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL;
#else
    for (; *a != 0 && FoldAscii(*a) == FoldAscii(*b); ++a, ++b) {
    }
    return FoldAscii(*a) == FoldAscii(*b);
#endif
}

OutputCollision FindOutputCollision(const OutputFile* files, std::size_t count)
{
    for (std::size_t first = 0; first < count; ++first) {
        if (files[first].path == nullptr)
            continue;
        for (std::size_t second = first + 1; second < count; ++second) {
            if (files[second].path != nullptr && SameFileName(files[first].path, files[second].path))
                return {first, second};
        }
    }
    return {count, count};
}

CollisionText OutputCollisionText(const OutputFile& first, const OutputFile& second)
{
    CollisionText text;
    text.Append(first.name).Append(L" 与 ").Append(second.name).Append(L" 指向同一个文件：");
    text.AppendAtMost(first.path, 1024);
    return text;
}

const OutputOption kOutputOptions[] = {
    {L"/report", &CommandLineOptions::reportPath, nullptr},
    {L"/report 的 JSON 文件", &CommandLineOptions::reportPath, L".json"},
    {L"/log", &CommandLineOptions::logPath, nullptr},
    {L"/record", &CommandLineOptions::recordPath, nullptr},
};
const std::size_t kOutputOptionCount = sizeof kOutputOptions / sizeof kOutputOptions[0];

bool FindCommandLineCollision(const CommandLineOptions& options, MakeFullPath makeFull, CollisionText& text)
{
    constexpr std::size_t kRows = sizeof kOutputOptions / sizeof kOutputOptions[0];
    // Each a path as long as the system allows: out of the stack.
    struct Paths {
        OutputPath full[kRows];
        OutputPath scratch;
    };
    Paths* paths = NewOnHeap<Paths>();
    if (paths == nullptr)
        return false;
    OutputFile files[kRows];
    for (std::size_t i = 0; i < kRows; ++i) {
        const OutputOption& row = kOutputOptions[i];
        const wchar_t* given = options.*row.path;
        files[i] = {row.name, nullptr};
        if (given == nullptr || !makeFull(given, row.beside ? paths->scratch : paths->full[i]))
            continue;
        if (row.beside && !PathBeside(paths->scratch.c_str(), row.beside, paths->full[i]))
            continue;
        files[i].path = paths->full[i].c_str();
    }
    const OutputCollision collision = FindOutputCollision(files, kRows);
    const bool found = collision.first < kRows;
    if (found)
        text = OutputCollisionText(files[collision.first], files[collision.second]);
    DeleteOnHeap(paths);
    return found;
}

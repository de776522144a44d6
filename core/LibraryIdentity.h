// Which reader library the console runs against: the file the loader bound, its
// size, its file version and its SHA-256, for the About box, the call log and the
// burn-in's report.
#pragma once

#include <cstddef>
#include <cstdint>

#include "LongestPath.h"
#include "Sha256.h"

struct LibraryIdentity {
    static constexpr std::size_t kPathCapacity = kLongestPath;

    bool found = false;  // the path below is the library's
    wchar_t path[kPathCapacity] = {};
    bool sized = false;
    std::uint64_t size = 0;
    bool versioned = false;             // the file has a version resource
    std::uint16_t version[4] = {};      // major, minor, build, revision
    bool hashed = false;
    Sha256Digest sha256;
};

// Appends "1.0.0.1" to `text` (a bounded text of any character), or nothing when
// the file has no version.
template <class Text>
void AppendVersion(Text& text, const LibraryIdentity& identity)
{
    if (!identity.versioned)
        return;
    for (int i = 0; i < 4; ++i) {
        if (i > 0)
            text.Append('.');
        text.AppendDecimal(identity.version[i]);
    }
}

// Appends the 64 lower-case hex digits of the SHA-256, or nothing when it was not made.
template <class Text>
void AppendSha256(Text& text, const LibraryIdentity& identity)
{
    if (!identity.hashed)
        return;
    char digits[65];
    FormatSha256(identity.sha256, digits);
    text.Append(digits);
}

#ifdef _WIN32
// Fills `identity` from the file at `path`: size, version and, if `hash`, SHA-256
// (each marked as had or not); `path` is copied as the identity's path.
void IdentifyFile(const wchar_t* path, bool hash, LibraryIdentity& identity);

// The same for the Mervik.dll the loader bound to this process (found is false
// when none is loaded).
void IdentifyLoadedLibrary(bool hash, LibraryIdentity& identity);
#endif

#include <windows.h>

#include "Buffers.h"
#include "LibraryIdentity.h"
#include "ModulePath.h"
#include "Win32Owners.h"

namespace {

// The SHA-256 of the whole file, read from its start in blocks.
bool HashFile(HANDLE file, Sha256Digest& digest)
{
    LARGE_INTEGER start{};
    if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN))
        return false;
    const OwnedBlock block(64 * 1024, kRuntimeHeap);
    if (!block)
        return false;
    Sha256 hash;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file, block.bytes(), 64 * 1024, &got, nullptr))
            return false;
        if (got == 0)
            break;
        if (!hash.Add(block.bytes(), got))
            return false;
    }
    return hash.Finish(digest);
}

// The fixed file version of the version resource, when the file has one.
bool ReadVersion(const wchar_t* path, std::uint16_t (&version)[4])
{
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    if (size == 0)
        return false;
    const OwnedBlock block(size, kRuntimeHeap);
    if (!block || !GetFileVersionInfoW(path, 0, size, block.chars()))
        return false;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.chars(), L"\\", reinterpret_cast<void**>(&fixed), &length) || fixed == nullptr ||
        length < sizeof *fixed)
        return false;
    version[0] = HIWORD(fixed->dwFileVersionMS);
    version[1] = LOWORD(fixed->dwFileVersionMS);
    version[2] = HIWORD(fixed->dwFileVersionLS);
    version[3] = LOWORD(fixed->dwFileVersionLS);
    return true;
}

}  // namespace

void IdentifyFile(const wchar_t* path, bool hash, LibraryIdentity& identity)
{
    identity = LibraryIdentity{};
    std::size_t length = 0;
    while (path[length] && length + 1 < LibraryIdentity::kPathCapacity) {
        identity.path[length] = path[length];
        ++length;
    }
    identity.path[length] = L'\0';
    identity.found = true;

    identity.versioned = ReadVersion(identity.path, identity.version);
    const win32::FileHandle file(CreateFileW(identity.path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return;
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file.Get(), &size)) {
        identity.sized = true;
        identity.size = static_cast<std::uint64_t>(size.QuadPart);
    }
    if (hash)
        identity.hashed = HashFile(file.Get(), identity.sha256);
}

void IdentifyLoadedLibrary(bool hash, LibraryIdentity& identity)
{
    const HMODULE library = GetModuleHandleW(L"Mervik.dll");
    const win32::ModulePath path(library);
    if (library == nullptr || !path) {
        identity = LibraryIdentity{};
        return;
    }
    IdentifyFile(path.Get(), hash, identity);
}

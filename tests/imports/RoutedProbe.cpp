// A library whose imports the routing tests route: each export asks Windows for
// one thing through its import table, as a reader library does.
#include <windows.h>

#include <cstdlib>

#define PROBE extern "C" __declspec(dllexport)

PROBE HANDLE ProbeOpenEvent() { return CreateEventW(nullptr, TRUE, FALSE, nullptr); }
PROBE HANDLE ProbeOpenMutex() { return CreateMutexA(nullptr, FALSE, nullptr); }
PROBE HANDLE ProbeOpenSemaphore() { return CreateSemaphoreW(nullptr, 0, 1, nullptr); }
PROBE HANDLE ProbeOpenMapping() { return CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, nullptr); }
PROBE HANDLE ProbeOpenFile(const wchar_t* path)
{
    return CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}
PROBE HANDLE ProbeDuplicate(HANDLE source)
{
    HANDLE copy = nullptr;
    DuplicateHandle(GetCurrentProcess(), source, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS);
    return copy;
}
PROBE BOOL ProbeClose(HANDLE handle) { return CloseHandle(handle); }
PROBE HKEY ProbeOpenKey()
{
    HKEY key = nullptr;
    return RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, &key) == ERROR_SUCCESS ? key : nullptr;
}
PROBE LONG ProbeCloseKey(HKEY key) { return RegCloseKey(key); }
PROBE void* ProbeHeapAlloc(SIZE_T size) { return HeapAlloc(GetProcessHeap(), 0, size); }
PROBE void* ProbeHeapReAlloc(void* block, SIZE_T size) { return HeapReAlloc(GetProcessHeap(), 0, block, size); }
PROBE BOOL ProbeHeapFree(void* block) { return HeapFree(GetProcessHeap(), 0, block); }
PROBE void* ProbeLocalAlloc(SIZE_T size) { return LocalAlloc(LMEM_FIXED, size); }
PROBE void* ProbeLocalFree(void* block) { return LocalFree(block); }
PROBE void* ProbeGlobalAlloc(SIZE_T size) { return GlobalAlloc(GMEM_FIXED, size); }
PROBE void* ProbeGlobalFree(void* block) { return GlobalFree(block); }
PROBE void* ProbeVirtualAlloc(SIZE_T size) { return VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE); }
PROBE BOOL ProbeVirtualFree(void* block) { return VirtualFree(block, 0, MEM_RELEASE); }
PROBE void* ProbeMalloc(std::size_t size) { return std::malloc(size); }
PROBE void* ProbeRealloc(void* block, std::size_t size) { return std::realloc(block, size); }
PROBE void ProbeFree(void* block) { std::free(block); }
PROBE HMODULE ProbeLoad(const wchar_t* name) { return LoadLibraryW(name); }
PROBE BOOL ProbeUnload(HMODULE module) { return FreeLibrary(module); }
PROBE void* ProbeGetProc(const char* name)
{
    return reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name));
}

// operator new and delete as the C runtime DLL exports them, reached through
// GetProcAddress from the probe's own code.
#ifdef _WIN64
const char kNew[] = "??2@YAPEAX_K@Z";
const char kDelete[] = "??3@YAXPEAX@Z";
#else
const char kNew[] = "??2@YAPAXI@Z";
const char kDelete[] = "??3@YAXPAX@Z";
#endif
PROBE void* ProbeNew(std::size_t size)
{
    const auto allocate = reinterpret_cast<void* (*)(std::size_t)>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"msvcrt.dll"), kNew)));
    return allocate != nullptr ? allocate(size) : nullptr;
}
PROBE void ProbeDelete(void* block)
{
    const auto release = reinterpret_cast<void (*)(void*)>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"msvcrt.dll"), kDelete)));
    if (release != nullptr)
        release(block);
}

// The last error each function left: a file that is not there, an event that is.
PROBE DWORD ProbeMissingFile(HANDLE* handle)
{
    SetLastError(0);
    *handle = CreateFileW(L"Z:\\no\\such\\folder\\file", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    return GetLastError();
}
PROBE DWORD ProbeEventAgain(const wchar_t* name, HANDLE* handle)
{
    SetLastError(0);
    *handle = CreateEventW(nullptr, TRUE, FALSE, name);
    return GetLastError();
}

// A thread of the library's own that opens and closes events, and allocates and
// frees, until told to stop; `rounds` counts its rounds.
struct Churn {
    volatile LONG stop;
    volatile LONG rounds;
};
DWORD WINAPI ChurnThread(void* parameter)
{
    Churn& churn = *static_cast<Churn*>(parameter);
    while (InterlockedCompareExchange(&churn.stop, 0, 0) == 0) {
        HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        void* block = std::malloc(32);
        static_cast<volatile char*>(block)[0] = 1;  // kept: a malloc freed unused is no call at all
        std::free(block);
        CloseHandle(event);
        InterlockedIncrement(&churn.rounds);
    }
    return 0;
}
PROBE HANDLE ProbeStartChurn(Churn* churn) { return CreateThread(nullptr, 0, &ChurnThread, churn, 0, nullptr); }
// A thread that ends at once.
DWORD WINAPI QuickThread(void*) { return 7; }
PROBE HANDLE ProbeStartQuick(DWORD* id) { return CreateThread(nullptr, 0, &QuickThread, nullptr, 0, id); }

#include "Routing.h"

#include <windows.h>

#include <atomic>
#include <cstring>
#include <new>

#include "RunningCall.h"

// Every wrapper calls the real function through the pointer kept for it, then
// tells the ledger, keeping GetLastError as the real function left it. What is
// given back is told before the real call: once a handle is closed or a block
// freed, another thread may be handed the same value at once.

using taken::Kind;
using taken::Ledger;

namespace routing {

namespace {

// The routed functions, in the order of the table below.
enum Function : std::size_t {
    fCreateFileA, fCreateFileW,
    fCreateEventA, fCreateEventW, fCreateEventExA, fCreateEventExW, fOpenEventA, fOpenEventW,
    fCreateMutexA, fCreateMutexW, fCreateMutexExA, fCreateMutexExW, fOpenMutexA, fOpenMutexW,
    fCreateSemaphoreA, fCreateSemaphoreW, fCreateSemaphoreExA, fCreateSemaphoreExW, fOpenSemaphoreA, fOpenSemaphoreW,
    fCreateFileMappingA, fCreateFileMappingW, fOpenFileMappingA, fOpenFileMappingW,
    fDuplicateHandle, fCloseHandle,
    fRegOpenKeyA, fRegOpenKeyW, fRegOpenKeyExA, fRegOpenKeyExW, fRegCreateKeyA, fRegCreateKeyW, fRegCreateKeyExA,
    fRegCreateKeyExW, fRegCloseKey,
    fCreateThread,
    fHeapAlloc, fHeapReAlloc, fHeapFree, fLocalAlloc, fLocalFree, fGlobalAlloc, fGlobalFree, fVirtualAlloc, fVirtualFree,
    fMalloc, fCalloc, fRealloc, fFree,
    fNew, fNewArray, fDelete, fDeleteArray, fGnuNew, fGnuNewArray, fGnuDelete, fGnuDeleteArray,
    fLoadLibraryA, fLoadLibraryW, fLoadLibraryExA, fLoadLibraryExW, fFreeLibrary,
    fGetProcAddress,
    kFunctionCount
};

// The real functions, filled when routing begins (the C runtime's from the first
// runtime the library imports them from).
void* g_real[kFunctionCount];

template <class F>
F Real(Function function)
{
    return reinterpret_cast<F>(g_real[function]);
}

std::atomic<Ledger*> g_ledger{nullptr};

// Where the wrapper was called from, in the library's code.
#define ZANTOR_CALL_SITE() reinterpret_cast<std::uintptr_t>(__builtin_return_address(0))

struct Attribution {
    std::uint8_t operation;
    bool noted;  // on Zantor's thread, inside the call: its note says so
};
Attribution Now()
{
    const std::uint8_t operation = running::Operation();
    if (operation != running::kNoCall && running::CallingThread() == GetCurrentThreadId())
        return {operation, true};
    return {taken::kOutside, false};
}

// Tells the ledger that `value` was taken at `site`; nothing for a failure's 0 or -1.
// Out of line, as Gave: one copy for every wrapper.
__attribute__((noinline)) void Took(Kind kind, std::uintptr_t value, std::uint64_t bytes, std::uintptr_t site)
{
    Ledger* ledger = g_ledger.load(std::memory_order_acquire);
    if (ledger == nullptr || value == 0 || value == static_cast<std::uintptr_t>(-1))
        return;
    const DWORD error = GetLastError();
    const Attribution now = Now();
    ledger->Take(kind, value, bytes, now.operation, ledger->Place(site), now.noted);
    SetLastError(error);
}
void Took(Kind kind, const void* value, std::uint64_t bytes, std::uintptr_t site)
{
    Took(kind, reinterpret_cast<std::uintptr_t>(value), bytes, site);
}

__attribute__((noinline)) void Gave(Kind kind, const void* value, std::uintptr_t site)
{
    Ledger* ledger = g_ledger.load(std::memory_order_acquire);
    if (ledger == nullptr || value == nullptr)
        return;
    const DWORD error = GetLastError();
    ledger->GiveBack(kind, reinterpret_cast<std::uintptr_t>(value), ledger->Place(site), Now().noted);
    SetLastError(error);
}

// A device rather than a file: "\\.\COM3", "\\?\usb#vid_..." (but "\\?\C:\...").
template <class Char>
Kind FileKind(const Char* name)
{
    if (name == nullptr || name[0] != '\\' || name[1] != '\\' || name[3] != '\\')
        return Kind::File;
    if (name[2] == '.')
        return Kind::Device;
    if (name[2] == '?' && !(name[4] != 0 && name[5] == ':'))
        return Kind::Device;
    return Kind::File;
}

// ---- Handles

HANDLE WINAPI WrapCreateFileA(LPCSTR a, DWORD b, DWORD c, LPSECURITY_ATTRIBUTES d, DWORD e, DWORD f, HANDLE g)
{
    const HANDLE h = Real<decltype(&CreateFileA)>(fCreateFileA)(a, b, c, d, e, f, g);
    Took(FileKind(a), h, 0, ZANTOR_CALL_SITE());
    return h;
}
HANDLE WINAPI WrapCreateFileW(LPCWSTR a, DWORD b, DWORD c, LPSECURITY_ATTRIBUTES d, DWORD e, DWORD f, HANDLE g)
{
    const HANDLE h = Real<decltype(&CreateFileW)>(fCreateFileW)(a, b, c, d, e, f, g);
    Took(FileKind(a), h, 0, ZANTOR_CALL_SITE());
    return h;
}

HANDLE WINAPI WrapCreateEventA(LPSECURITY_ATTRIBUTES a, BOOL b, BOOL c, LPCSTR d)
{
    const HANDLE h = Real<decltype(&CreateEventA)>(fCreateEventA)(a, b, c, d);
    Took(Kind::Event, h, 0, ZANTOR_CALL_SITE());
    return h;
}
HANDLE WINAPI WrapCreateEventW(LPSECURITY_ATTRIBUTES a, BOOL b, BOOL c, LPCWSTR d)
{
    const HANDLE h = Real<decltype(&CreateEventW)>(fCreateEventW)(a, b, c, d);
    Took(Kind::Event, h, 0, ZANTOR_CALL_SITE());
    return h;
}
HANDLE WINAPI WrapCreateEventExA(LPSECURITY_ATTRIBUTES a, LPCSTR b, DWORD c, DWORD d)
{
    const HANDLE h = Real<decltype(&CreateEventExA)>(fCreateEventExA)(a, b, c, d);
    Took(Kind::Event, h, 0, ZANTOR_CALL_SITE());
    return h;
}
HANDLE WINAPI WrapCreateEventExW(LPSECURITY_ATTRIBUTES a, LPCWSTR b, DWORD c, DWORD d)
{
    const HANDLE h = Real<decltype(&CreateEventExW)>(fCreateEventExW)(a, b, c, d);
    Took(Kind::Event, h, 0, ZANTOR_CALL_SITE());
    return h;
}
HANDLE WINAPI WrapOpenEventA(DWORD a, BOOL b, LPCSTR c)
{
    const HANDLE h = Real<decltype(&OpenEventA)>(fOpenEventA)(a, b, c);
    Took(Kind::Event, h, 0, ZANTOR_CALL_SITE());
    return h;
}
HANDLE WINAPI WrapOpenEventW(DWORD a, BOOL b, LPCWSTR c)
{
    const HANDLE h = Real<decltype(&OpenEventW)>(fOpenEventW)(a, b, c);
    Took(Kind::Event, h, 0, ZANTOR_CALL_SITE());
    return h;
}

HANDLE WINAPI WrapCreateMutexA(LPSECURITY_ATTRIBUTES a, BOOL b, LPCSTR c)
{
    const HANDLE h = Real<decltype(&CreateMutexA)>(fCreateMutexA)(a, b, c);
    Took(Kind::Mutex, h, 0, ZANTOR_CALL_SITE());
    return h;
}
HANDLE WINAPI WrapCreateMutexW(LPSECURITY_ATTRIBUTES a, BOOL b, LPCWSTR c)
{
    const HANDLE h = Real<decltype(&CreateMutexW)>(fCreateMutexW)(a, b, c);
    Took(Kind::Mutex, h, 0, ZANTOR_CALL_SITE());
    return h;
}
HANDLE WINAPI WrapCreateMutexExA(LPSECURITY_ATTRIBUTES a, LPCSTR b, DWORD c, DWORD d)
{
    const HANDLE h = Real<decltype(&CreateMutexExA)>(fCreateMutexExA)(a, b, c, d);
    Took(Kind::Mutex, h, 0, ZANTOR_CALL_SITE());
    return h;
}
HANDLE WINAPI WrapCreateMutexExW(LPSECURITY_ATTRIBUTES a, LPCWSTR b, DWORD c, DWORD d)
{
    const HANDLE h = Real<decltype(&CreateMutexExW)>(fCreateMutexExW)(a, b, c, d);
    Took(Kind::Mutex, h, 0, ZANTOR_CALL_SITE());
    return h;
}
HANDLE WINAPI WrapOpenMutexA(DWORD a, BOOL b, LPCSTR c)
{
    const HANDLE h = Real<decltype(&OpenMutexA)>(fOpenMutexA)(a, b, c);
    Took(Kind::Mutex, h, 0, ZANTOR_CALL_SITE());
    return h;
}
HANDLE WINAPI WrapOpenMutexW(DWORD a, BOOL b, LPCWSTR c)
{
    const HANDLE h = Real<decltype(&OpenMutexW)>(fOpenMutexW)(a, b, c);
    Took(Kind::Mutex, h, 0, ZANTOR_CALL_SITE());
    return h;
}

HANDLE WINAPI WrapCreateSemaphoreA(LPSECURITY_ATTRIBUTES a, LONG b, LONG c, LPCSTR d)
{
    const HANDLE h = Real<decltype(&CreateSemaphoreA)>(fCreateSemaphoreA)(a, b, c, d);
    Took(Kind::Semaphore, h, 0, ZANTOR_CALL_SITE());
    return h;
}
HANDLE WINAPI WrapCreateSemaphoreW(LPSECURITY_ATTRIBUTES a, LONG b, LONG c, LPCWSTR d)
{
    const HANDLE h = Real<decltype(&CreateSemaphoreW)>(fCreateSemaphoreW)(a, b, c, d);
    Took(Kind::Semaphore, h, 0, ZANTOR_CALL_SITE());
    return h;
}
HANDLE WINAPI WrapCreateSemaphoreExA(LPSECURITY_ATTRIBUTES a, LONG b, LONG c, LPCSTR d, DWORD e, DWORD f)
{
    const HANDLE h = Real<decltype(&CreateSemaphoreExA)>(fCreateSemaphoreExA)(a, b, c, d, e, f);
    Took(Kind::Semaphore, h, 0, ZANTOR_CALL_SITE());
    return h;
}
HANDLE WINAPI WrapCreateSemaphoreExW(LPSECURITY_ATTRIBUTES a, LONG b, LONG c, LPCWSTR d, DWORD e, DWORD f)
{
    const HANDLE h = Real<decltype(&CreateSemaphoreExW)>(fCreateSemaphoreExW)(a, b, c, d, e, f);
    Took(Kind::Semaphore, h, 0, ZANTOR_CALL_SITE());
    return h;
}
HANDLE WINAPI WrapOpenSemaphoreA(DWORD a, BOOL b, LPCSTR c)
{
    const HANDLE h = Real<decltype(&OpenSemaphoreA)>(fOpenSemaphoreA)(a, b, c);
    Took(Kind::Semaphore, h, 0, ZANTOR_CALL_SITE());
    return h;
}
HANDLE WINAPI WrapOpenSemaphoreW(DWORD a, BOOL b, LPCWSTR c)
{
    const HANDLE h = Real<decltype(&OpenSemaphoreW)>(fOpenSemaphoreW)(a, b, c);
    Took(Kind::Semaphore, h, 0, ZANTOR_CALL_SITE());
    return h;
}

HANDLE WINAPI WrapCreateFileMappingA(HANDLE a, LPSECURITY_ATTRIBUTES b, DWORD c, DWORD d, DWORD e, LPCSTR f)
{
    const HANDLE h = Real<decltype(&CreateFileMappingA)>(fCreateFileMappingA)(a, b, c, d, e, f);
    Took(Kind::Mapping, h, 0, ZANTOR_CALL_SITE());
    return h;
}
HANDLE WINAPI WrapCreateFileMappingW(HANDLE a, LPSECURITY_ATTRIBUTES b, DWORD c, DWORD d, DWORD e, LPCWSTR f)
{
    const HANDLE h = Real<decltype(&CreateFileMappingW)>(fCreateFileMappingW)(a, b, c, d, e, f);
    Took(Kind::Mapping, h, 0, ZANTOR_CALL_SITE());
    return h;
}
HANDLE WINAPI WrapOpenFileMappingA(DWORD a, BOOL b, LPCSTR c)
{
    const HANDLE h = Real<decltype(&OpenFileMappingA)>(fOpenFileMappingA)(a, b, c);
    Took(Kind::Mapping, h, 0, ZANTOR_CALL_SITE());
    return h;
}
HANDLE WINAPI WrapOpenFileMappingW(DWORD a, BOOL b, LPCWSTR c)
{
    const HANDLE h = Real<decltype(&OpenFileMappingW)>(fOpenFileMappingW)(a, b, c);
    Took(Kind::Mapping, h, 0, ZANTOR_CALL_SITE());
    return h;
}

bool IsThisProcess(HANDLE process) { return process == GetCurrentProcess() || GetProcessId(process) == GetCurrentProcessId(); }

// A duplicate is taken as the kind its source was taken as (any handle else);
// DUPLICATE_CLOSE_SOURCE gives the source back.
BOOL WINAPI WrapDuplicateHandle(HANDLE a, HANDLE b, HANDLE c, LPHANDLE d, DWORD e, BOOL f, DWORD g)
{
    const std::uintptr_t site = ZANTOR_CALL_SITE();
    Ledger* ledger = g_ledger.load(std::memory_order_acquire);
    Kind kind = Kind::Other;
    DWORD error = GetLastError();
    const bool ours = ledger != nullptr && IsThisProcess(a);
    if (ours)
        ledger->Holds(Kind::Other, reinterpret_cast<std::uintptr_t>(b), &kind);
    if (ours && (g & DUPLICATE_CLOSE_SOURCE) != 0)
        Gave(Kind::Other, b, site);
    SetLastError(error);
    const BOOL done = Real<decltype(&DuplicateHandle)>(fDuplicateHandle)(a, b, c, d, e, f, g);
    error = GetLastError();
    if (done && d != nullptr && ledger != nullptr && IsThisProcess(c))
        Took(kind, *d, 0, site);
    SetLastError(error);
    return done;
}

BOOL WINAPI WrapCloseHandle(HANDLE a)
{
    Gave(Kind::Other, a, ZANTOR_CALL_SITE());
    return Real<decltype(&CloseHandle)>(fCloseHandle)(a);
}

// ---- Registry keys: the key comes back through the last argument.

LSTATUS TookKey(LSTATUS status, const HKEY* key, std::uintptr_t site)
{
    if (status == ERROR_SUCCESS && key != nullptr)
        Took(Kind::Registry, *key, 0, site);
    return status;
}
LSTATUS WINAPI WrapRegOpenKeyA(HKEY a, LPCSTR b, PHKEY c)
{
    return TookKey(Real<decltype(&RegOpenKeyA)>(fRegOpenKeyA)(a, b, c), c, ZANTOR_CALL_SITE());
}
LSTATUS WINAPI WrapRegOpenKeyW(HKEY a, LPCWSTR b, PHKEY c)
{
    return TookKey(Real<decltype(&RegOpenKeyW)>(fRegOpenKeyW)(a, b, c), c, ZANTOR_CALL_SITE());
}
LSTATUS WINAPI WrapRegOpenKeyExA(HKEY a, LPCSTR b, DWORD c, REGSAM d, PHKEY e)
{
    return TookKey(Real<decltype(&RegOpenKeyExA)>(fRegOpenKeyExA)(a, b, c, d, e), e, ZANTOR_CALL_SITE());
}
LSTATUS WINAPI WrapRegOpenKeyExW(HKEY a, LPCWSTR b, DWORD c, REGSAM d, PHKEY e)
{
    return TookKey(Real<decltype(&RegOpenKeyExW)>(fRegOpenKeyExW)(a, b, c, d, e), e, ZANTOR_CALL_SITE());
}
LSTATUS WINAPI WrapRegCreateKeyA(HKEY a, LPCSTR b, PHKEY c)
{
    return TookKey(Real<decltype(&RegCreateKeyA)>(fRegCreateKeyA)(a, b, c), c, ZANTOR_CALL_SITE());
}
LSTATUS WINAPI WrapRegCreateKeyW(HKEY a, LPCWSTR b, PHKEY c)
{
    return TookKey(Real<decltype(&RegCreateKeyW)>(fRegCreateKeyW)(a, b, c), c, ZANTOR_CALL_SITE());
}
LSTATUS WINAPI WrapRegCreateKeyExA(HKEY a, LPCSTR b, DWORD c, LPSTR d, DWORD e, REGSAM f, LPSECURITY_ATTRIBUTES g,
                                   PHKEY h, LPDWORD i)
{
    return TookKey(Real<decltype(&RegCreateKeyExA)>(fRegCreateKeyExA)(a, b, c, d, e, f, g, h, i), h,
                   ZANTOR_CALL_SITE());
}
LSTATUS WINAPI WrapRegCreateKeyExW(HKEY a, LPCWSTR b, DWORD c, LPWSTR d, DWORD e, REGSAM f, LPSECURITY_ATTRIBUTES g,
                                   PHKEY h, LPDWORD i)
{
    return TookKey(Real<decltype(&RegCreateKeyExW)>(fRegCreateKeyExW)(a, b, c, d, e, f, g, h, i), h,
                   ZANTOR_CALL_SITE());
}
LSTATUS WINAPI WrapRegCloseKey(HKEY a)
{
    Gave(Kind::Registry, a, ZANTOR_CALL_SITE());
    return Real<decltype(&RegCloseKey)>(fRegCloseKey)(a);
}

// ---- Threads: started suspended, so that the ledger has the thread before it
// runs (and before its own start is seen), then let go as the caller asked. The
// thread's handle is a handle of its own ("other").

HANDLE WINAPI WrapCreateThread(LPSECURITY_ATTRIBUTES a, SIZE_T b, LPTHREAD_START_ROUTINE c, LPVOID d, DWORD e,
                               LPDWORD f)
{
    const std::uintptr_t site = ZANTOR_CALL_SITE();
    DWORD id = 0;
    const HANDLE h = Real<decltype(&CreateThread)>(fCreateThread)(a, b, c, d, e | CREATE_SUSPENDED, &id);
    const DWORD error = GetLastError();
    if (h != nullptr) {
        if (f != nullptr)
            *f = id;
        Ledger* ledger = g_ledger.load(std::memory_order_acquire);
        if (ledger != nullptr) {
            const Attribution now = Now();
            ledger->TakeUnlessHeld(Kind::Thread, id, now.operation, ledger->Place(site), now.noted);
        }
        Took(Kind::Other, h, 0, site);
        if ((e & CREATE_SUSPENDED) == 0)
            ResumeThread(h);
    }
    SetLastError(error);
    return h;
}

// ---- Heap

LPVOID WINAPI WrapHeapAlloc(HANDLE a, DWORD b, SIZE_T c)
{
    const LPVOID p = Real<decltype(&HeapAlloc)>(fHeapAlloc)(a, b, c);
    Took(Kind::Heap, p, c, ZANTOR_CALL_SITE());
    return p;
}
// A block grown or moved is given back and taken again, at its new size.
LPVOID WINAPI WrapHeapReAlloc(HANDLE a, DWORD b, LPVOID c, SIZE_T d)
{
    const std::uintptr_t site = ZANTOR_CALL_SITE();
    const LPVOID p = Real<decltype(&HeapReAlloc)>(fHeapReAlloc)(a, b, c, d);
    if (p != nullptr) {
        Gave(Kind::Heap, c, site);
        Took(Kind::Heap, p, d, site);
    }
    return p;
}
BOOL WINAPI WrapHeapFree(HANDLE a, DWORD b, LPVOID c)
{
    Gave(Kind::Heap, c, ZANTOR_CALL_SITE());
    return Real<decltype(&HeapFree)>(fHeapFree)(a, b, c);
}
HLOCAL WINAPI WrapLocalAlloc(UINT a, SIZE_T b)
{
    const HLOCAL p = Real<decltype(&LocalAlloc)>(fLocalAlloc)(a, b);
    Took(Kind::Heap, p, b, ZANTOR_CALL_SITE());
    return p;
}
HLOCAL WINAPI WrapLocalFree(HLOCAL a)
{
    Gave(Kind::Heap, a, ZANTOR_CALL_SITE());
    return Real<decltype(&LocalFree)>(fLocalFree)(a);
}
HGLOBAL WINAPI WrapGlobalAlloc(UINT a, SIZE_T b)
{
    const HGLOBAL p = Real<decltype(&GlobalAlloc)>(fGlobalAlloc)(a, b);
    Took(Kind::Heap, p, b, ZANTOR_CALL_SITE());
    return p;
}
HGLOBAL WINAPI WrapGlobalFree(HGLOBAL a)
{
    Gave(Kind::Heap, a, ZANTOR_CALL_SITE());
    return Real<decltype(&GlobalFree)>(fGlobalFree)(a);
}
// A region is taken when reserved (committing inside it takes nothing new) and
// given back when released.
LPVOID WINAPI WrapVirtualAlloc(LPVOID a, SIZE_T b, DWORD c, DWORD d)
{
    const LPVOID p = Real<decltype(&VirtualAlloc)>(fVirtualAlloc)(a, b, c, d);
    if ((c & MEM_RESERVE) != 0)
        Took(Kind::Heap, p, b, ZANTOR_CALL_SITE());
    return p;
}
BOOL WINAPI WrapVirtualFree(LPVOID a, SIZE_T b, DWORD c)
{
    if ((c & MEM_RELEASE) != 0)
        Gave(Kind::Heap, a, ZANTOR_CALL_SITE());
    return Real<decltype(&VirtualFree)>(fVirtualFree)(a, b, c);
}

using MallocFunction = void*(__cdecl*)(std::size_t);
using CallocFunction = void*(__cdecl*)(std::size_t, std::size_t);
using ReallocFunction = void*(__cdecl*)(void*, std::size_t);
using FreeFunction = void(__cdecl*)(void*);

void* __cdecl WrapMalloc(std::size_t a)
{
    void* p = Real<MallocFunction>(fMalloc)(a);
    Took(Kind::Heap, p, a, ZANTOR_CALL_SITE());
    return p;
}
void* __cdecl WrapCalloc(std::size_t a, std::size_t b)
{
    void* p = Real<CallocFunction>(fCalloc)(a, b);
    Took(Kind::Heap, p, static_cast<std::uint64_t>(a) * b, ZANTOR_CALL_SITE());
    return p;
}
void* __cdecl WrapRealloc(void* a, std::size_t b)
{
    const std::uintptr_t site = ZANTOR_CALL_SITE();
    void* p = Real<ReallocFunction>(fRealloc)(a, b);
    // realloc(p, 0) frees p and may return null; a failure leaves p as it was.
    if (p != nullptr || b == 0)
        Gave(Kind::Heap, a, site);
    Took(Kind::Heap, p, b, site);
    return p;
}
void __cdecl WrapFree(void* a)
{
    Gave(Kind::Heap, a, ZANTOR_CALL_SITE());
    Real<FreeFunction>(fFree)(a);
}

// operator new and delete, scalar and array, as a runtime DLL exports them
// (Microsoft's names, or the GNU ones from libstdc++'s DLL): each calls its own.
template <Function F>
void* __cdecl WrapNew(std::size_t a)
{
    void* p = Real<MallocFunction>(F)(a);
    Took(Kind::Heap, p, a, ZANTOR_CALL_SITE());
    return p;
}
template <Function F>
void __cdecl WrapDelete(void* a)
{
    Gave(Kind::Heap, a, ZANTOR_CALL_SITE());
    Real<FreeFunction>(F)(a);
}
#ifdef _WIN64
constexpr const char* kNewNames[] = {"??2@YAPEAX_K@Z", "??_U@YAPEAX_K@Z", "??3@YAXPEAX@Z", "??_V@YAXPEAX@Z",
                                     "_Znwm", "_Znam", "_ZdlPv", "_ZdaPv"};
#else
constexpr const char* kNewNames[] = {"??2@YAPAXI@Z", "??_U@YAPAXI@Z", "??3@YAXPAX@Z", "??_V@YAXPAX@Z",
                                     "_Znwj", "_Znaj", "_ZdlPv", "_ZdaPv"};
#endif

// ---- Modules

void RouteLoaded(HMODULE module);

HMODULE TookModule(HMODULE module, std::uintptr_t site)
{
    if (module == nullptr)
        return module;
    const DWORD error = GetLastError();
    RouteLoaded(module);
    Took(Kind::Module, module, 0, site);
    SetLastError(error);
    return module;
}
HMODULE WINAPI WrapLoadLibraryA(LPCSTR a)
{
    return TookModule(Real<decltype(&LoadLibraryA)>(fLoadLibraryA)(a), ZANTOR_CALL_SITE());
}
HMODULE WINAPI WrapLoadLibraryW(LPCWSTR a)
{
    return TookModule(Real<decltype(&LoadLibraryW)>(fLoadLibraryW)(a), ZANTOR_CALL_SITE());
}
HMODULE WINAPI WrapLoadLibraryExA(LPCSTR a, HANDLE b, DWORD c)
{
    return TookModule(Real<decltype(&LoadLibraryExA)>(fLoadLibraryExA)(a, b, c), ZANTOR_CALL_SITE());
}
HMODULE WINAPI WrapLoadLibraryExW(LPCWSTR a, HANDLE b, DWORD c)
{
    return TookModule(Real<decltype(&LoadLibraryExW)>(fLoadLibraryExW)(a, b, c), ZANTOR_CALL_SITE());
}
BOOL WINAPI WrapFreeLibrary(HMODULE a)
{
    Gave(Kind::Module, a, ZANTOR_CALL_SITE());
    return Real<decltype(&FreeLibrary)>(fFreeLibrary)(a);
}

FARPROC WINAPI WrapGetProcAddress(HMODULE a, LPCSTR b);

// ---- The table

// Which DLLs a function is imported from: Windows' own, or a C runtime.
enum class Provider : std::uint8_t { System, Runtime };

struct RoutedFunction {
    const char* name;
    Provider provider;
    void* wrapper;
};

template <class F>
void* Address(F function)
{
    return reinterpret_cast<void*>(function);
}

const RoutedFunction kRouted[kFunctionCount] = {
    {"CreateFileA", Provider::System, Address(&WrapCreateFileA)},
    {"CreateFileW", Provider::System, Address(&WrapCreateFileW)},
    {"CreateEventA", Provider::System, Address(&WrapCreateEventA)},
    {"CreateEventW", Provider::System, Address(&WrapCreateEventW)},
    {"CreateEventExA", Provider::System, Address(&WrapCreateEventExA)},
    {"CreateEventExW", Provider::System, Address(&WrapCreateEventExW)},
    {"OpenEventA", Provider::System, Address(&WrapOpenEventA)},
    {"OpenEventW", Provider::System, Address(&WrapOpenEventW)},
    {"CreateMutexA", Provider::System, Address(&WrapCreateMutexA)},
    {"CreateMutexW", Provider::System, Address(&WrapCreateMutexW)},
    {"CreateMutexExA", Provider::System, Address(&WrapCreateMutexExA)},
    {"CreateMutexExW", Provider::System, Address(&WrapCreateMutexExW)},
    {"OpenMutexA", Provider::System, Address(&WrapOpenMutexA)},
    {"OpenMutexW", Provider::System, Address(&WrapOpenMutexW)},
    {"CreateSemaphoreA", Provider::System, Address(&WrapCreateSemaphoreA)},
    {"CreateSemaphoreW", Provider::System, Address(&WrapCreateSemaphoreW)},
    {"CreateSemaphoreExA", Provider::System, Address(&WrapCreateSemaphoreExA)},
    {"CreateSemaphoreExW", Provider::System, Address(&WrapCreateSemaphoreExW)},
    {"OpenSemaphoreA", Provider::System, Address(&WrapOpenSemaphoreA)},
    {"OpenSemaphoreW", Provider::System, Address(&WrapOpenSemaphoreW)},
    {"CreateFileMappingA", Provider::System, Address(&WrapCreateFileMappingA)},
    {"CreateFileMappingW", Provider::System, Address(&WrapCreateFileMappingW)},
    {"OpenFileMappingA", Provider::System, Address(&WrapOpenFileMappingA)},
    {"OpenFileMappingW", Provider::System, Address(&WrapOpenFileMappingW)},
    {"DuplicateHandle", Provider::System, Address(&WrapDuplicateHandle)},
    {"CloseHandle", Provider::System, Address(&WrapCloseHandle)},
    {"RegOpenKeyA", Provider::System, Address(&WrapRegOpenKeyA)},
    {"RegOpenKeyW", Provider::System, Address(&WrapRegOpenKeyW)},
    {"RegOpenKeyExA", Provider::System, Address(&WrapRegOpenKeyExA)},
    {"RegOpenKeyExW", Provider::System, Address(&WrapRegOpenKeyExW)},
    {"RegCreateKeyA", Provider::System, Address(&WrapRegCreateKeyA)},
    {"RegCreateKeyW", Provider::System, Address(&WrapRegCreateKeyW)},
    {"RegCreateKeyExA", Provider::System, Address(&WrapRegCreateKeyExA)},
    {"RegCreateKeyExW", Provider::System, Address(&WrapRegCreateKeyExW)},
    {"RegCloseKey", Provider::System, Address(&WrapRegCloseKey)},
    {"CreateThread", Provider::System, Address(&WrapCreateThread)},
    {"HeapAlloc", Provider::System, Address(&WrapHeapAlloc)},
    {"HeapReAlloc", Provider::System, Address(&WrapHeapReAlloc)},
    {"HeapFree", Provider::System, Address(&WrapHeapFree)},
    {"LocalAlloc", Provider::System, Address(&WrapLocalAlloc)},
    {"LocalFree", Provider::System, Address(&WrapLocalFree)},
    {"GlobalAlloc", Provider::System, Address(&WrapGlobalAlloc)},
    {"GlobalFree", Provider::System, Address(&WrapGlobalFree)},
    {"VirtualAlloc", Provider::System, Address(&WrapVirtualAlloc)},
    {"VirtualFree", Provider::System, Address(&WrapVirtualFree)},
    {"malloc", Provider::Runtime, Address(&WrapMalloc)},
    {"calloc", Provider::Runtime, Address(&WrapCalloc)},
    {"realloc", Provider::Runtime, Address(&WrapRealloc)},
    {"free", Provider::Runtime, Address(&WrapFree)},
    {kNewNames[0], Provider::Runtime, Address(&WrapNew<fNew>)},
    {kNewNames[1], Provider::Runtime, Address(&WrapNew<fNewArray>)},
    {kNewNames[2], Provider::Runtime, Address(&WrapDelete<fDelete>)},
    {kNewNames[3], Provider::Runtime, Address(&WrapDelete<fDeleteArray>)},
    {kNewNames[4], Provider::Runtime, Address(&WrapNew<fGnuNew>)},
    {kNewNames[5], Provider::Runtime, Address(&WrapNew<fGnuNewArray>)},
    {kNewNames[6], Provider::Runtime, Address(&WrapDelete<fGnuDelete>)},
    {kNewNames[7], Provider::Runtime, Address(&WrapDelete<fGnuDeleteArray>)},
    {"LoadLibraryA", Provider::System, Address(&WrapLoadLibraryA)},
    {"LoadLibraryW", Provider::System, Address(&WrapLoadLibraryW)},
    {"LoadLibraryExA", Provider::System, Address(&WrapLoadLibraryExA)},
    {"LoadLibraryExW", Provider::System, Address(&WrapLoadLibraryExW)},
    {"FreeLibrary", Provider::System, Address(&WrapFreeLibrary)},
    {"GetProcAddress", Provider::System, Address(&WrapGetProcAddress)},
};

const RoutedFunction* FindRouted(const char* name, std::size_t* index)
{
    for (std::size_t i = 0; i < kFunctionCount; ++i) {
        if (std::strcmp(kRouted[i].name, name) == 0) {
            *index = i;
            return &kRouted[i];
        }
    }
    return nullptr;
}

// ---- Modules: which are Windows', which a C runtime, which the library's own.

HMODULE g_system[3];  // kernel32, kernelbase, advapi32: where the system functions come from
HMODULE g_runtime;    // the C runtime whose malloc, calloc, realloc and free are routed
HMODULE g_routed[taken::kMaxModules];
std::size_t g_routedCount;

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
bool StartsWith(const char* text, const char* prefix)
{
    for (; *prefix != 0; ++text, ++prefix) {
        if (Lower(*text) != *prefix)
            return false;
    }
    return true;
}
bool SameName(const char* a, const char* b)
{
    for (; *a != 0 && *b != 0; ++a, ++b) {
        if (Lower(*a) != Lower(*b))
            return false;
    }
    return *a == *b;
}

// What an import's DLL name says it is.
enum class DllKind { System, Runtime, Other };
DllKind KindOfDll(const char* name)
{
    if (StartsWith(name, "api-ms-win-crt-") || StartsWith(name, "msvcr") || StartsWith(name, "ucrtbase"))
        return DllKind::Runtime;
    if (StartsWith(name, "api-ms-win-") || StartsWith(name, "ext-ms-") || SameName(name, "kernel32.dll") ||
        SameName(name, "kernelbase.dll") || SameName(name, "advapi32.dll"))
        return DllKind::System;
    // Runtimes that ship beside a library are never its own code to route.
    if (StartsWith(name, "vcruntime") || StartsWith(name, "msvcp") || StartsWith(name, "libgcc") ||
        StartsWith(name, "libstdc++") || StartsWith(name, "libwinpthread"))
        return DllKind::Runtime;
    return DllKind::Other;
}

// A module in Windows' own folder.
bool IsWindowsModule(HMODULE module)
{
    wchar_t path[MAX_PATH];
    wchar_t windows[MAX_PATH];
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    const UINT folder = GetSystemWindowsDirectoryW(windows, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || folder == 0 || folder >= MAX_PATH)
        return false;
    for (UINT i = 0; i < folder; ++i) {
        wchar_t a = path[i];
        wchar_t b = windows[i];
        if (a >= L'A' && a <= L'Z')
            a = static_cast<wchar_t>(a - L'A' + L'a');
        if (b >= L'A' && b <= L'Z')
            b = static_cast<wchar_t>(b - L'A' + L'a');
        if (a != b)
            return false;
    }
    return path[folder] == L'\\';
}

const IMAGE_NT_HEADERS* Headers(HMODULE module)
{
    const auto* base = reinterpret_cast<const BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE)
        return nullptr;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    return nt->Signature == IMAGE_NT_SIGNATURE ? nt : nullptr;
}

// Adds `module` to the ledger's list by its file's name, UTF-8.
void PlaceModule(HMODULE module)
{
    Ledger* ledger = g_ledger.load(std::memory_order_acquire);
    const IMAGE_NT_HEADERS* nt = Headers(module);
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    if (ledger == nullptr || nt == nullptr || length == 0 || length >= MAX_PATH)
        return;
    const wchar_t* name = path;
    for (const wchar_t* c = path; *c != 0; ++c) {
        if (*c == L'\\' || *c == L'/')
            name = c + 1;
    }
    char narrow[taken::kModuleNameRoom];
    const int written = WideCharToMultiByte(CP_UTF8, 0, name, -1, narrow, static_cast<int>(sizeof narrow), nullptr, nullptr);
    if (written <= 0)
        return;
    ledger->AddModule(narrow, reinterpret_cast<std::uintptr_t>(module), nt->OptionalHeader.SizeOfImage);
}

bool AlreadyRouted(HMODULE module)
{
    for (std::size_t i = 0; i < g_routedCount; ++i) {
        if (g_routed[i] == module)
            return true;
    }
    return false;
}

void Patch(void** entry, void* wrapper)
{
    DWORD old = 0;
    if (!VirtualProtect(entry, sizeof(void*), PAGE_READWRITE, &old))
        return;
    *entry = wrapper;
    VirtualProtect(entry, sizeof(void*), old, &old);
}

// Points the entries of `module`'s import table that the set routes at their
// wrappers, and routes the module's own DLLs in turn; counts into `routed`.
void RouteModule(HMODULE module, routing::Routed& routed)
{
    if (AlreadyRouted(module) || g_routedCount == taken::kMaxModules)
        return;
    g_routed[g_routedCount++] = module;
    PlaceModule(module);
    ++routed.modules;
    const IMAGE_NT_HEADERS* nt = Headers(module);
    if (nt == nullptr)
        return;
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (directory.VirtualAddress == 0)
        return;
    auto* base = reinterpret_cast<BYTE*>(module);
    for (auto* import = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         import->Name != 0; ++import) {
        const char* dll = reinterpret_cast<const char*>(base + import->Name);
        const DllKind kind = KindOfDll(dll);
        if (kind == DllKind::Other) {
            const HMODULE own = GetModuleHandleA(dll);
            if (own != nullptr && own != GetModuleHandleW(nullptr) && !IsWindowsModule(own))
                RouteModule(own, routed);
            continue;
        }
        const DWORD names = import->OriginalFirstThunk != 0 ? import->OriginalFirstThunk : import->FirstThunk;
        auto* name = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + names);
        auto** entry = reinterpret_cast<void**>(base + import->FirstThunk);
        for (; name->u1.AddressOfData != 0; ++name, ++entry) {
            if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal))
                continue;
            const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData);
            std::size_t index = 0;
            const RoutedFunction* function = FindRouted(reinterpret_cast<const char*>(byName->Name), &index);
            if (function == nullptr || (function->provider == Provider::Runtime) != (kind == DllKind::Runtime))
                continue;
            if (function->provider == Provider::Runtime) {
                // One runtime's heap functions are routed: the first the library
                // imports them from. Another's are left as they are, so that a
                // block is never freed by a runtime other than its own.
                if (g_runtime == nullptr)
                    g_runtime = GetModuleHandleA(dll);
                if (g_real[index] == nullptr)
                    g_real[index] = *entry;
                if (g_real[index] != *entry)
                    continue;
            } else if (g_real[index] == nullptr) {
                continue;
            }
            Patch(entry, function->wrapper);
            ++routed.entries;
        }
    }
}

// A module the library loaded: placed, and routed when it is the library's own.
void RouteLoaded(HMODULE module)
{
    const HMODULE plain = reinterpret_cast<HMODULE>(reinterpret_cast<std::uintptr_t>(module) & ~std::uintptr_t{3});
    if (plain != module)
        return;  // loaded as data or as an image resource: nothing of it runs
    if (IsWindowsModule(module)) {
        PlaceModule(module);
        return;
    }
    routing::Routed routed;
    RouteModule(module, routed);
}

bool IsSystemModule(HMODULE module)
{
    for (const HMODULE system : g_system) {
        if (system != nullptr && system == module)
            return true;
    }
    return false;
}

FARPROC WINAPI WrapGetProcAddress(HMODULE a, LPCSTR b)
{
    FARPROC found = Real<decltype(&GetProcAddress)>(fGetProcAddress)(a, b);
    if (found == nullptr || reinterpret_cast<std::uintptr_t>(b) <= 0xFFFF)
        return found;
    std::size_t index = 0;
    const RoutedFunction* function = FindRouted(b, &index);
    if (function == nullptr)
        return found;
    const bool ours = function->provider == Provider::System ? IsSystemModule(a) : (a == g_runtime && g_runtime != nullptr);
    if (!ours || (g_real[index] != nullptr && g_real[index] != reinterpret_cast<void*>(found) &&
                  function->provider == Provider::Runtime))
        return found;
    if (g_real[index] == nullptr)
        g_real[index] = reinterpret_cast<void*>(found);
    return reinterpret_cast<FARPROC>(function->wrapper);
}

// ---- Calls and threads

void BeginCall(std::uint8_t operation)
{
    Ledger* ledger = g_ledger.load(std::memory_order_acquire);
    if (ledger != nullptr)
        ledger->BeginCall(operation);
}
void EndCall()
{
    Ledger* ledger = g_ledger.load(std::memory_order_acquire);
    if (ledger != nullptr)
        ledger->EndCall();
}
const running::CallHooks kHooks = {&BeginCall, &EndCall};

using QueryThread = LONG(WINAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
QueryThread g_queryThread;
constexpr ULONG kThreadStartAddress = 9;  // ThreadQuerySetWin32StartAddress

// Every thread that starts and ends in the process. A thread is the library's
// when it starts while a library call runs or at an address in one of the
// ledger's modules; one it ends is given back (a thread the ledger does not hold
// changes nothing).
void NTAPI ThreadSeen(PVOID, DWORD reason, PVOID)
{
    Ledger* ledger = g_ledger.load(std::memory_order_acquire);
    if (ledger == nullptr)
        return;
    const DWORD error = GetLastError();
    std::uintptr_t start = 0;
    if (g_queryThread != nullptr)
        g_queryThread(GetCurrentThread(), kThreadStartAddress, &start, static_cast<ULONG>(sizeof start), nullptr);
    const taken::Site site = ledger->Place(start);
    const std::uint8_t operation = running::Operation();
    if (reason == DLL_THREAD_DETACH) {
        // A thread that ends while a call runs is in that call's note, at its start.
        ledger->GiveBack(Kind::Thread, GetCurrentThreadId(), site, operation != running::kNoCall);
    } else if (reason == DLL_THREAD_ATTACH) {
        if (operation != running::kNoCall || site.module != taken::Site::kNoModule)
            ledger->TakeUnlessHeld(Kind::Thread, GetCurrentThreadId(),
                                   operation != running::kNoCall ? operation : taken::kOutside, site, false);
    }
    SetLastError(error);
}

}  // namespace

Routed RouteLibrary(void* library)
{
    Routed routed;
    if (g_ledger.load(std::memory_order_acquire) == nullptr) {
        // The ledger and its tables in one reservation, made once: the wrappers
        // never allocate.
        const std::size_t head = (sizeof(Ledger) + 63) & ~std::size_t{63};
        const std::size_t bytes = head + Ledger::MemoryFor();
        void* memory = VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
        if (memory == nullptr)
            return routed;
        const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
        g_system[0] = kernel32;
        g_system[1] = GetModuleHandleW(L"kernelbase.dll");
        g_system[2] = LoadLibraryW(L"advapi32.dll");
        for (std::size_t i = 0; i < kFunctionCount; ++i) {
            if (kRouted[i].provider != Provider::System)
                continue;
            for (const HMODULE system : g_system) {
                if (g_real[i] == nullptr && system != nullptr)
                    g_real[i] = reinterpret_cast<void*>(GetProcAddress(system, kRouted[i].name));
            }
        }
        g_queryThread = reinterpret_cast<QueryThread>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread")));
        Ledger* ledger = new (memory) Ledger(static_cast<BYTE*>(memory) + head, bytes - head);
        g_ledger.store(ledger, std::memory_order_release);
        taken::SetActive(ledger, bytes);
        running::SetCallHooks(&kHooks);
    }
    routed.ready = true;
    RouteModule(static_cast<HMODULE>(library), routed);
    return routed;
}

taken::Ledger* ActiveLedger() { return g_ledger.load(std::memory_order_acquire); }

}  // namespace routing

// Zantor's TLS callback: Windows calls it as each thread of the process starts
// and ends. The linker's TLS directory lists every pointer in the .CRT$XL
// sections, in their names' order.
extern "C" __attribute__((section(".CRT$XLY"), used)) const PIMAGE_TLS_CALLBACK zantor_thread_seen =
    &routing::ThreadSeen;

// The bodies of Mervik.dll's five exports: the Windows side of the stand-in reader.
// It finds the script (MERVIK_INI, else Mervik.ini beside this DLL), reads and
// appends to files by wide path, converts script texts from UTF-8 to the ANSI code
// page, pumps messages, sleeps, changes directory, leaks, reaches the parameter
// one past each export's last, and forwards every call to the portable
// StandinReader. The exports themselves are ExportsX86.S / ExportsX64.S, which run
// these bodies and then change what clobber= asked for.
#include <windows.h>

#include <clocale>
#include <cstdint>
#include <string>

#include "Mervik.h"
#include "ModulePath.h"
#include "StandinReader.h"
#include "Win32Owners.h"

// The clobbers (STANDIN_CLOBBER_* bits) the running export's tail applies as it
// returns, set by its body's last act; the tail (ExportsX86.S, ExportsX64.S) reads
// and clears it.
std::uint32_t g_returnClobbers asm("standin_return_clobbers") = 0;

// Pushes four registers, as a compiled function's prologue does, and reads
// address 0: a routine without unwind data (no .seh_proc), so that on 64-bit the
// dispatcher must find the caller's frame past the pushed values.
extern "C" void standin_bare_access_violation() asm("standin_bare_access_violation");
#ifdef _WIN64
asm(".text\n.globl standin_bare_access_violation\nstandin_bare_access_violation:\n"
    "pushq %rbx\npushq %rbp\npushq %rsi\npushq %rdi\nmovl 0, %eax\n"
    "popq %rdi\npopq %rsi\npopq %rbp\npopq %rbx\nret\n");
#else
asm(".text\n.globl standin_bare_access_violation\nstandin_bare_access_violation:\n"
    "pushl %ebx\npushl %ebp\npushl %esi\npushl %edi\nmovl 0, %eax\n"
    "popl %edi\npopl %esi\npopl %ebp\npopl %ebx\nret\n");
#endif

namespace {

// Any object of this DLL: its address tells GetModuleHandleEx which module we are.
const char kModuleAnchor = 0;

// The parameter one past an export's last, where a caller that passes one more
// argument would have put it.
struct ExtraParameter {
    volatile std::uintptr_t* slot;  // 32-bit: its stack slot
    std::uintptr_t value;           // 64-bit: the register's value
};

struct RunningCall {
    ExtraParameter extra;
    std::uint32_t clobbers;  // what the export changes as it returns
};

// The running call. The stand-in serves one thread, like the reader's state; a
// call nested in another (dispatched while pumping messages) has its own for its
// duration.
RunningCall g_call{};

// The running call's scope in its export's body: on leaving, it hands the call's
// clobbers to the export's tail. Every body that returns sets them, so what a
// nested call left is never taken for its outer call's.
class CallScope {
public:
    explicit CallScope(ExtraParameter extra) : m_outer(g_call) { g_call = RunningCall{extra, 0}; }
    ~CallScope()
    {
        g_returnClobbers = g_call.clobbers;
        g_call = m_outer;
    }
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;

private:
    RunningCall m_outer;
};

std::wstring Wide(const std::string& text, UINT codePage)
{
    if (text.empty())
        return std::wstring();
    const int length = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

std::string Narrow(const std::wstring& wide, UINT codePage)
{
    if (wide.empty())
        return std::string();
    const int length = WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), text.data(), length, nullptr,
                        nullptr);
    return text;
}

// The full path of this DLL, wherever it was loaded from.
std::wstring ThisDllPath()
{
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&kModuleAnchor), &module))
        return std::wstring();
    const win32::ModulePath path(module);
    return path ? std::wstring(path.Get(), path.Length()) : std::wstring();
}

// take=thread: runs until the flag it is given is set; with none, until the process ends.
DWORD WINAPI RunUntilStopped(void* parameter)
{
    auto* stop = static_cast<volatile LONG*>(parameter);
    while (stop == nullptr || InterlockedCompareExchange(const_cast<LONG*>(stop), 0, 0) == 0)
        Sleep(20);
    return 0;
}

// take=thread_end: ends at once.
DWORD WINAPI EndAtOnce(void*) { return 0; }

class WindowsEnvironment final : public standin::Environment {
public:
    // MERVIK_INI when set, else Mervik.ini beside this DLL.
    std::optional<std::string> ScriptPath() const override
    {
        const DWORD size = GetEnvironmentVariableW(L"MERVIK_INI", nullptr, 0);
        if (size > 1) {
            std::wstring named(size, L'\0');
            named.resize(GetEnvironmentVariableW(L"MERVIK_INI", named.data(), size));
            return Narrow(named, CP_UTF8);
        }
        std::wstring path = ThisDllPath();
        const std::size_t slash = path.find_last_of(L"\\/");
        if (slash == std::wstring::npos)
            return std::nullopt;
        path.replace(slash + 1, std::wstring::npos, L"Mervik.ini");
        return Narrow(path, CP_UTF8);
    }

    std::string ToNarrow(const std::string& utf8) const override { return Narrow(Wide(utf8, CP_UTF8), CP_ACP); }

    std::string ToCodePage(const std::string& utf8, std::uint32_t codePage) const override
    {
        return Narrow(Wide(utf8, CP_UTF8), codePage);
    }

    bool HasCodePage(std::uint32_t codePage) const override { return IsValidCodePage(codePage) != 0; }

    std::optional<std::uint64_t> FileStamp(const std::string& path) const override
    {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!GetFileAttributesExW(Wide(path, CP_UTF8).c_str(), GetFileExInfoStandard, &data))
            return std::nullopt;
        const std::uint64_t written =
            (std::uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime;
        const std::uint64_t size = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
        return written ^ (size * 0x9E3779B97F4A7C15ull);
    }

    standin::FileRead ReadFile(const std::string& path, std::string& bytes) const override
    {
        const win32::FileHandle file(CreateFileW(Wide(path, CP_UTF8).c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            const DWORD error = GetLastError();
            return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? standin::FileRead::Missing
                                                                                   : standin::FileRead::Unreadable;
        }
        bytes.clear();
        char chunk[16384];
        for (;;) {
            DWORD got = 0;
            if (!::ReadFile(file.Get(), chunk, sizeof chunk, &got, nullptr))
                return standin::FileRead::Unreadable;
            if (got == 0)
                return standin::FileRead::Ok;
            bytes.append(chunk, got);
        }
    }

    void Raise(standin::Fault fault) const override
    {
        switch (fault) {
        case standin::Fault::AccessViolation: {
            volatile std::uintptr_t null = 0;  // not a constant: the read is made as written
            static_cast<void>(*reinterpret_cast<volatile const int*>(null));
            break;
        }
        case standin::Fault::DivideByZero: {
            volatile int dividend = 100;  // not 1: 1 / x is compiled without a division
            volatile int zero = 0;
            volatile int quotient = dividend / zero;
            static_cast<void>(quotient);
            break;
        }
        case standin::Fault::IllegalInstruction:
            asm volatile("ud2");
            break;
        case standin::Fault::BareAccessViolation:
            standin_bare_access_violation();
            break;
        case standin::Fault::CppException: {
            // What a Visual C++ throw raises: non-continuable, with its magic number.
            const ULONG_PTR parameters[3] = {0x19930520, 0, 0};
            RaiseException(0xE06D7363, EXCEPTION_NONCONTINUABLE, 3, parameters);
            break;
        }
        case standin::Fault::Code:
            break;  // RaiseCode
        }
    }

    void RaiseCode(std::uint32_t code) const override { RaiseException(code, 0, 0, nullptr); }

    void UseExtraParameter(standin::Extra extra) const override
    {
        const ExtraParameter parameter = g_call.extra;
        const std::uintptr_t value = parameter.slot ? *parameter.slot : parameter.value;
        if (extra == standin::Extra::Write)
            *reinterpret_cast<volatile std::int32_t*>(value) = 5;  // a zero faults at address 0
        else if (parameter.slot)
            *parameter.slot = 0x5A5A5A5A;
        // 64-bit scratch: the register was read; its home slot is the export's own.
    }

    // PeekMessage, TranslateMessage, DispatchMessage until the time is up, waiting
    // for input in between. A WM_QUIT is posted again for the program's own loop.
    void PumpMessages(std::int32_t milliseconds) const override
    {
        const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(milliseconds);
        for (;;) {
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                if (message.message == WM_QUIT) {
                    PostQuitMessage(static_cast<int>(message.wParam));
                    return;
                }
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
            const ULONGLONG now = GetTickCount64();
            if (now >= deadline)
                return;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
        }
    }

    bool AppendLine(const std::string& path, const std::string& line) const override
    {
        const win32::FileHandle file(CreateFileW(Wide(path, CP_UTF8).c_str(), FILE_APPEND_DATA,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file)
            return false;
        const std::string text = line + "\r\n";
        DWORD written = 0;
        return ::WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
               written == text.size();
    }

    bool ChangeDirectory(const std::string& path) const override
    {
        return SetCurrentDirectoryW(Wide(path, CP_UTF8).c_str()) != 0;
    }

    void Delay(std::int32_t milliseconds) const override { Sleep(static_cast<DWORD>(milliseconds)); }

    // Leaking is the point here: nothing owns these.
    void LeakMemory(std::int32_t bytes) const override
    {
        const std::size_t size = static_cast<std::size_t>(bytes);
        volatile char* block = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, size));
        if (!block)
            return;
        for (std::size_t offset = 0; offset < size; offset += 4096)  // every page committed
            block[offset] = 1;
        block[size - 1] = 1;
    }

    void LeakHandles(std::int32_t count) const override
    {
        for (std::int32_t i = 0; i < count; ++i) {
            if (!CreateEventW(nullptr, TRUE, FALSE, nullptr))
                return;
        }
    }

    // One of each thing asked for, through the stand-in's own imports, as a
    // library's code would take it; given back before returning when asked.
    void TakeFromWindows(std::uint32_t what) const override
    {
        namespace bits = standin::take_bits;
        const bool giveBack = (what & bits::kGiveBack) != 0;
        HANDLE handles[6] = {};
        std::size_t count = 0;
        if (what & bits::kEvent)
            handles[count++] = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (what & bits::kMutex)
            handles[count++] = CreateMutexW(nullptr, FALSE, nullptr);
        if (what & bits::kSemaphore)
            handles[count++] = CreateSemaphoreW(nullptr, 0, 1, nullptr);
        if (what & bits::kMapping)
            handles[count++] = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, nullptr);
        if (what & bits::kFile) {
            wchar_t path[MAX_PATH + 32] = {};
            const DWORD length = GetTempPathW(MAX_PATH, path);
            if (length > 0 && length < MAX_PATH) {
                lstrcatW(path, L"mervik-standin.tmp");
                handles[count++] = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                               nullptr, OPEN_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
            }
        }
        HKEY key = nullptr;
        if (what & bits::kRegistry) {
            // Through GetProcAddress, so that the stand-in imports no more DLLs than it did.
            using OpenKey = LONG(WINAPI*)(HKEY, LPCWSTR, DWORD, REGSAM, PHKEY);
            using CloseKey = LONG(WINAPI*)(HKEY);
            const HMODULE advapi = GetModuleHandleW(L"advapi32.dll");
            const auto open = reinterpret_cast<OpenKey>(
                reinterpret_cast<void*>(advapi ? GetProcAddress(advapi, "RegOpenKeyExW") : nullptr));
            const auto close = reinterpret_cast<CloseKey>(
                reinterpret_cast<void*>(advapi ? GetProcAddress(advapi, "RegCloseKey") : nullptr));
            if (open && open(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, &key) == ERROR_SUCCESS && giveBack && close)
                close(key);
        }
        // A thread that keeps running: until its flag is set when given back, else for good.
        volatile LONG stop = 0;
        HANDLE running = nullptr;
        if (what & bits::kThread)
            running = CreateThread(nullptr, 0, &RunUntilStopped, giveBack ? const_cast<LONG*>(&stop) : nullptr, 0,
                                   nullptr);
        HANDLE ending = nullptr;
        if (what & bits::kThreadEnds)
            ending = CreateThread(nullptr, 0, &EndAtOnce, nullptr, 0, nullptr);
        void* heap = (what & bits::kHeap) ? HeapAlloc(GetProcessHeap(), 0, 100) : nullptr;
        HLOCAL local = (what & bits::kLocal) ? LocalAlloc(LMEM_FIXED, 200) : nullptr;
        HGLOBAL global = (what & bits::kGlobal) ? GlobalAlloc(GMEM_FIXED, 300) : nullptr;
        void* region = (what & bits::kVirtual) ? VirtualAlloc(nullptr, 65536, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE)
                                               : nullptr;
        volatile char* block = (what & bits::kMalloc) ? static_cast<char*>(std::malloc(400)) : nullptr;
        if (block)
            block[0] = 1;  // used, so that the compiler keeps the allocation
        const HMODULE module = (what & bits::kModule) ? LoadLibraryW(L"version.dll") : nullptr;

        // A thread's handle is closed either way: what stays is the thread.
        if (running) {
            if (giveBack) {
                InterlockedExchange(const_cast<LONG*>(&stop), 1);
                WaitForSingleObject(running, INFINITE);
            }
            CloseHandle(running);
        }
        if (ending) {
            if (giveBack)
                WaitForSingleObject(ending, INFINITE);
            CloseHandle(ending);
        }
        if (!giveBack)
            return;
        for (std::size_t i = 0; i < count; ++i) {
            if (handles[i] && handles[i] != INVALID_HANDLE_VALUE)
                CloseHandle(handles[i]);
        }
        if (heap)
            HeapFree(GetProcessHeap(), 0, heap);
        if (local)
            LocalFree(local);
        if (global)
            GlobalFree(global);
        if (region)
            VirtualFree(region, 0, MEM_RELEASE);
        std::free(const_cast<char*>(block));
        if (module)
            FreeLibrary(module);
    }

    // msvcrt.dll's setlocale: the program's own runtime too, so that its printf
    // family writes decimal commas from here on under a comma-decimal locale.
    void SetLocale(const std::string& name) const override { std::setlocale(LC_ALL, name.c_str()); }

    void ClobberOnReturn(std::uint32_t clobbers) const override { g_call.clobbers = clobbers; }

    void EndProcess(std::int32_t code) const override { ExitProcess(static_cast<UINT>(code)); }
};

standin::StandinReader& TheReader()
{
    static const WindowsEnvironment environment;
    static standin::StandinReader reader(environment);
    return reader;
}

}  // namespace

// EXPORT(name, parameters...) begins the definition of an export's body, named
// standin_body_<name> by an asm label for the export's entry in ExportsX86.S /
// ExportsX64.S; in it EXTRA_PARAMETER(count), `count` the export's parameters, is
// its extra parameter.
#ifdef _WIN64
// 64-bit: every caller provides home slots for four register parameters (the
// entry provides the body's), so a body may be defined with one parameter more
// than Mervik.h declares. That parameter is the register the caller left there
// (zero through the console's guarded call); the entry passes it on untouched.
#define EXPORT(name, ...)                                                                       \
    std::int32_t Body##name(__VA_ARGS__, std::uintptr_t extra) asm("standin_body_" #name); \
    std::int32_t Body##name(__VA_ARGS__, std::uintptr_t extra)
#define EXTRA_PARAMETER(count) (ExtraParameter{nullptr, extra})
#else
// 32-bit: the stack word above the export's `count` arguments; the entry hands
// the body the caller's stack as it is. Asking for the frame address gives the
// body a standard frame: EBP points at the saved EBP, then come the return
// address and the arguments. A macro, so that the frame is the body's own; the
// compiler knows nothing of what lies at that address.
#define EXPORT(name, ...)                                                                 \
    std::int32_t MERVIK_CALL Body##name(__VA_ARGS__) asm("standin_body_" #name); \
    std::int32_t MERVIK_CALL Body##name(__VA_ARGS__)
#define EXTRA_PARAMETER(count) \
    (ExtraParameter{static_cast<volatile std::uintptr_t*>(__builtin_frame_address(0)) + 2 + (count), 0})
#endif

extern "C" {

EXPORT(OpenDevice, std::int32_t port, char* errorText)
{
    const CallScope call(EXTRA_PARAMETER(2));
    return TheReader().OpenDevice(port, errorText);
}

EXPORT(CloseDevice, char* errorText)
{
    const CallScope call(EXTRA_PARAMETER(1));
    return TheReader().CloseDevice(errorText);
}

EXPORT(getDeviceStatus, char* statusText)
{
    const CallScope call(EXTRA_PARAMETER(1));
    return TheReader().getDeviceStatus(statusText);
}

EXPORT(readCard, char* statusText)
{
    const CallScope call(EXTRA_PARAMETER(1));
    return TheReader().readCard(statusText);
}

EXPORT(GetCardInfo, std::int32_t index, char* value, char* errorText)
{
    const CallScope call(EXTRA_PARAMETER(3));
    return TheReader().GetCardInfo(index, value, errorText);
}

}  // extern "C"

// Mervik.dll's five exports: the Windows side of the stand-in reader. It finds the
// script (MERVIK_INI, else Mervik.ini beside this DLL), reads files by wide path,
// converts script texts from UTF-8 to the ANSI code page, and forwards every call
// to the portable StandinReader.
#include <windows.h>

#include <string>

#include "Mervik.h"
#include "StandinReader.h"

namespace {

// Any object of this DLL: its address tells GetModuleHandleEx which module we are.
const char kModuleAnchor = 0;

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
std::wstring ModulePath()
{
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&kModuleAnchor), &module))
        return std::wstring();
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return std::wstring();
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

// Closes a file handle when it goes out of scope.
struct FileHandle {
    explicit FileHandle(HANDLE h) : handle(h) {}
    ~FileHandle()
    {
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    const HANDLE handle;
};

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
        std::wstring path = ModulePath();
        const std::size_t slash = path.find_last_of(L"\\/");
        if (slash == std::wstring::npos)
            return std::nullopt;
        path.replace(slash + 1, std::wstring::npos, L"Mervik.ini");
        return Narrow(path, CP_UTF8);
    }

    std::string ToNarrow(const std::string& utf8) const override { return Narrow(Wide(utf8, CP_UTF8), CP_ACP); }

    standin::FileRead ReadFile(const std::string& path, std::string& bytes) const override
    {
        const FileHandle file(CreateFileW(Wide(path, CP_UTF8).c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.handle == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? standin::FileRead::Missing
                                                                                   : standin::FileRead::Unreadable;
        }
        bytes.clear();
        char chunk[16384];
        for (;;) {
            DWORD got = 0;
            if (!::ReadFile(file.handle, chunk, sizeof chunk, &got, nullptr))
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
        case standin::Fault::CppException: {
            // What a Visual C++ throw raises: non-continuable, with its magic number.
            const ULONG_PTR parameters[3] = {0x19930520, 0, 0};
            RaiseException(0xE06D7363, EXCEPTION_NONCONTINUABLE, 3, parameters);
            break;
        }
        }
    }
};

standin::StandinReader& TheReader()
{
    static const WindowsEnvironment environment;
    static standin::StandinReader reader(environment);
    return reader;
}

}  // namespace

extern "C" {

std::int32_t MERVIK_CALL OpenDevice(std::int32_t port, char* errorText)
{
    return TheReader().OpenDevice(port, errorText);
}

std::int32_t MERVIK_CALL CloseDevice(char* errorText)
{
    return TheReader().CloseDevice(errorText);
}

std::int32_t MERVIK_CALL getDeviceStatus(char* statusText)
{
    return TheReader().getDeviceStatus(statusText);
}

std::int32_t MERVIK_CALL readCard(char* statusText)
{
    return TheReader().readCard(statusText);
}

std::int32_t MERVIK_CALL GetCardInfo(std::int32_t index, char* value, char* errorText)
{
    return TheReader().GetCardInfo(index, value, errorText);
}

}  // extern "C"

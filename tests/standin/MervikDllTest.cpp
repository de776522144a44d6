// The built Mervik.dll through its exports, as the console loads it: undecorated
// __stdcall names, the script beside the DLL or named by MERVIK_INI, and script
// texts converted from UTF-8 to the ANSI code page, the keys that act on the
// platform (extra, pump, log) through the console's guarded call, and the state
// that clobber= changes, called directly, in both the stdcall and the cdecl build.
// Windows only.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>

#include "GuardedCall.h"
#include "Mervik.h"
#include "TestBuffer.h"

namespace {

using TextOperation = std::int32_t(__stdcall*)(char*);
using FieldOperation = std::int32_t(__stdcall*)(std::int32_t, char*, char*);

// An export as a typed function pointer (through a generic one, which
// -Wcast-function-type accepts); null when there is no such export.
template <typename Function>
Function Export(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

TEST(MervikDll, ExportsFindsItsScriptAndConvertsItsTexts)
{
    // A copy of the built DLL in a folder of its own, where a Mervik.ini can lie beside it.
    wchar_t path[MAX_PATH];
    std::wstring built(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    built.replace(built.find_last_of(L"\\/") + 1, std::wstring::npos, L"Mervik.dll");
    GetTempPathW(MAX_PATH, path);
    const std::wstring folder = path + std::wstring(L"mervik-dll-") + std::to_wstring(GetCurrentProcessId()) + L"\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(built.c_str(), (folder + L"Mervik.dll").c_str(), FALSE));
    const HMODULE module = LoadLibraryW((folder + L"Mervik.dll").c_str());
    ASSERT_NE(module, nullptr);
    const auto read = Export<TextOperation>(module, "readCard");
    const auto field = Export<FieldOperation>(module, "GetCardInfo");
    ASSERT_TRUE(read && field && Export<TextOperation>(module, "OpenDevice") &&
                Export<TextOperation>(module, "CloseDevice") && Export<TextOperation>(module, "getDeviceStatus"));
    EXPECT_EQ(Export<TextOperation>(module, "_OpenDevice@8"), nullptr);

    TestBuffer text(mervik::kTextBufferSize);
    TestBuffer name(mervik::kTextBufferSize);
    EXPECT_EQ(read(text.data()), 3) << "closed, no script";
    std::ofstream((folder + L"Mervik.ini").c_str(), std::ios::binary) << u8"[readCard]\nresult=0\ntext=读卡器忙\n";
    EXPECT_EQ(read(text.data()), 0) << "Mervik.ini beside the DLL";
    if (GetACP() == 936) {
        EXPECT_EQ(text.Written(), std::string("读卡器忙")) << "converted to the ANSI code page";
    }
    EXPECT_EQ(field(0, name.data(), text.data()), 0);
    EXPECT_EQ(name.Written(), std::string("林秋雨"));

    std::ofstream((folder + L"Mervik.ini").c_str(), std::ios::binary) << "[readCard]\nextra=write\n";
    const CallOutcome written = GuardedCall(reinterpret_cast<const void*>(read), text.data());
    EXPECT_TRUE(written.raised && written.writeAccess && written.accessAddress == 0) << "through the zero it was given";
    std::ofstream((folder + L"Mervik.ini").c_str(), std::ios::binary)
        << "[readCard]\nextra=scratch\nlog=calls.log\npump=1\n";
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // the thread's message queue
    PostThreadMessageW(GetCurrentThreadId(), WM_APP, 0, 0);
    EXPECT_EQ(GuardedCall(reinterpret_cast<const void*>(read), text.data()).result, 0);
    EXPECT_FALSE(PeekMessageW(&message, nullptr, WM_APP, WM_APP, PM_REMOVE)) << "pump=1 took the posted message";
    std::ifstream log((folder + L"calls.log").c_str(), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(log), {}), "begin readCard\r\nend readCard\r\n");
    log.close();

    // A recording in a code page the system has, and in one it has not (the
    // system's own answer, IsValidCodePage).
    for (const auto& [codePage, code] : {std::pair{"1252", 0}, std::pair{"47", 99}}) {
        std::ofstream((folder + L"Mervik.ini").c_str(), std::ios::binary)
            << "[Recording]\nimmediate=yes\ncodepage=" << codePage
            << "\n[Answer.1]\noperation=readCard\nresult=0\ntext=ok\n[Calls]\ncalls=1\n";
        EXPECT_EQ(read(text.data()), code) << "code page " << codePage;
    }
    EXPECT_NE(text.Written()->find("47"), std::string::npos) << *text.Written();

    std::ofstream((folder + L"named.ini").c_str(), std::ios::binary) << "[readCard]\nresult=11\n";
    SetEnvironmentVariableW(L"MERVIK_INI", (folder + L"named.ini").c_str());
    EXPECT_EQ(read(text.data()), 11) << "MERVIK_INI wins";
    SetEnvironmentVariableW(L"MERVIK_INI", (folder + L"missing.ini").c_str());
    EXPECT_EQ(read(text.data()), 0) << "a named script that is missing: no overrides, not the one beside";
    EXPECT_EQ(text.Written(), std::string("读卡成功"));
    SetEnvironmentVariableW(L"MERVIK_INI", (folder + L"named.ini").c_str());
    const HANDLE held = CreateFileW((folder + L"named.ini").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(read(text.data()), 99) << "a script held open without sharing";
    CloseHandle(held);

    SetEnvironmentVariableW(L"MERVIK_INI", nullptr);
    FreeLibrary(module);
    for (const wchar_t* file : {L"Mervik.dll", L"Mervik.ini", L"named.ini", L"calls.log"})
        DeleteFileW((folder + file).c_str());
    RemoveDirectoryW(folder.c_str());
}

// MXCSR without the SSE intrinsics, which the 32-bit build lacks.
std::uint32_t ReadMxcsr()
{
    std::uint32_t value = 0;
    asm volatile("stmxcsr %0" : "=m"(value));
    return value;
}

// The state clobber= may change, as a call returned with it.
struct Returned {
    std::int32_t result;
    bool directionFlag;
    std::uint16_t x87Control;
    std::uint32_t mxcsr;
};

// Calls `operation` and reads the state as it returned, then puts it back as it
// was, so that the test's own code runs under the usual rules.
template <typename Operation>
__attribute__((noinline)) Returned CallAndRestore(Operation operation, char* text)
{
    std::uint16_t control = 0;
    asm volatile("fnstcw %0" : "=m"(control));
    const std::uint32_t mxcsr = ReadMxcsr();
    Returned after{};
    after.result = operation(text);
#ifdef _WIN64
    after.directionFlag = (__builtin_ia32_readeflags_u64() & 0x400) != 0;
#else
    after.directionFlag = (__builtin_ia32_readeflags_u32() & 0x400) != 0;
#endif
    asm volatile("cld\n\tfnstcw %0" : "=m"(after.x87Control));
    asm volatile("fnclex\n\tfldcw %0" : : "m"(control));
    after.mxcsr = ReadMxcsr();
    asm volatile("ldmxcsr %0" : : "m"(mxcsr));
    return after;
}

template <typename Operation>
void ClobbersOnlyWhenAsked(const std::wstring& dll, const std::wstring& script)
{
    SCOPED_TRACE(std::string(dll.begin(), dll.end()));
    const HMODULE module = LoadLibraryW(dll.c_str());
    const auto read = Export<Operation>(module, "readCard");
    ASSERT_NE(read, nullptr);
    std::uint16_t control = 0;
    asm volatile("fnstcw %0" : "=m"(control));
    const std::uint32_t mxcsr = ReadMxcsr();
    const auto write = [&](const char* text) { std::ofstream(script.c_str(), std::ios::binary) << text; };
    TestBuffer text(mervik::kTextBufferSize);

    write("[readCard]\nclobber=df, x87cw mxcsr\n");
    Returned after = CallAndRestore(read, text.data());
    EXPECT_EQ(after.result, 3) << "closed";
    EXPECT_TRUE(after.directionFlag);
    EXPECT_EQ(after.x87Control, 0x0260);
    EXPECT_EQ(after.mxcsr, 0u);

    // Calls that raised leave the 32-bit entry's return record behind; later calls
    // must see through them, however many.
    write("[readCard]\nfault=access-violation\nclobber=df\n");
    for (int i = 0; i < 100; ++i)
        ASSERT_TRUE(GuardedCall(reinterpret_cast<const void*>(read), text.data()).raised);
    write("[readCard]\nclobber=df\n");
    EXPECT_TRUE(CallAndRestore(read, text.data()).directionFlag) << "after 100 raised calls";

    write("[readCard]\nresult=8\n");
    after = CallAndRestore(read, text.data());
    EXPECT_EQ(after.result, 8);
    EXPECT_FALSE(after.directionFlag);
    EXPECT_EQ(after.x87Control, control);
    EXPECT_EQ(after.mxcsr, mxcsr);
    FreeLibrary(module);
}

TEST(MervikDll, ChangesTheCallersStateOnlyWhenAsked)
{
    wchar_t path[MAX_PATH];
    std::wstring bin(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    bin.erase(bin.find_last_of(L"\\/") + 1);
    GetTempPathW(MAX_PATH, path);
    const std::wstring folder = path + std::wstring(L"mervik-state-") + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring script = folder + L"\\Mervik.ini";
    SetEnvironmentVariableW(L"MERVIK_INI", script.c_str());

    ClobbersOnlyWhenAsked<std::int32_t(__stdcall*)(char*)>(bin + L"Mervik.dll", script);
    ClobbersOnlyWhenAsked<std::int32_t(__cdecl*)(char*)>(bin + L"cdecl\\Mervik.dll", script);

    SetEnvironmentVariableW(L"MERVIK_INI", nullptr);
    DeleteFileW(script.c_str());
    RemoveDirectoryW(folder.c_str());
}

}  // namespace

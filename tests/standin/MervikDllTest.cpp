// The built Mervik.dll through its exports, as the console loads it: undecorated
// __stdcall names, the script beside the DLL or named by MERVIK_INI, and script
// texts converted from UTF-8 to the ANSI code page, and the keys that act on the
// platform (extra, pump, log) through the console's guarded call. Windows only.
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

}  // namespace

// The identity of files on disk under Wine: size, version resource, SHA-256.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "LibraryIdentity.h"

namespace {

std::wstring BesideThisProgram(const wchar_t* name)
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L'\\') + 1) + name;
}

std::string Hex(const LibraryIdentity& identity)
{
    NarrowText<65> text;
    AppendSha256(text, identity);
    return text.c_str();
}

TEST(LibraryIdentityTest, AFileOfKnownBytesHasItsSizeAndSha256AndNoVersion)
{
    const std::wstring path = BesideThisProgram(L"identity-abc.bin");
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, "abc", 3, &written, nullptr);
    CloseHandle(file);

    static LibraryIdentity identity;
    IdentifyFile(path.c_str(), true, identity);
    EXPECT_STREQ(identity.path, path.c_str());
    EXPECT_TRUE(identity.sized);
    EXPECT_EQ(identity.size, 3u);
    EXPECT_FALSE(identity.versioned);
    EXPECT_EQ(Hex(identity), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");

    IdentifyFile(path.c_str(), false, identity);
    EXPECT_FALSE(identity.hashed) << "hashed only when asked";
    DeleteFileW(path.c_str());
}

TEST(LibraryIdentityTest, TheProgramsVersionResourceIsRead)
{
    static LibraryIdentity identity;
    IdentifyFile(BesideThisProgram(ZANTOR_PROGRAM_FILE).c_str(), false, identity);
    ASSERT_TRUE(identity.versioned);
    WideText<32> version;
    AppendVersion(version, identity);
    EXPECT_STREQ(version.c_str(), L"1.0.0.1");
}

}  // namespace

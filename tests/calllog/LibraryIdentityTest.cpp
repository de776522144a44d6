// The identity of files on disk under Wine: size, version resource, SHA-256.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "BoundedText.h"
#include "LibraryIdentity.h"

namespace {

TEST(LibraryIdentityTest, KnownBytesGiveTheirSizeAndSha256AndTheProgramItsVersion)
{
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring folder = std::wstring(self).substr(0, std::wstring(self).find_last_of(L'\\') + 1);
    const std::wstring path = folder + L"identity-abc.bin";
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, "abc", 3, &written, nullptr);
    CloseHandle(file);

    static LibraryIdentity identity;
    IdentifyFile(path.c_str(), true, identity);
    NarrowText<65> sha;
    AppendSha256(sha, identity);
    EXPECT_STREQ(identity.path, path.c_str());
    EXPECT_EQ(identity.size, 3u);
    EXPECT_FALSE(identity.versioned);
    EXPECT_STREQ(sha.c_str(), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");

    IdentifyFile((folder + ZANTOR_PROGRAM_FILE).c_str(), false, identity);
    WideText<32> version;
    AppendVersion(version, identity);
    EXPECT_STREQ(version.c_str(), L"1.0.0.1");
    EXPECT_FALSE(identity.hashed) << "hashed only when asked";
}

}  // namespace

#include "PhotoFile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "TempDirectory.h"

namespace {

struct RecordingOwner : MessageOwner {
    std::vector<std::wstring> messages;
    void ShowMessage(const std::wstring& text) override { messages.push_back(text); }
};

// The process heap, or none at all, counting blocks not yet given back.
struct TestHeap {
    static inline bool empty = false;
    static inline int outstanding = 0;
    static void* Allocate(std::size_t size) { return empty ? nullptr : (++outstanding, std::malloc(size)); }
    static void Release(void* block) { --outstanding, std::free(block); }
};
constexpr Allocator kTestHeap{&TestHeap::Allocate, &TestHeap::Release};

enum class Before { Nothing, OldFile, DirectoryNamedZpJpg, LinkToDevFull, NoMemory };

struct SaveCase {
    const char* why;
    Before before;
    const char* text;
    const wchar_t* message;  // nullptr: none
    const char* file;     // expected zp.jpg; nullptr: not a readable file
};
std::ostream& operator<<(std::ostream& os, const SaveCase& c) { return os << c.why; }

class SavePhotoCase : public InTempDirectory, public ::testing::WithParamInterface<SaveCase> {};

TEST_P(SavePhotoCase, WritesTheFileOrReportsOnceAndReleasesEverything)
{
    const SaveCase& c = GetParam();
    if (c.before == Before::OldFile || c.before == Before::NoMemory) WriteFile("zp.jpg", "old photo");
    if (c.before == Before::DirectoryNamedZpJpg) {
        // Root may write read-only files; nobody may open a directory for writing.
        std::filesystem::create_directory("zp.jpg");
        WriteFile("zp.jpg/kept", "old photo");
    }
    if (c.before == Before::LinkToDevFull) std::filesystem::create_symlink("/dev/full", "zp.jpg");
    TestHeap::empty = c.before == Before::NoMemory;
    TestHeap::outstanding = 0;
    RecordingOwner owner;

    SavePhoto(c.text, std::strlen(c.text), owner, kTestHeap);

    EXPECT_EQ(owner.messages, c.message ? std::vector<std::wstring>{c.message} : std::vector<std::wstring>{});
    if (c.file) {
        EXPECT_EQ(ReadFile("zp.jpg"), c.file);
    }
    if (c.before == Before::DirectoryNamedZpJpg) {
        EXPECT_EQ(ReadFile("zp.jpg/kept"), "old photo");
    }
    EXPECT_EQ(TestHeap::outstanding, 0) << "decode buffer released on every path";
}

INSTANTIATE_TEST_SUITE_P(
    Table, SavePhotoCase,
    ::testing::Values(
        SaveCase{"empty text: empty file", Before::Nothing, "", nullptr, ""},
        SaveCase{"12 characters, one =: 8 bytes", Before::Nothing, "SGVsbG8gV28=", nullptr, "Hello Wo"},
        SaveCase{"old file truncated", Before::OldFile, "TWFu", nullptr, "Man"},
        SaveCase{"refused text empties the file silently", Before::OldFile, "A===", nullptr, ""},
        SaveCase{"cannot open: old file kept", Before::DirectoryNamedZpJpg, "TWFu", L"无法打开文件", nullptr},
        SaveCase{"no memory: no file touched", Before::NoMemory, "TWFu", L"无法分配足够的内存空间", "old photo"}));

#ifndef _WIN32
// Every write to /dev/full fails with ENOSPC.
INSTANTIATE_TEST_SUITE_P(
    FullDevice, SavePhotoCase,
    ::testing::Values(SaveCase{"failing write reported", Before::LinkToDevFull, "TWFu", L"写入文件失败", nullptr}));
#endif

} // namespace

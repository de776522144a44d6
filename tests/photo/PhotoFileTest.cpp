#include "PhotoFile.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "TempDirectory.h"

namespace {

// The process heap, or none at all, counting blocks not yet given back.
struct TestHeap {
    static inline bool empty = false;
    static inline int outstanding = 0;
    static void* Allocate(std::size_t size) { return empty ? nullptr : (++outstanding, std::malloc(size)); }
    static void Release(void* block) { --outstanding, std::free(block); }
};
constexpr Allocator kTestHeap{&TestHeap::Allocate, &TestHeap::Release, 0};

enum class Before { Nothing, OldFile, DirectoryNamedZpJpg, LinkToDevFull, NoMemory, CloseFails };

#ifndef _WIN32
// The test program is linked with close() wrapped, so that a close can be made
// to fail after the data was written, as one that loses buffered data does.
bool g_closeFails = false;
#endif

struct SaveCase {
    const char* why;
    Before before;
    const char* text;
    PhotoResult result;
    const char* file;     // expected zp.jpg; nullptr: not a readable file
};
std::ostream& operator<<(std::ostream& os, const SaveCase& c) { return os << c.why; }

class SavePhotoCase : public InTempDirectory, public ::testing::WithParamInterface<SaveCase> {};

TEST_P(SavePhotoCase, WritesTheFileOrSaysWhyNotAndReleasesEverything)
{
    const SaveCase& c = GetParam();
    if (c.before == Before::OldFile || c.before == Before::NoMemory) WriteFile("zp.jpg", "old photo");
    if (c.before == Before::DirectoryNamedZpJpg) {
        // Root may write read-only files; nobody may open a directory for writing.
        std::filesystem::create_directory("zp.jpg");
        WriteFile("zp.jpg/kept", "old photo");
    }
    if (c.before == Before::LinkToDevFull) std::filesystem::create_symlink("/dev/full", "zp.jpg");
#ifndef _WIN32
    g_closeFails = c.before == Before::CloseFails;
#endif
    TestHeap::empty = c.before == Before::NoMemory;
    TestHeap::outstanding = 0;
    EXPECT_EQ(SavePhoto(c.text, std::strlen(c.text), kTestHeap), c.result);
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
        SaveCase{"empty text: empty file", Before::Nothing, "", PhotoResult::kSaved, ""},
        SaveCase{"12 characters, one =: 8 bytes", Before::Nothing, "SGVsbG8gV28=", PhotoResult::kSaved, "Hello Wo"},
        SaveCase{"old file truncated", Before::OldFile, "TWFu", PhotoResult::kSaved, "Man"},
        SaveCase{"refused text empties the file silently", Before::OldFile, "A===", PhotoResult::kSaved, ""},
        SaveCase{"cannot open: old file kept", Before::DirectoryNamedZpJpg, "TWFu", PhotoResult::kCannotOpen, nullptr},
        SaveCase{"no memory: no file touched", Before::NoMemory, "TWFu", PhotoResult::kNoMemory, "old photo"}));

#ifndef _WIN32
// Every write to /dev/full fails with ENOSPC.
INSTANTIATE_TEST_SUITE_P(
    FullDevice, SavePhotoCase,
    ::testing::Values(SaveCase{"failing write reported", Before::LinkToDevFull, "TWFu", PhotoResult::kWriteFailed, nullptr},
                      SaveCase{"failing close reported as a failed write", Before::CloseFails, "TWFu",
                               PhotoResult::kWriteFailed, "Man"}));
#endif

} // namespace

#ifndef _WIN32
extern "C" int __real_close(int fd);
extern "C" int __wrap_close(int fd)
{
    const int result = __real_close(fd);
    if (!g_closeFails)
        return result;
    g_closeFails = false;
    errno = EIO;
    return -1;
}
#endif

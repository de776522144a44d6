// Guard-paged blocks: each ends exactly at a page boundary, the whole block is
// usable, the page after it is not, and blocks are handed out again rather than
// mapped anew. (Under Wine the fault itself is checked through the guarded call.)
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <cstdint>
#include <cstring>

#include "GuardedPages.h"

namespace {

TEST(GuardedPages, EachSizeEndsAtTheGuardPage)
{
    const Allocator& pages = GuardedPages();
    // The text buffers, the photo buffer, and sizes around a page.
    for (std::size_t size : {1u, 1024u, 4095u, 4096u, 4097u, 102400u}) {
        char* block = static_cast<char*>(pages.allocate(size));
        ASSERT_NE(block, nullptr) << size;
        const auto end = reinterpret_cast<std::uintptr_t>(block) + size;
        EXPECT_EQ(end % 4096, 0u) << size << ": not at a page boundary";
        std::memset(block, 0x5A, size);  // every byte is the caller's
#ifdef _WIN32
        // The byte past the block is in a page nobody may touch (natively the
        // death test below writes there).
        MEMORY_BASIC_INFORMATION past{};
        ASSERT_NE(VirtualQuery(reinterpret_cast<const void*>(end), &past, sizeof past), 0u);
        EXPECT_EQ(past.Protect, static_cast<DWORD>(PAGE_NOACCESS)) << size << ": the byte past the block";
#endif
        pages.release(block);
#ifdef _WIN32
        // A late write by a library thread into a released block must fault.
        MEMORY_BASIC_INFORMATION released{};
        ASSERT_NE(VirtualQuery(block, &released, sizeof released), 0u);
        EXPECT_EQ(released.Protect, static_cast<DWORD>(PAGE_NOACCESS)) << size << ": released";
#endif
    }
    EXPECT_EQ(pages.allocate(SIZE_MAX), nullptr) << "cannot be mapped";
}

TEST(GuardedPages, BlocksAreHandedOutAgainAndApart)
{
    const Allocator& pages = GuardedPages();
    void* text = pages.allocate(1024);
    void* error = pages.allocate(1024);
    void* photo = pages.allocate(102400);
    ASSERT_TRUE(text && error && photo);
    EXPECT_NE(text, error);
    pages.release(photo);
    pages.release(error);
    pages.release(text);
#ifdef _WIN32
    // Locked together once the last of them is back.
    for (void* block : {text, error, photo}) {
        MEMORY_BASIC_INFORMATION released{};
        ASSERT_NE(VirtualQuery(block, &released, sizeof released), 0u);
        EXPECT_EQ(released.Protect, static_cast<DWORD>(PAGE_NOACCESS)) << "released with the others";
    }
#endif
    void* again = pages.allocate(1024);
    EXPECT_TRUE(again == text || again == error) << "a cached block, not a new mapping";
    EXPECT_EQ(pages.allocate(102400), photo);
    pages.release(photo);
    pages.release(again);
    pages.release(nullptr);
    EXPECT_EQ(pages.OwnUse().guardBytes, 0u) << "the decoded photo needs no guarded pages";
}

TEST(GuardedPages, SizesBeyondOneReservationAreStillHandedOut)
{
    // 1 to 120 pages in turn, 29 MB in all: the reservation is started afresh
    // whenever no block is out and none fits.
    const Allocator& pages = GuardedPages();
    for (std::size_t count = 1; count <= 120; ++count) {
        char* block = static_cast<char*>(pages.allocate(count * 4096));
        ASSERT_NE(block, nullptr) << count << " pages";
        block[0] = block[count * 4096 - 1] = 1;
        pages.release(block);
    }
}

#ifndef _WIN32
TEST(GuardedPagesDeathTest, OneBytePastTheBlockFaults)
{
    for (std::size_t size : {1u, 1024u, 102400u}) {
        char* block = static_cast<char*>(GuardedPages().allocate(size));
        ASSERT_NE(block, nullptr);
        block[size - 1] = 1;
        EXPECT_DEATH(static_cast<volatile char*>(block)[size] = 1, "") << size;
        GuardedPages().release(block);
        EXPECT_DEATH(static_cast<volatile char*>(block)[0] = 1, "") << size << ": written after its release";
    }
}
#endif

}  // namespace

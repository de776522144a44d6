// The burn-in's sample of its own process (Windows): committed memory counts what
// the process commits, less what Zantor's own growing storage holds, so that the
// leak check never takes Zantor's growth for the library's.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>

#include "Growing.h"
#include "Resources.h"

namespace {

std::int64_t Committed()
{
    return static_cast<std::int64_t>(SampleProcessResources(0).value[static_cast<int>(Resource::CommittedMemory)]);
}

TEST(ResourceSample, LeavesOutZantorsOwnGrowingStorage)
{
    constexpr std::int64_t kMegabytes16 = 16 << 20;
    const std::int64_t before = Committed();
    GrowingArray<char> own;
    ASSERT_TRUE(own.GrowTo(static_cast<std::size_t>(kMegabytes16), 'z'));  // every byte touched
    EXPECT_LT(Committed() - before, 1 << 20) << "Zantor's own 16 MB left out";

    // What anything else commits is counted in full.
    void* other = VirtualAlloc(nullptr, kMegabytes16, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    ASSERT_NE(other, nullptr);
    std::memset(other, 1, kMegabytes16);
    EXPECT_GE(Committed() - before, kMegabytes16 - (1 << 20)) << "another's 16 MB counted";
    VirtualFree(other, 0, MEM_RELEASE);
}

}  // namespace

// The burn-in's sample of its own process (Windows): committed memory counts what
// the process commits, less what Zantor's own growing storage holds and the
// ledger of the library's imports, so that the leak check never takes Zantor's
// memory for the library's.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <new>

#include "Growing.h"
#include "Ledger.h"
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

TEST(ResourceSample, LeavesOutTheLedgersReservation)
{
    // As the routing makes it: the ledger and its tables in one committed region.
    const std::size_t head = (sizeof(taken::Ledger) + 63) & ~std::size_t{63};
    const std::size_t bytes = head + taken::Ledger::MemoryFor();
    ASSERT_GE(bytes, std::size_t{1} << 22) << "a reservation the sample would see";
    const std::int64_t before = Committed();
    void* memory = VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    ASSERT_NE(memory, nullptr);
    std::memset(memory, 0, bytes);
    const taken::Ledger* ledger =
        new (memory) taken::Ledger(static_cast<char*>(memory) + head, bytes - head);
    taken::SetActive(ledger, bytes);
    EXPECT_LT(Committed() - before, 1 << 20) << "Zantor's own ledger left out";
    EXPECT_EQ(taken::ActiveReservedBytes(), bytes);
    taken::SetActive(nullptr, bytes);
    EXPECT_EQ(taken::ActiveReservedBytes(), 0u) << "no ledger, nothing left out";
    EXPECT_GE(Committed() - before, static_cast<std::int64_t>(bytes) - (1 << 20)) << "then counted in full";
    VirtualFree(memory, 0, MEM_RELEASE);
}

}  // namespace

#include <windows.h>

#include "Growing.h"
#include "Ledger.h"
#include "Resources.h"

namespace {

// Committed private memory: every region the process committed for itself (heaps,
// stacks, VirtualAlloc), not the images it mapped. Works under Wine, whose
// PrivateUsage is 0.
std::uint64_t CommittedPrivateBytes()
{
    std::uint64_t total = 0;
    const char* address = nullptr;
    MEMORY_BASIC_INFORMATION region;
    while (VirtualQuery(address, &region, sizeof region) == sizeof region) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
            total += region.RegionSize;
        const char* next = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
        if (next <= address)
            break;
        address = next;
    }
    return total;
}

// Zantor's own committed memory: what its growing storage holds (the recorder's
// answers, the figures) and the ledger of the library's imports it committed at
// the start. The one grows with a run by design, the other is Zantor's, and a
// leak is the library's. What the heap keeps around the growing blocks is left
// in the sample, a level rather than a slope.
std::uint64_t ZantorsOwnBytes()
{
    return growing::HeldBytes().load(std::memory_order_relaxed) + std::uint64_t{taken::ActiveReservedBytes()};
}

// The open handles. Wine answers GetProcessHandleCount with 0; then handle values
// are tried from 4 upwards in steps of 4. Handles are handed out lowest free value
// first, so the open ones lie packed at the low end: the count stops after 256
// values in a row that are no handle (about 40 ms under Wine, against 0.2-0.6 s
// for every value up to 65532, for the same count).
DWORD OpenHandleCount()
{
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count != 0)
        return count;
    count = 0;
    constexpr int kMissesBeforeTheEnd = 256;
    int misses = 0;
    for (ULONG_PTR value = 4; value <= 65532 && misses < kMissesBeforeTheEnd; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
            ++count;
            misses = 0;
        } else {
            ++misses;
        }
    }
    return count;
}

}  // namespace

ResourceSample SampleProcessResources(std::uint32_t cycle)
{
    ResourceSample sample;
    sample.cycle = cycle;
    const std::uint64_t committed = CommittedPrivateBytes();
    SetMemoryBeyondOwn(sample, committed, ZantorsOwnBytes());
    const DWORD handles = OpenHandleCount();
    sample.measured[static_cast<int>(Resource::Handles)] = handles != 0;
    sample.value[static_cast<int>(Resource::Handles)] = handles;
    // A process with a dialog always holds some GDI and USER objects: 0 is Wine's
    // stub (or a failure), not a count.
    const DWORD gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    const DWORD user = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    sample.measured[static_cast<int>(Resource::GdiObjects)] = gdi != 0;
    sample.value[static_cast<int>(Resource::GdiObjects)] = gdi;
    sample.measured[static_cast<int>(Resource::UserObjects)] = user != 0;
    sample.value[static_cast<int>(Resource::UserObjects)] = user;
    return sample;
}

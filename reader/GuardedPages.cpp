#include "GuardedPages.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

// Every block lies in one reservation of address space, each block's data pages
// followed by a guard page that is never made accessible:
//
//   [data][guard][data      ][guard][data][guard] ... unused reserved pages
//
// Handing out a block makes its data pages accessible (one system call, none when
// it still is); when the last block out comes back, the whole used part of the
// reservation is made inaccessible in one call, guard pages and all. So a command
// costs one call per block it takes and one at its end.
constexpr std::size_t kReservedBytes = 4 * 1024 * 1024;

#ifdef _WIN32

std::size_t PageSize()
{
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwPageSize;
}

char* Reserve()
{
    return static_cast<char*>(VirtualAlloc(nullptr, kReservedBytes, MEM_RESERVE, PAGE_NOACCESS));
}

// Commits the pages of a new block and its guard, inaccessible.
bool Commit(char* at, std::size_t bytes)
{
    return VirtualAlloc(at, bytes, MEM_COMMIT, PAGE_NOACCESS) != nullptr;
}

// Gives the committed pages back to the system; the reservation stays.
void Decommit(char* at, std::size_t bytes)
{
    VirtualFree(at, bytes, MEM_DECOMMIT);
}

bool SetAccessible(char* at, std::size_t bytes, bool accessible)
{
    DWORD old = 0;
    return VirtualProtect(at, bytes, accessible ? PAGE_READWRITE : PAGE_NOACCESS, &old) != 0;
}

#else

std::size_t PageSize()
{
    return static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

char* Reserve()
{
    void* base = mmap(nullptr, kReservedBytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    return base == MAP_FAILED ? nullptr : static_cast<char*>(base);
}

bool Commit(char*, std::size_t)
{
    return true;  // the mapping is there, inaccessible
}

void Decommit(char* at, std::size_t bytes)
{
    madvise(at, bytes, MADV_DONTNEED);
}

bool SetAccessible(char* at, std::size_t bytes, bool accessible)
{
    return mprotect(at, bytes, accessible ? PROT_READ | PROT_WRITE : PROT_NONE) == 0;
}

#endif

// A block's place in the reservation; `size` is what the block in use was asked for.
struct Slot {
    char* base = nullptr;  // null: not carved yet
    std::size_t dataBytes = 0;
    std::size_t size = 0;
    bool inUse = false;
    bool accessible = false;
};

// More than a command ever has out at once (a value, an error text, the photo).
constexpr std::size_t kSlots = 16;

struct Cache {
    std::size_t page = PageSize();
    char* base = nullptr;    // the reservation, made at the first block
    std::size_t used = 0;    // bytes carved into blocks and their guards, from `base`
    std::size_t out = 0;     // blocks handed out
    bool unlocked = false;   // some block's pages are accessible
    Slot slots[kSlots];
};

Cache& TheCache()
{
    static Cache cache;
    return cache;
}

char* HandOut(Cache& cache, Slot& slot, std::size_t size)
{
    if (!slot.accessible) {
        if (!SetAccessible(slot.base, slot.dataBytes, true))
            return nullptr;
        slot.accessible = true;
        cache.unlocked = true;
    }
    slot.inUse = true;
    slot.size = size;
    ++cache.out;
    return slot.base + slot.dataBytes - size;
}

// Carves a block of `dataBytes` and its guard page from the unused part of the
// reservation into `slot`.
bool Carve(Cache& cache, Slot& slot, std::size_t dataBytes)
{
    if (cache.base == nullptr && (cache.base = Reserve()) == nullptr)
        return false;
    const std::size_t bytes = dataBytes + cache.page;
    if (bytes > kReservedBytes - cache.used || !Commit(cache.base + cache.used, bytes))
        return false;
    slot.base = cache.base + cache.used;
    slot.dataBytes = dataBytes;
    slot.accessible = false;
    cache.used += bytes;
    return true;
}

// With no block out: every block's pages back to the system, every slot uncarved.
void Reset(Cache& cache)
{
    if (cache.used != 0)
        Decommit(cache.base, cache.used);
    cache.used = 0;
    cache.unlocked = false;
    for (Slot& slot : cache.slots)
        slot = Slot();
}

void* Allocate(std::size_t size)
{
    Cache& cache = TheCache();
    const std::size_t page = cache.page;
    if (size > kReservedBytes - 2 * page)
        return nullptr;
    // At least one data page, so that every block has one to end in.
    const std::size_t dataBytes = size == 0 ? page : (size + page - 1) / page * page;

    Slot* uncarved = nullptr;
    Slot* larger = nullptr;  // the smallest free block that holds it
    for (Slot& slot : cache.slots) {
        if (slot.inUse)
            continue;
        if (slot.base == nullptr) {
            if (!uncarved)
                uncarved = &slot;
        } else if (slot.dataBytes == dataBytes) {
            return HandOut(cache, slot, size);
        } else if (slot.dataBytes > dataBytes && (!larger || slot.dataBytes < larger->dataBytes)) {
            larger = &slot;
        }
    }
    if (uncarved && Carve(cache, *uncarved, dataBytes))
        return HandOut(cache, *uncarved, size);
    // A larger block still ends at its guard page.
    if (larger)
        return HandOut(cache, *larger, size);
    // The reservation is used up by blocks of other sizes: start it afresh when
    // none is out.
    if (cache.out != 0)
        return nullptr;
    Reset(cache);
    if (!Carve(cache, cache.slots[0], dataBytes))
        return nullptr;
    return HandOut(cache, cache.slots[0], size);
}

void Release(void* block)
{
    if (block == nullptr)
        return;
    Cache& cache = TheCache();
    const auto address = reinterpret_cast<std::uintptr_t>(block);
    for (Slot& slot : cache.slots) {
        const auto base = reinterpret_cast<std::uintptr_t>(slot.base);
        if (slot.inUse && address >= base && address <= base + slot.dataBytes) {
            slot.inUse = false;
            --cache.out;
            break;
        }
    }
    // The last block out is back: lock every block at once, so that a late write
    // by a library thread faults instead of landing in the next command's buffer.
    if (cache.out == 0 && cache.unlocked && SetAccessible(cache.base, cache.used, false)) {
        cache.unlocked = false;
        for (Slot& slot : cache.slots)
            slot.accessible = false;
    }
}

}  // namespace

const Allocator& GuardedPages()
{
    // The decoded photo needs no guard, nor the system calls that lock and
    // unlock guarded pages: it comes from the C runtime's heap.
    static const Allocator allocator{&Allocate, &Release, TheCache().page, &kRuntimeHeap};
    return allocator;
}

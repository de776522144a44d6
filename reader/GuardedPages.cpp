#include "GuardedPages.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

// Data pages followed by one guard page.
struct Mapping {
    char* base = nullptr;
    std::size_t dataBytes = 0;
};

#ifdef _WIN32

std::size_t PageSize()
{
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwPageSize;
}

Mapping Map(std::size_t dataBytes, std::size_t page)
{
    void* base = VirtualAlloc(nullptr, dataBytes + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (base == nullptr)
        return {};
    DWORD old = 0;
    if (!VirtualProtect(static_cast<char*>(base) + dataBytes, page, PAGE_NOACCESS, &old)) {
        VirtualFree(base, 0, MEM_RELEASE);
        return {};
    }
    return {static_cast<char*>(base), dataBytes};
}

void Unmap(const Mapping& mapping, std::size_t)
{
    VirtualFree(mapping.base, 0, MEM_RELEASE);
}

bool SetAccessible(const Mapping& mapping, bool accessible)
{
    DWORD old = 0;
    return VirtualProtect(mapping.base, mapping.dataBytes, accessible ? PAGE_READWRITE : PAGE_NOACCESS, &old) != 0;
}

#else

std::size_t PageSize()
{
    return static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

Mapping Map(std::size_t dataBytes, std::size_t page)
{
    void* base = mmap(nullptr, dataBytes + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED)
        return {};
    if (mprotect(static_cast<char*>(base) + dataBytes, page, PROT_NONE) != 0) {
        munmap(base, dataBytes + page);
        return {};
    }
    return {static_cast<char*>(base), dataBytes};
}

void Unmap(const Mapping& mapping, std::size_t page)
{
    munmap(mapping.base, mapping.dataBytes + page);
}

bool SetAccessible(const Mapping& mapping, bool accessible)
{
    return mprotect(mapping.base, mapping.dataBytes, accessible ? PROT_READ | PROT_WRITE : PROT_NONE) == 0;
}

#endif

// A mapping kept for reuse; `size` is what the block in use was asked for.
struct Slot {
    Mapping mapping;
    std::size_t size = 0;
    bool inUse = false;
};

// More than a command ever has out at once (a value, an error text, the photo).
constexpr std::size_t kSlots = 16;

struct Cache {
    std::size_t page = PageSize();
    Slot slots[kSlots];
};

Cache& TheCache()
{
    static Cache cache;
    return cache;
}

// A kept block is inaccessible while nobody holds it, so that a late write by a
// library thread faults instead of landing in the next command's buffer.
char* HandOut(Slot& slot, std::size_t size)
{
    if (!SetAccessible(slot.mapping, true))
        return nullptr;
    slot.inUse = true;
    slot.size = size;
    return slot.mapping.base + slot.mapping.dataBytes - size;
}

void* Allocate(std::size_t size)
{
    Cache& cache = TheCache();
    const std::size_t page = cache.page;
    if (size > SIZE_MAX - 2 * page)
        return nullptr;
    // At least one data page, so that every block has one to end in.
    const std::size_t dataBytes = size == 0 ? page : (size + page - 1) / page * page;

    Slot* empty = nullptr;
    Slot* spare = nullptr;  // free, mapped for another size
    for (Slot& slot : cache.slots) {
        if (slot.inUse)
            continue;
        if (slot.mapping.base == nullptr) {
            if (!empty)
                empty = &slot;
        } else if (slot.mapping.dataBytes == dataBytes) {
            return HandOut(slot, size);
        } else if (!spare) {
            spare = &slot;
        }
    }
    Slot* target = empty ? empty : spare;
    if (target == nullptr)
        return nullptr;  // every slot is out
    if (target->mapping.base != nullptr) {
        Unmap(target->mapping, page);
        target->mapping = {};
    }
    target->mapping = Map(dataBytes, page);
    if (target->mapping.base == nullptr)
        return nullptr;
    return HandOut(*target, size);
}

void Release(void* block)
{
    if (block == nullptr)
        return;
    const auto address = reinterpret_cast<std::uintptr_t>(block);
    for (Slot& slot : TheCache().slots) {
        const auto base = reinterpret_cast<std::uintptr_t>(slot.mapping.base);
        if (slot.inUse && address >= base && address <= base + slot.mapping.dataBytes) {
            slot.inUse = false;
            SetAccessible(slot.mapping, false);
            return;
        }
    }
}

}  // namespace

const Allocator& GuardedPages()
{
    static const Allocator allocator{&Allocate, &Release, TheCache().page};
    return allocator;
}

#include "Ledger.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "Decimal.h"
#include "TextFormat.h"

#if defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>
#define ZANTOR_SPIN_PAUSE() _mm_pause()
#else
#define ZANTOR_SPIN_PAUSE() ((void)0)
#endif

namespace taken {

namespace {

const char* const kKindNames[kKindCount] = {"file",     "device",   "event",  "mutex", "semaphore", "mapping",
                                            "registry", "thread",   "heap",   "module", "other"};
const char* const kOperationNames[kOperationSlots] = {"OpenDevice", "CloseDevice", "getDeviceStatus",
                                                      "readCard",   "GetCardInfo", "outside"};

// Which values an item's value is unique among: handles share one space, heap
// blocks (of every allocator) another, threads by id and modules by base theirs.
std::uint8_t SpaceOf(Kind kind)
{
    switch (kind) {
    case Kind::Heap:
        return 1;
    case Kind::Thread:
        return 2;
    case Kind::Module:
        return 3;
    default:
        return 0;
    }
}

std::size_t PowerOfTwoAtLeast(std::size_t count)
{
    std::size_t size = 16;
    while (size < count)
        size *= 2;
    return size;
}
// Item slots: the cap at four fifths full at most, so that a probe stays short
// (100,000 items in 131,072 slots, 4 MB on 64-bit).
std::size_t ItemSlots(std::size_t itemCap) { return PowerOfTwoAtLeast(itemCap + itemCap / 4 + 1); }
constexpr std::size_t kRowSlots = Ledger::kRowCapacity * 2;

std::size_t Mix(std::uintptr_t value, std::uint8_t space)
{
    std::uint64_t x = static_cast<std::uint64_t>(value) ^ (static_cast<std::uint64_t>(space) << 60);
    x ^= x >> 33;
    x *= 0xFF51AFD7ED558CCDull;
    x ^= x >> 33;
    return static_cast<std::size_t>(x);
}

std::size_t RowHash(Kind kind, std::uint8_t operation, const Site& site)
{
    return Mix(site.offset ^ (static_cast<std::uintptr_t>(site.module) << 20),
               static_cast<std::uint8_t>(static_cast<unsigned>(kind) * kOperationSlots + operation));
}

// A fixed buffer the formatter writes into.
struct FixedSink {
    char* out;
    std::size_t room;
    std::size_t length;
};
void PutFixed(void* sink, const char* text, std::size_t count)
{
    FixedSink& fixed = *static_cast<FixedSink*>(sink);
    for (std::size_t i = 0; i < count && fixed.length + 1 < fixed.room; ++i)
        fixed.out[fixed.length++] = text[i];
    fixed.out[fixed.length] = 0;
}
std::size_t WriteFixed(char* out, std::size_t room, const char* format, ...) ZANTOR_PRINTF(3, 4);
std::size_t WriteFixed(char* out, std::size_t room, const char* format, ...)
{
    if (room == 0)
        return 0;
    FixedSink sink{out, room, 0};
    out[0] = 0;
    va_list args;
    va_start(args, format);
    FormatText(&PutFixed, &sink, format, args);
    va_end(args);
    return sink.length;
}

}  // namespace

namespace {
std::atomic<const Ledger*> g_active{nullptr};
std::atomic<std::size_t> g_activeReserved{0};
}  // namespace

void SetActive(const Ledger* ledger, std::size_t reservedBytes)
{
    g_activeReserved.store(ledger != nullptr ? reservedBytes : 0, std::memory_order_relaxed);
    g_active.store(ledger, std::memory_order_release);
}
std::size_t ActiveReservedBytes() { return g_activeReserved.load(std::memory_order_relaxed); }
const Ledger* Active() { return g_active.load(std::memory_order_acquire); }

const char* KindName(Kind kind)
{
    const auto index = static_cast<std::size_t>(kind);
    return index < kKindCount ? kKindNames[index] : "other";
}

const char* OperationSlotName(std::uint8_t operation)
{
    return operation < kOperationSlots ? kOperationNames[operation] : "outside";
}

Ledger::Lock::Lock(std::atomic<bool>& flag) : m_flag(flag)
{
    for (;;) {
        if (!m_flag.exchange(true, std::memory_order_acquire))
            return;
        while (m_flag.load(std::memory_order_relaxed))
            ZANTOR_SPIN_PAUSE();
    }
}

Ledger::Lock::~Lock() { m_flag.store(false, std::memory_order_release); }

std::size_t Ledger::MemoryFor(std::size_t itemCap)
{
    return ItemSlots(itemCap) * sizeof(Item) + kRowCapacity * sizeof(Row) + kRowSlots * sizeof(std::uint32_t);
}

Ledger::Ledger(void* memory, std::size_t bytes, std::size_t itemCap)
    : m_items(static_cast<Item*>(memory)),
      m_itemMask(ItemSlots(itemCap) - 1),
      m_itemCap(itemCap),
      m_rows(reinterpret_cast<Row*>(m_items + ItemSlots(itemCap))),
      m_rowIndex(reinterpret_cast<std::uint32_t*>(m_rows + kRowCapacity))
{
    // Memory short of the tables' leaves no room for items: everything is then
    // counted by site only (the owner checks MemoryFor first; this is the floor).
    if (bytes < MemoryFor(itemCap)) {
        m_itemCap = 0;
        m_items = nullptr;
        m_rows = nullptr;
        m_rowIndex = nullptr;
    }
    for (Module& module : m_modules) {
        module.base.store(0, std::memory_order_relaxed);
        module.size.store(0, std::memory_order_relaxed);
        module.name[0] = 0;
    }
}

std::uint16_t Ledger::AddModule(const char* name, std::uintptr_t base, std::uintptr_t size)
{
    Lock lock(m_lock);
    const std::size_t count = m_moduleCount.load(std::memory_order_relaxed);
    std::size_t index = 0;
    while (index < count && std::strncmp(m_modules[index].name, name, kModuleNameRoom - 1) != 0)
        ++index;
    if (index == kMaxModules)
        return Site::kNoModule;
    Module& module = m_modules[index];
    if (index == count) {
        std::size_t length = 0;
        while (name[length] != 0 && length + 1 < kModuleNameRoom) {
            module.name[length] = name[length];
            ++length;
        }
        module.name[length] = 0;
    }
    // A reader may see the old place with the new size for a moment: a site then
    // lands in no module, never in a wrong one of the list.
    module.size.store(0, std::memory_order_release);
    module.base.store(base, std::memory_order_release);
    module.size.store(size, std::memory_order_release);
    if (index == count)
        m_moduleCount.store(count + 1, std::memory_order_release);
    return static_cast<std::uint16_t>(index);
}

Site Ledger::Place(std::uintptr_t address) const
{
    const std::size_t count = m_moduleCount.load(std::memory_order_acquire);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uintptr_t base = m_modules[i].base.load(std::memory_order_acquire);
        const std::uintptr_t size = m_modules[i].size.load(std::memory_order_acquire);
        if (address >= base && address - base < size) {
            Site site;
            site.module = static_cast<std::uint16_t>(i);
            site.offset = address - base;
            return site;
        }
    }
    Site site;
    site.offset = address;
    return site;
}

const char* Ledger::ModuleName(std::size_t index) const
{
    return index < ModuleCount() ? m_modules[index].name : "";
}

std::size_t Ledger::WriteSite(const Site& site, char* out, std::size_t room) const
{
    if (site.module != Site::kNoModule && site.module < ModuleCount())
        return WriteFixed(out, room, "%s+0x%" PRIXPTR, m_modules[site.module].name, site.offset);
    return WriteFixed(out, room, "0x%0*" PRIXPTR, static_cast<int>(sizeof(std::uintptr_t) * 2), site.offset);
}

void Ledger::BeginCall(std::uint8_t operation)
{
    Lock lock(m_lock);
    m_operation = operation < kOperationSlots ? operation : kOutside;
    ++m_calls[m_operation];
    if (m_operation != m_lastOperation)
        ++m_rounds[m_operation];
    m_lastOperation = m_operation;
    if (m_operation == kOpenDevice)
        ++m_session;
    m_noteCount = 0;
    m_noteCut = false;
}

void Ledger::EndCall()
{
    Lock lock(m_lock);
    if (m_operation != kCloseDevice)
        return;
    for (std::size_t i = 0; i < m_rowCount; ++i) {
        Row& row = m_rows[i];
        row.atLastClose = row.outstanding;
        if (row.outstanding > row.mostAtClose)
            row.mostAtClose = row.outstanding;
    }
}

std::uint32_t Ledger::FindRow(Kind kind, std::uint8_t operation, const Site& site)
{
    if (m_rows == nullptr)
        return UINT32_MAX;
    for (std::size_t slot = RowHash(kind, operation, site) & (kRowSlots - 1);;
         slot = (slot + 1) & (kRowSlots - 1)) {
        const std::uint32_t entry = m_rowIndex[slot];
        if (entry == 0) {
            if (m_rowCount == kRowCapacity)
                return UINT32_MAX;
            Row& row = m_rows[m_rowCount];
            row = Row();
            row.kind = kind;
            row.operation = operation;
            row.site = site;
            m_rowIndex[slot] = static_cast<std::uint32_t>(++m_rowCount);
            return static_cast<std::uint32_t>(m_rowCount - 1);
        }
        const Row& row = m_rows[entry - 1];
        if (row.kind == kind && row.operation == operation && row.site == site)
            return entry - 1;
    }
}

std::size_t Ledger::FindItem(std::uint8_t space, std::uintptr_t value) const
{
    if (m_items == nullptr)
        return SIZE_MAX;
    for (std::size_t slot = Mix(value, space) & m_itemMask;; slot = (slot + 1) & m_itemMask) {
        const Item& item = m_items[slot];
        if (!item.used)
            return SIZE_MAX;
        if (item.value == value && item.space == space)
            return slot;
    }
}

// Backward-shift deletion: the items after the hole that belong before it move
// up, so no probe ever stops early and no slot is left marked dead.
void Ledger::RemoveItem(std::size_t slot)
{
    std::size_t hole = slot;
    for (std::size_t next = (hole + 1) & m_itemMask; m_items[next].used; next = (next + 1) & m_itemMask) {
        const std::size_t home = Mix(m_items[next].value, m_items[next].space) & m_itemMask;
        // Moves when its home is not cyclically within (hole, next].
        const bool stays = hole <= next ? (home > hole && home <= next) : (home > hole || home <= next);
        if (!stays) {
            m_items[hole] = m_items[next];
            hole = next;
        }
    }
    m_items[hole].used = 0;
    --m_itemCount;
}

void Ledger::AddNote(bool givenBack, Kind kind, const Site& site, std::uint64_t bytes)
{
    for (std::size_t i = 0; i < m_noteCount; ++i) {
        NoteEntry& entry = m_note[i];
        if (entry.givenBack == givenBack && entry.kind == kind && entry.site == site) {
            ++entry.count;
            entry.bytes += bytes;
            return;
        }
    }
    if (m_noteCount == kNoteCapacity) {
        m_noteCut = true;
        return;
    }
    NoteEntry& entry = m_note[m_noteCount++];
    entry.givenBack = givenBack;
    entry.kind = kind;
    entry.site = site;
    entry.count = 1;
    entry.bytes = bytes;
}

void Ledger::Take(Kind kind, std::uintptr_t value, std::uint64_t bytes, std::uint8_t operation, const Site& site,
                  bool noted)
{
    Lock lock(m_lock);
    TakeLocked(kind, value, bytes, operation, site, noted);
}

bool Ledger::TakeUnlessHeld(Kind kind, std::uintptr_t value, std::uint8_t operation, const Site& site, bool noted)
{
    Lock lock(m_lock);
    if (FindItem(SpaceOf(kind), value) != SIZE_MAX)
        return false;
    TakeLocked(kind, value, 0, operation, site, noted);
    return true;
}

void Ledger::TakeLocked(Kind kind, std::uintptr_t value, std::uint64_t bytes, std::uint8_t operation,
                        const Site& site, bool noted)
{
    if (kind != Kind::Heap)
        bytes = 0;
    if (operation >= kOperationSlots)
        operation = kOutside;
    if (noted)
        AddNote(false, kind, site, bytes);
    const std::uint32_t rowIndex = FindRow(kind, operation, site);
    if (rowIndex == UINT32_MAX) {
        ++m_lostRows;
        return;
    }
    Row& row = m_rows[rowIndex];
    ++row.taken;
    ++row.outstanding;
    row.bytesTaken += bytes;
    row.bytesOutstanding += bytes;
    if (row.sessionStamp != m_session) {
        row.sessionStamp = m_session;
        row.sessionHeld = 0;
        row.sessionBytes = 0;
    }
    ++row.sessionHeld;
    row.sessionBytes += bytes;

    const std::uint8_t space = SpaceOf(kind);
    const std::size_t existing = kind == Kind::Module ? SIZE_MAX : FindItem(space, value);
    if (existing != SIZE_MAX) {
        // The same value again while the ledger holds it: the library was handed a
        // value it never gave back through a routed function (a handle closed by a
        // function outside the set). The old one counts as given back.
        Item& old = m_items[existing];
        Row& oldRow = m_rows[old.row];
        ++oldRow.givenBack;
        --oldRow.outstanding;
        oldRow.bytesOutstanding -= old.bytes;
        if (oldRow.sessionStamp == old.session && oldRow.sessionHeld > 0) {
            --oldRow.sessionHeld;
            oldRow.sessionBytes -= old.bytes;
        }
        RemoveItem(existing);
    }
    if (m_itemCount >= m_itemCap) {
        m_capped = true;
        ++row.untracked;
        ++m_untracked;
        return;
    }
    std::size_t slot = Mix(value, space) & m_itemMask;
    while (m_items[slot].used)
        slot = (slot + 1) & m_itemMask;
    Item& item = m_items[slot];
    item.value = value;
    item.bytes = bytes;
    item.row = rowIndex;
    item.call = static_cast<std::uint32_t>(m_rounds[operation]);
    item.session = m_session;
    item.space = space;
    item.used = 1;
    ++m_itemCount;
}

bool Ledger::GiveBack(Kind kind, std::uintptr_t value, const Site& site, bool noted)
{
    Lock lock(m_lock);
    const std::size_t slot = FindItem(SpaceOf(kind), value);
    if (slot == SIZE_MAX)
        return false;
    const Item item = m_items[slot];
    Row& row = m_rows[item.row];
    ++row.givenBack;
    --row.outstanding;
    row.bytesOutstanding -= item.bytes;
    if (row.sessionStamp == item.session && row.sessionHeld > 0) {
        --row.sessionHeld;
        row.sessionBytes -= item.bytes;
    }
    RemoveItem(slot);
    // The note names the kind it was taken as (CloseHandle closes every kind) and
    // the site that gave it back.
    if (noted)
        AddNote(true, row.kind, site, item.bytes);
    return true;
}

bool Ledger::Holds(Kind kind, std::uintptr_t value, Kind* heldAs) const
{
    Lock lock(m_lock);
    const std::size_t slot = FindItem(SpaceOf(kind), value);
    if (slot == SIZE_MAX)
        return false;
    if (heldAs != nullptr)
        *heldAs = m_rows[m_items[slot].row].kind;
    return true;
}

std::size_t Ledger::Rows(Row* out, std::size_t room) const
{
    Lock lock(m_lock);
    for (std::size_t i = 0; i < m_rowCount && i < room; ++i)
        out[i] = m_rows[i];
    return m_rowCount;
}

std::size_t Ledger::RowsFrom(std::size_t start, Row* out, std::size_t room) const
{
    Lock lock(m_lock);
    for (std::size_t i = 0; start + i < m_rowCount && i < room; ++i)
        out[i] = m_rows[start + i];
    return m_rowCount;
}

std::size_t Ledger::Note(NoteEntry* out, std::size_t room) const
{
    Lock lock(m_lock);
    for (std::size_t i = 0; i < m_noteCount && i < room; ++i)
        out[i] = m_note[i];
    return m_noteCount;
}

namespace {

// A held item's row and call, sorted to count each row's distinct calls.
struct Holding {
    std::uint32_t row;
    std::uint32_t call;
};
int CompareHoldings(const void* a, const void* b)
{
    const Holding& x = *static_cast<const Holding*>(a);
    const Holding& y = *static_cast<const Holding*>(b);
    if (x.row != y.row)
        return x.row < y.row ? -1 : 1;
    return x.call < y.call ? -1 : (x.call > y.call ? 1 : 0);
}

}  // namespace

std::size_t Ledger::Judge(Cause* out, std::size_t room) const
{
    // Copies under the lock, judges outside it, so that the library's threads
    // wait for no sorting.
    Holding* holdings = nullptr;
    std::size_t holdingCount = 0;
    Row* rows = nullptr;
    std::size_t rowCount = 0;
    std::uint64_t calls[kOperationSlots];
    {
        Lock lock(m_lock);
        rowCount = m_rowCount;
        for (std::size_t i = 0; i < kOperationSlots; ++i)
            calls[i] = m_rounds[i];
        rows = static_cast<Row*>(std::malloc((rowCount + 1) * sizeof(Row)));
        holdings = static_cast<Holding*>(std::malloc((m_itemCount + 1) * sizeof(Holding)));
        if (rows != nullptr && holdings != nullptr) {
            for (std::size_t i = 0; i < rowCount; ++i)
                rows[i] = m_rows[i];
            for (std::size_t slot = 0; m_items != nullptr && slot <= m_itemMask; ++slot) {
                if (m_items[slot].used)
                    holdings[holdingCount++] = Holding{m_items[slot].row, m_items[slot].call};
            }
        }
    }
    if (rows == nullptr || holdings == nullptr) {
        std::free(rows);
        std::free(holdings);
        return 0;
    }
    std::qsort(holdings, holdingCount, sizeof(Holding), &CompareHoldings);

    // Per row, the distinct calls its held items were taken in; an item counted by
    // site only (past the cap) counts as a call of its own.
    std::size_t count = 0;
    for (int pass = 0; pass < 2; ++pass) {
        std::size_t next = 0;
        for (std::size_t r = 0; r < rowCount; ++r) {
            std::uint64_t heldCalls = rows[r].untracked < rows[r].outstanding ? rows[r].untracked : rows[r].outstanding;
            while (next < holdingCount && holdings[next].row < r)
                ++next;
            for (std::uint32_t last = UINT32_MAX; next < holdingCount && holdings[next].row == r; ++next) {
                if (holdings[next].call != last)
                    ++heldCalls;
                last = holdings[next].call;
            }
            if (rows[r].outstanding == 0)
                continue;
            const std::uint64_t of = calls[rows[r].operation];
            if (heldCalls > of)
                heldCalls = of;
            const bool leak = rows[r].operation != kOutside && heldCalls >= 2 && heldCalls * 10 >= of * 9;
            if (leak != (pass == 0))
                continue;
            if (count < room) {
                Cause& cause = out[count];
                cause.row = rows[r];
                cause.calls = heldCalls;
                cause.of = of;
                cause.leak = leak;
            }
            ++count;
        }
    }
    std::free(rows);
    std::free(holdings);
    return count;
}

namespace {

// Appends to a note: an entry's kind, count, bytes (heap) and site.
struct NoteText {
    const Ledger& ledger;
    FixedSink sink;
    void Put(const char* text) { PutFixed(&sink, text, std::strlen(text)); }
    void Entry(bool first, Kind kind, std::uint64_t count, std::uint64_t bytes, const char* operation,
               const Site& site)
    {
        char number[decimal::kIntegerRoom + 1];
        Put(first ? " " : ", ");
        Put(KindName(kind));
        Put(" ");
        number[decimal::WriteUnsigned(number, count)] = 0;
        Put(number);
        if (kind == Kind::Heap) {
            number[decimal::WriteUnsigned(number, bytes)] = 0;
            Put(" (");
            Put(number);
            Put(" bytes)");
        }
        if (operation != nullptr) {
            Put(" of ");
            Put(operation);
        }
        char place[kModuleNameRoom + 24];
        ledger.WriteSite(site, place, sizeof place);
        Put(" at ");
        Put(place);
    }
};

}  // namespace

std::size_t WriteCallNote(const Ledger& ledger, char* out, std::size_t room)
{
    if (room == 0)
        return 0;
    out[0] = 0;
    NoteEntry entries[Ledger::kNoteCapacity];
    const std::size_t count = ledger.Note(entries, Ledger::kNoteCapacity);
    if (count == 0)
        return 0;
    NoteText text{ledger, FixedSink{out, room, 0}};
    for (int givenBack = 0; givenBack < 2; ++givenBack) {
        bool first = true;
        for (std::size_t i = 0; i < count && i < Ledger::kNoteCapacity; ++i) {
            const NoteEntry& entry = entries[i];
            if (entry.givenBack != (givenBack == 1))
                continue;
            if (first)
                text.Put(givenBack == 0 ? "took" : (text.sink.length > 0 ? "; gave back" : "gave back"));
            text.Entry(first, entry.kind, entry.count, entry.bytes, nullptr, entry.site);
            first = false;
        }
    }
    if (ledger.NoteCut())
        text.Put("; more");
    return text.sink.length;
}

std::size_t WriteHeldNote(const Ledger& ledger, char* out, std::size_t room)
{
    if (room == 0)
        return 0;
    out[0] = 0;
    // Copied in slices: the rows may be many, and the note is written at most once a session.
    NoteText text{ledger, FixedSink{out, room, 0}};
    Row rows[64];
    bool first = true;
    const std::uint32_t session = ledger.Session();
    for (std::size_t start = 0;; start += 64) {
        const std::size_t total = ledger.RowsFrom(start, rows, 64);
        for (std::size_t i = 0; start + i < total && i < 64; ++i) {
            const Row& row = rows[i];
            if (row.sessionStamp != session || row.sessionHeld == 0)
                continue;
            if (first)
                text.Put("still held:");
            text.Entry(first, row.kind, row.sessionHeld, row.sessionBytes, OperationSlotName(row.operation), row.site);
            first = false;
        }
        if (start + 64 >= total)
            break;
    }
    return text.sink.length;
}

namespace {

// How a sentence names an item of each kind.
struct KindWords {
    const char* noun;      // "an event"
    const char* takes;     // "opens"
    const char* took;      // "opened"
    const char* never;     // "never closes it"
};
const KindWords kKindWords[kKindCount] = {
    {"a file", "opens", "opened", "never closes it"},
    {"a device", "opens", "opened", "never closes it"},
    {"an event", "opens", "opened", "never closes it"},
    {"a mutex", "opens", "opened", "never closes it"},
    {"a semaphore", "opens", "opened", "never closes it"},
    {"a file mapping", "opens", "opened", "never closes it"},
    {"a registry key", "opens", "opened", "never closes it"},
    {"a thread", "starts", "started", "it never ends"},
    {"heap", "allocates", "allocated", "never frees it"},
    {"a module", "loads", "loaded", "never frees it"},
    {"a handle", "opens", "opened", "never closes it"},
};

}  // namespace

std::size_t WriteCause(const Ledger& ledger, const Cause& cause, char* out, std::size_t room)
{
    char site[kModuleNameRoom + 24];
    ledger.WriteSite(cause.row.site, site, sizeof site);
    const KindWords& words = kKindWords[static_cast<std::size_t>(cause.row.kind) % kKindCount];
    const char* operation = OperationSlotName(cause.row.operation);
    const bool heap = cause.row.kind == Kind::Heap;
    if (cause.leak) {
        // A thread: "starts a thread at X and it never ends".
        return heap ? WriteFixed(out, room, "%s %s %s at %s and %s: %" PRIu64 " of %" PRIu64 " calls, %" PRIu64
                                 " bytes held",
                                 operation, words.takes, words.noun, site, words.never, cause.calls, cause.of,
                                 cause.row.bytesOutstanding)
                    : WriteFixed(out, room, "%s %s %s at %s and %s: %" PRIu64 " of %" PRIu64 " calls", operation,
                                 words.takes, words.noun, site, words.never, cause.calls, cause.of);
    }
    if (cause.row.operation == kOutside)
        return heap ? WriteFixed(out, room, "outside a call, the library keeps %s it %s at %s (%" PRIu64
                                 " held, %" PRIu64 " bytes)",
                                 words.noun, words.took, site, cause.row.outstanding, cause.row.bytesOutstanding)
                    : WriteFixed(out, room, "outside a call, the library keeps %s it %s at %s (%" PRIu64 " held)",
                                 words.noun, words.took, site, cause.row.outstanding);
    return heap ? WriteFixed(out, room, "%s keeps %s it %s at %s: %" PRIu64 " of %" PRIu64 " calls, %" PRIu64
                             " bytes held",
                             operation, words.noun, words.took, site, cause.calls, cause.of,
                             cause.row.bytesOutstanding)
                : WriteFixed(out, room, "%s keeps %s it %s at %s: %" PRIu64 " of %" PRIu64 " calls", operation,
                             words.noun, words.took, site, cause.calls, cause.of);
}

}  // namespace taken

// What the reader library took from Windows and gave back: every handle, heap
// block, thread and module its routed imports handed it, each kept by its value
// and attributed to the operation that was running and to the call site in the
// library's code, with counts per kind, operation and site. Plain C++ for both
// targets: the wrappers on Windows feed it, the call log, the report and the
// verdict read it.
//
// The ledger lives in memory its owner hands it once (the wrappers reserve it up
// front with VirtualAlloc): it never allocates, calls nothing of the system and
// takes no lock but its own spin lock, held only for a few table steps, so that a
// wrapper can call it from any of the library's threads without recursing into a
// routed function or waiting on a lock the library holds.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace taken {

// What an item is. The JSON names them: "file", "device", "event", "mutex",
// "semaphore", "mapping", "registry", "thread", "heap", "module", "other".
enum class Kind : std::uint8_t { File, Device, Event, Mutex, Semaphore, Mapping, Registry, Thread, Heap, Module, Other };
constexpr std::size_t kKindCount = 11;
// The kind's JSON name, ASCII.
const char* KindName(Kind kind);

// The operation an item is attributed to: the library's five in the order of
// their declaration (as commands' Operation), then kOutside, the work of a
// library thread of its own.
constexpr std::uint8_t kOutside = 5;
constexpr std::size_t kOperationSlots = 6;
// The operation's name, ASCII: "OpenDevice" ... "GetCardInfo", "outside".
const char* OperationSlotName(std::uint8_t operation);
constexpr std::uint8_t kOpenDevice = 0;
constexpr std::uint8_t kCloseDevice = 1;

// Where an item was taken: a module of the ledger's list and the offset into it,
// or, in no module it knows, the address itself.
struct Site {
    std::uint16_t module = kNoModule;
    std::uintptr_t offset = 0;
    static constexpr std::uint16_t kNoModule = 0xFFFF;
    bool operator==(const Site& other) const { return module == other.module && offset == other.offset; }
};

// What the ledger counts per kind, operation and call site.
struct Row {
    Kind kind = Kind::Other;
    std::uint8_t operation = kOutside;
    Site site;
    std::uint64_t taken = 0;
    std::uint64_t givenBack = 0;
    std::uint64_t outstanding = 0;   // taken and not given back
    std::uint64_t bytesTaken = 0;    // heap: bytes; 0 for other kinds
    std::uint64_t bytesOutstanding = 0;
    std::uint64_t atLastClose = 0;   // outstanding when the last CloseDevice returned
    std::uint64_t mostAtClose = 0;   // the most outstanding when any CloseDevice returned
    std::uint64_t untracked = 0;     // taken past the cap: counted here, not kept by value
    // Held of what was taken since the last OpenDevice (see sessionStamp), and its bytes.
    std::uint64_t sessionHeld = 0;
    std::uint64_t sessionBytes = 0;
    std::uint32_t sessionStamp = 0;
};

// One line of what a call took or gave back, for the call log's note.
struct NoteEntry {
    bool givenBack = false;
    Kind kind = Kind::Other;
    Site site;
    std::uint64_t count = 0;
    std::uint64_t bytes = 0;
};

// A row's judgement at the end: items still held, taken in `calls` of the
// operation's `of` rounds. A round is a run of calls of one operation with no
// other between them: a press, a burn-in's cycle (its eleven GetCardInfo calls
// are one round). A leak when held from at least 90% of the rounds (and from more
// than one); otherwise kept (a table made once, say).
struct Cause {
    Row row;
    std::uint64_t calls = 0;
    std::uint64_t of = 0;
    bool leak = false;
};

// The most modules the ledger places sites in, and the longest name it keeps.
constexpr std::size_t kMaxModules = 32;
constexpr std::size_t kModuleNameRoom = 64;

class Ledger {
public:
    // The outstanding items kept one by one; past it they are counted per site.
    static constexpr std::size_t kItemCap = 100000;
    // The kind, operation and site rows kept; past it, takes are counted in lostRows.
    static constexpr std::size_t kRowCapacity = 2048;
    // The most entries in one call's note.
    static constexpr std::size_t kNoteCapacity = 48;

    // The bytes of memory a ledger of `itemCap` items needs (its tables, each a
    // power of two).
    static std::size_t MemoryFor(std::size_t itemCap = kItemCap);
    // A ledger in `memory`, zero-filled, of MemoryFor(itemCap) bytes at least,
    // aligned for pointers; the caller keeps it for the ledger's life.
    Ledger(void* memory, std::size_t bytes, std::size_t itemCap = kItemCap);
    Ledger(const Ledger&) = delete;
    Ledger& operator=(const Ledger&) = delete;

    // Modules. Adds a module (its base file name, cut to kModuleNameRoom - 1
    // bytes), or updates the place of one of the same name loaded again; returns
    // its index, or Site::kNoModule when the list is full.
    std::uint16_t AddModule(const char* name, std::uintptr_t base, std::uintptr_t size);
    // The site of `address`: in a module of the list, its offset there.
    Site Place(std::uintptr_t address) const;
    // The site as text, "Mervik.dll+0x1A2B" or "0x0040F00D" (an address in no
    // module, 8 or 16 digits), NUL-terminated in `out` of `room`; returns its length.
    std::size_t WriteSite(const Site& site, char* out, std::size_t room) const;
    std::size_t ModuleCount() const { return m_moduleCount.load(std::memory_order_acquire); }
    const char* ModuleName(std::size_t index) const;

    // Calls, on Zantor's own thread. A call of `operation` begins: its serial is
    // counted, its note emptied; OpenDevice starts a new session.
    void BeginCall(std::uint8_t operation);
    // The call ended: after CloseDevice each row's outstanding is kept as at that close.
    void EndCall();

    // Items. `value` was taken (a handle, a block's address, a thread's id, a
    // module's base); `bytes` for heap. `noted`: taken on Zantor's thread inside
    // the call, so its note says so.
    // A module's base may be taken again while held (each load counts, as each
    // FreeLibrary gives one back); any other value taken again while held means the
    // library gave the old one back through a function outside the routed set,
    // and the old one counts as given back.
    void Take(Kind kind, std::uintptr_t value, std::uint64_t bytes, std::uint8_t operation, const Site& site,
              bool noted);
    // The same unless `value` is already held (a thread seen both by its creator
    // and by its own start); true when taken.
    bool TakeUnlessHeld(Kind kind, std::uintptr_t value, std::uint8_t operation, const Site& site, bool noted);
    // `value` of `kind`'s space was given back at `site`; false when the ledger
    // did not hold it (taken before the routing, elsewhere, or past the cap).
    bool GiveBack(Kind kind, std::uintptr_t value, const Site& site, bool noted);
    // Whether `value` of `kind`'s space is held, and as which kind.
    bool Holds(Kind kind, std::uintptr_t value, Kind* heldAs = nullptr) const;

    // Reading. The rows in the order first taken; `out` of `room`; returns how
    // many there are (copies at most `room`).
    std::size_t Rows(Row* out, std::size_t room) const;
    // The same from row `start` on: copies at most `room`, returns how many rows there are in all.
    std::size_t RowsFrom(std::size_t start, Row* out, std::size_t room) const;
    // Every row in turn, a page at a time: visit(row, index, site, siteLength),
    // the site written as module+offset.
    template <class Visit>
    void ForEachRow(Visit visit) const
    {
        Row rows[64];
        for (std::size_t start = 0, total = 1; start < total; start += 64) {
            total = RowsFrom(start, rows, 64);
            for (std::size_t i = 0; start + i < total && i < 64; ++i) {
                char site[kModuleNameRoom + 24];
                const std::size_t length = WriteSite(rows[i].site, site, sizeof site);
                visit(rows[i], start + i, site, length);
            }
        }
    }
    // The running call's note, as Rows.
    std::size_t Note(NoteEntry* out, std::size_t room) const;
    bool NoteCut() const { return m_noteCut; }
    // The OpenDevice calls so far: a row's session counts hold for this one only.
    std::uint32_t Session() const { return m_session; }
    // The calls of `operation` so far, and its rounds (see Cause).
    std::uint64_t Calls(std::uint8_t operation) const { return m_calls[operation]; }
    std::uint64_t Rounds(std::uint8_t operation) const { return m_rounds[operation]; }
    // True once the items outstanding reached the cap, so that some are counted by site only.
    bool Capped() const { return m_capped; }
    std::uint64_t Untracked() const { return m_untracked; }
    // Takes not counted because every row was in use.
    std::uint64_t LostRows() const { return m_lostRows; }
    std::size_t Outstanding() const { return m_itemCount; }

    // The rows with something still held, judged, the leaks first, then the kept
    // ones, each in the order first taken; returns how many (copies at most `room`).
    // Rows of `outside` are kept, never leaks: they belong to no call.
    std::size_t Judge(Cause* out, std::size_t room) const;

private:
    struct Item {
        std::uintptr_t value;
        std::uint64_t bytes;
        std::uint32_t row;
        std::uint32_t call;  // the serial of the operation's round it was taken in
        std::uint32_t session;
        std::uint8_t space;
        std::uint8_t used;
    };
    struct Module {
        std::atomic<std::uintptr_t> base;
        std::atomic<std::uintptr_t> size;
        char name[kModuleNameRoom];
    };
    class Lock {
    public:
        explicit Lock(std::atomic<bool>& flag);
        ~Lock();
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        std::atomic<bool>& m_flag;
    };

    void TakeLocked(Kind kind, std::uintptr_t value, std::uint64_t bytes, std::uint8_t operation, const Site& site,
                    bool noted);
    std::uint32_t FindRow(Kind kind, std::uint8_t operation, const Site& site);
    std::size_t FindItem(std::uint8_t space, std::uintptr_t value) const;
    void RemoveItem(std::size_t slot);
    void AddNote(bool givenBack, Kind kind, const Site& site, std::uint64_t bytes);

    Item* m_items;
    std::size_t m_itemMask;
    std::size_t m_itemCap;
    std::size_t m_itemCount = 0;
    Row* m_rows;
    std::uint32_t* m_rowIndex;  // open addressing over the rows, 0 empty, else row + 1
    std::size_t m_rowCount = 0;
    Module m_modules[kMaxModules];
    std::atomic<std::size_t> m_moduleCount{0};
    NoteEntry m_note[kNoteCapacity];
    std::size_t m_noteCount = 0;
    bool m_noteCut = false;
    std::uint64_t m_calls[kOperationSlots] = {};
    std::uint64_t m_rounds[kOperationSlots] = {};
    std::uint8_t m_operation = kOutside;
    std::uint8_t m_lastOperation = kOutside;
    std::uint32_t m_session = 0;
    bool m_capped = false;
    std::uint64_t m_untracked = 0;
    std::uint64_t m_lostRows = 0;
    mutable std::atomic<bool> m_lock{false};
};

// The ledger the routing fills, for what reports on it (the verdict, the
// report): null while the imports are not routed. `reservedBytes`: the memory
// its owner committed for it (the ledger and its tables), Zantor's own, which
// the burn-in's memory sample leaves out as it does the growing storage.
void SetActive(const Ledger* ledger, std::size_t reservedBytes = 0);
const Ledger* Active();
// The active ledger's reserved bytes; 0 while none is active.
std::size_t ActiveReservedBytes();

// The call log's note after a call, UTF-8, NUL-terminated in `out` of `room`
// (cut there); returns its length, 0 when the call took and gave back nothing:
// "took event 1 at Mervik.dll+0x1A2B, heap 2 (4196 bytes) at Mervik.dll+0x20;
// gave back event 1 at Mervik.dll+0x3000". A note with more entries than it
// keeps ends in "; more".
std::size_t WriteCallNote(const Ledger& ledger, char* out, std::size_t room);
// The note after CloseDevice: what is still held of what was taken since the
// last OpenDevice, by kind, operation and site, as WriteCallNote; 0 when nothing is:
// "still held: event 1 of OpenDevice at Mervik.dll+0x1A2B, heap 1 (64 bytes) of
// readCard at Mervik.dll+0x20".
std::size_t WriteHeldNote(const Ledger& ledger, char* out, std::size_t room);

// The sentence naming a leak or a kept item, UTF-8, NUL-terminated in `out` of
// `room`; returns its length. A leak: "readCard opens an event at
// Mervik.dll+0x1A2B and never closes it: 1000 of 1000 calls"; heap adds the bytes
// held ("..., 65536 bytes held"). Kept: "GetCardInfo keeps a heap block taken at
// Mervik.dll+0x2000 in 1 of 1000 calls (4096 bytes held)".
std::size_t WriteCause(const Ledger& ledger, const Cause& cause, char* out, std::size_t room);

}  // namespace taken

// The routing of a library's imports, under Wine: a probe library asks Windows
// for each kind of thing through its import table, and the ledger must hold it,
// attributed to the call running and placed in the probe's code; the probe must
// see exactly what the real functions give, last error included.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "Ledger.h"
#include "Routing.h"
#include "RunningCall.h"

using taken::Kind;
using taken::Ledger;

namespace {

constexpr std::uint8_t kStatus = 2;
constexpr std::uint8_t kRead = 3;

HMODULE Probe()
{
    static HMODULE probe = [] {
        const HMODULE module = LoadLibraryW(L"routed_probe.dll");
        if (module != nullptr) {
            const routing::Routed routed = routing::RouteLibrary(module);
            EXPECT_TRUE(routed.ready);
            EXPECT_EQ(routed.modules, 1u);
            EXPECT_GE(routed.entries, 20u);
        }
        return module;
    }();
    return probe;
}

template <class F>
F Export(const char* name)
{
    const HMODULE probe = Probe();
    EXPECT_NE(probe, nullptr);
    void* function = probe == nullptr ? nullptr : reinterpret_cast<void*>(GetProcAddress(probe, name));
    EXPECT_NE(function, nullptr) << name;
    return reinterpret_cast<F>(function);
}

Ledger& TheLedger()
{
    Probe();
    Ledger* ledger = routing::ActiveLedger();
    EXPECT_NE(ledger, nullptr);
    return *ledger;
}

std::string SiteText(const taken::Site& site)
{
    char text[96];
    TheLedger().WriteSite(site, text, sizeof text);
    return text;
}

// The one entry of the running call's note.
taken::NoteEntry OnlyNote()
{
    taken::NoteEntry note[Ledger::kNoteCapacity];
    const std::size_t count = TheLedger().Note(note, Ledger::kNoteCapacity);
    EXPECT_EQ(count, 1u);
    return count == 0 ? taken::NoteEntry() : note[0];
}

// A probe export that takes something, and the one that gives it back.
struct KindRow {
    const char* what;
    Kind kind;
    std::uintptr_t (*take)();
    void (*giveBack)(std::uintptr_t);
    std::uint64_t bytes;
};

std::uintptr_t Value(const void* value) { return reinterpret_cast<std::uintptr_t>(value); }
void* Pointer(std::uintptr_t value) { return reinterpret_cast<void*>(value); }
DWORD WINAPI OwnThread(void*) { return 0; }
// A device for the probe to open: a pipe this process serves.
const wchar_t kPipe[] = L"\\\\.\\pipe\\zantor-routing-probe";
const HANDLE g_pipe = CreateNamedPipeW(kPipe, PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE, PIPE_UNLIMITED_INSTANCES, 512, 512,
                                       0, nullptr);
void CloseIt(std::uintptr_t h) { Export<BOOL (*)(HANDLE)>("ProbeClose")(Pointer(h)); }

const KindRow kKindRows[] = {
    {"event", Kind::Event, [] { return Value(Export<HANDLE (*)()>("ProbeOpenEvent")()); }, &CloseIt, 0},
    {"mutex", Kind::Mutex, [] { return Value(Export<HANDLE (*)()>("ProbeOpenMutex")()); }, &CloseIt, 0},
    {"semaphore", Kind::Semaphore, [] { return Value(Export<HANDLE (*)()>("ProbeOpenSemaphore")()); }, &CloseIt, 0},
    {"mapping", Kind::Mapping, [] { return Value(Export<HANDLE (*)()>("ProbeOpenMapping")()); }, &CloseIt, 0},
    {"file", Kind::File,
     [] { return Value(Export<HANDLE (*)(const wchar_t*)>("ProbeOpenFile")(L"routed-probe.tmp")); }, &CloseIt, 0},
    {"device", Kind::Device,
     [] { return Value(Export<HANDLE (*)(const wchar_t*)>("ProbeOpenFile")(kPipe)); }, &CloseIt, 0},
    {"registry", Kind::Registry, [] { return Value(Export<HKEY (*)()>("ProbeOpenKey")()); },
     [](std::uintptr_t key) { Export<LONG (*)(HKEY)>("ProbeCloseKey")(static_cast<HKEY>(Pointer(key))); }, 0},
    {"HeapAlloc", Kind::Heap, [] { return Value(Export<void* (*)(SIZE_T)>("ProbeHeapAlloc")(100)); },
     [](std::uintptr_t p) { Export<BOOL (*)(void*)>("ProbeHeapFree")(Pointer(p)); }, 100},
    {"LocalAlloc", Kind::Heap, [] { return Value(Export<void* (*)(SIZE_T)>("ProbeLocalAlloc")(200)); },
     [](std::uintptr_t p) { Export<void* (*)(void*)>("ProbeLocalFree")(Pointer(p)); }, 200},
    {"GlobalAlloc", Kind::Heap, [] { return Value(Export<void* (*)(SIZE_T)>("ProbeGlobalAlloc")(300)); },
     [](std::uintptr_t p) { Export<void* (*)(void*)>("ProbeGlobalFree")(Pointer(p)); }, 300},
    {"VirtualAlloc", Kind::Heap, [] { return Value(Export<void* (*)(SIZE_T)>("ProbeVirtualAlloc")(65536)); },
     [](std::uintptr_t p) { Export<BOOL (*)(void*)>("ProbeVirtualFree")(Pointer(p)); }, 65536},
    {"malloc", Kind::Heap, [] { return Value(Export<void* (*)(std::size_t)>("ProbeMalloc")(400)); },
     [](std::uintptr_t p) { Export<void (*)(void*)>("ProbeFree")(Pointer(p)); }, 400},
    {"operator new", Kind::Heap, [] { return Value(Export<void* (*)(std::size_t)>("ProbeNew")(500)); },
     [](std::uintptr_t p) { Export<void (*)(void*)>("ProbeDelete")(Pointer(p)); }, 500},
    {"module", Kind::Module, [] { return Value(Export<HMODULE (*)(const wchar_t*)>("ProbeLoad")(L"version.dll")); },
     [](std::uintptr_t m) { Export<BOOL (*)(HMODULE)>("ProbeUnload")(static_cast<HMODULE>(Pointer(m))); }, 0},
};

}  // namespace

// Each kind: taken in one call, noted there at the probe's site, and given back in
// another, noted there too.
TEST(Routing, EveryKindTakenAndGivenBack)
{
    Ledger& ledger = TheLedger();
    for (const KindRow& row : kKindRows) {
        std::uintptr_t value = 0;
        {
            const running::Scope call(kRead);
            value = row.take();
            ASSERT_NE(value, 0u) << row.what;
            const taken::NoteEntry note = OnlyNote();
            EXPECT_FALSE(note.givenBack) << row.what;
            EXPECT_EQ(note.kind, row.kind) << row.what;
            EXPECT_EQ(note.bytes, row.bytes) << row.what;
            EXPECT_EQ(SiteText(note.site).rfind("routed_probe.dll+0x", 0), 0u) << row.what << ": " << SiteText(note.site);
        }
        Kind held = Kind::Other;
        EXPECT_TRUE(ledger.Holds(row.kind, value, &held)) << row.what;
        EXPECT_EQ(held, row.kind) << row.what;
        {
            const running::Scope call(kStatus);
            row.giveBack(value);
            const taken::NoteEntry note = OnlyNote();
            EXPECT_TRUE(note.givenBack) << row.what;
            EXPECT_EQ(note.kind, row.kind) << row.what;
        }
        EXPECT_FALSE(ledger.Holds(row.kind, value)) << row.what;
    }
}

// Growing a block gives the old one back and takes the new one at its size; a
// duplicate is the kind of its source.
TEST(Routing, ReallocationAndDuplicates)
{
    Ledger& ledger = TheLedger();
    const running::Scope call(kRead);
    void* block = Export<void* (*)(std::size_t)>("ProbeMalloc")(16);
    void* grown = Export<void* (*)(void*, std::size_t)>("ProbeRealloc")(block, 1 << 20);
    ASSERT_NE(grown, nullptr);
    EXPECT_NE(grown, block) << "a block of 1 MB does not fit where 16 bytes were";
    EXPECT_FALSE(ledger.Holds(Kind::Heap, Value(block)));
    EXPECT_TRUE(ledger.Holds(Kind::Heap, Value(grown)));
    Export<void (*)(void*)>("ProbeFree")(grown);
    EXPECT_FALSE(ledger.Holds(Kind::Heap, Value(grown)));

    const HANDLE event = Export<HANDLE (*)()>("ProbeOpenEvent")();
    const HANDLE copy = Export<HANDLE (*)(HANDLE)>("ProbeDuplicate")(event);
    Kind held = Kind::Other;
    ASSERT_TRUE(ledger.Holds(Kind::Other, Value(copy), &held));
    EXPECT_EQ(held, Kind::Event);
    CloseIt(Value(copy));
    CloseIt(Value(event));
    EXPECT_FALSE(ledger.Holds(Kind::Other, Value(event)));
}

// The probe sees the last error the real function left, on success and on failure.
TEST(Routing, LastErrorKept)
{
    HANDLE file = nullptr;
    EXPECT_EQ(Export<DWORD (*)(HANDLE*)>("ProbeMissingFile")(&file), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(file, INVALID_HANDLE_VALUE);
    HANDLE first = nullptr;
    HANDLE second = nullptr;
    EXPECT_EQ(Export<DWORD (*)(const wchar_t*, HANDLE*)>("ProbeEventAgain")(L"ZantorRoutingProbe", &first), 0u);
    EXPECT_EQ(Export<DWORD (*)(const wchar_t*, HANDLE*)>("ProbeEventAgain")(L"ZantorRoutingProbe", &second),
              static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_TRUE(TheLedger().Holds(Kind::Event, Value(second)));
    CloseIt(Value(first));
    CloseIt(Value(second));
}

// GetProcAddress answers the library with the wrapper for a routed name, and with
// the real function for any other.
TEST(Routing, GetProcAddressAnswersWithTheWrapper)
{
    const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    void* real = reinterpret_cast<void*>(GetProcAddress(kernel32, "CreateEventW"));
    void* answered = Export<void* (*)(const char*)>("ProbeGetProc")("CreateEventW");
    ASSERT_NE(answered, nullptr);
    EXPECT_NE(answered, real);
    EXPECT_EQ(Export<void* (*)(const char*)>("ProbeGetProc")("GetTickCount"),
              reinterpret_cast<void*>(GetProcAddress(kernel32, "GetTickCount")));
    const HANDLE event = reinterpret_cast<decltype(&CreateEventW)>(answered)(nullptr, TRUE, FALSE, nullptr);
    EXPECT_TRUE(TheLedger().Holds(Kind::Event, Value(event)));
    CloseIt(Value(event));
}

// A thread of the library opens and frees while Zantor's thread calls the
// library: its work is outside, the call's own is the call's, every count adds
// up, and the thread, once ended, is given back. Zantor's own threads are not
// the library's.
TEST(Routing, LibraryThreadWhileZantorCalls)
{
    Ledger& ledger = TheLedger();
    struct Churn {
        volatile LONG stop;
        volatile LONG rounds;
    } churn = {0, 0};
    HANDLE thread = nullptr;
    {
        const running::Scope call(kRead);
        thread = Export<HANDLE (*)(Churn*)>("ProbeStartChurn")(&churn);
        ASSERT_NE(thread, nullptr);
    }
    const DWORD id = GetThreadId(thread);
    EXPECT_TRUE(ledger.Holds(Kind::Thread, id));
    for (int call = 0; call < 2000 || InterlockedCompareExchange(&churn.rounds, 0, 0) < 1000; ++call) {
        const running::Scope scope(kStatus);
        CloseIt(Value(Export<HANDLE (*)()>("ProbeOpenEvent")()));
        ASSERT_LT(call, 10000000) << "the library's thread made no progress";
    }
    InterlockedExchange(&churn.stop, 1);
    ASSERT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    EXPECT_FALSE(ledger.Holds(Kind::Thread, id)) << "the thread ended";
    CloseIt(Value(thread));

    std::vector<taken::Row> rows(ledger.Rows(nullptr, 0));
    ledger.Rows(rows.data(), rows.size());
    std::uint64_t outsideEvents = 0;
    std::uint64_t outsideHeap = 0;
    bool startedInRead = false;
    for (const taken::Row& row : rows) {
        if (row.operation == taken::kOutside && row.kind == Kind::Event)
            outsideEvents += row.taken;
        if (row.operation == taken::kOutside && row.kind == Kind::Heap) {
            outsideHeap += row.taken;
            EXPECT_EQ(row.outstanding, 0u);
        }
        if (row.operation == taken::kOutside || row.kind == Kind::Thread) {
            EXPECT_EQ(row.outstanding, 0u) << taken::KindName(row.kind);
        }
        if (row.operation == kRead && row.kind == Kind::Thread)
            startedInRead = true;
    }
    EXPECT_GE(outsideEvents, 1000u);
    EXPECT_GE(outsideHeap, 1000u);
    EXPECT_TRUE(startedInRead);

    // A thread Zantor starts itself, outside any call, is none of the library's.
    DWORD own = 0;
    const HANDLE mine = CreateThread(nullptr, 0, &OwnThread, nullptr, CREATE_SUSPENDED, &own);
    ASSERT_NE(mine, nullptr);
    ResumeThread(mine);
    EXPECT_FALSE(ledger.Holds(Kind::Thread, own));
    WaitForSingleObject(mine, 10000);
    CloseHandle(mine);
}

// A thread that ends at once: started in the call, given back when it ends.
TEST(Routing, ThreadThatEnds)
{
    DWORD id = 0;
    HANDLE thread = nullptr;
    {
        const running::Scope call(kRead);
        thread = Export<HANDLE (*)(DWORD*)>("ProbeStartQuick")(&id);
        ASSERT_NE(thread, nullptr);
        EXPECT_NE(id, 0u) << "the caller's id is filled in";
    }
    ASSERT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 7u);
    EXPECT_FALSE(TheLedger().Holds(Kind::Thread, id));
    CloseIt(Value(thread));
}

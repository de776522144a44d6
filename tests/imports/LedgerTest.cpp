// The ledger of what the library took and gave back: attribution to operation and
// site, the cap, the leak rule's threshold and the sentences that name a cause.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "Ledger.h"

using taken::Cause;
using taken::Kind;
using taken::Ledger;
using taken::NoteEntry;
using taken::Row;
using taken::Site;

namespace {

constexpr std::uint8_t kStatus = 2;
constexpr std::uint8_t kRead = 3;
constexpr std::uint8_t kInfo = 4;
constexpr std::uintptr_t kBase = 0x10000000;

// A ledger in memory of its own, with Mervik.dll at kBase.
struct TestLedger {
    explicit TestLedger(std::size_t cap = Ledger::kItemCap)
        : memory(Ledger::MemoryFor(cap) / sizeof(std::uint64_t) + 1), ledger(memory.data(), Ledger::MemoryFor(cap), cap)
    {
        ledger.AddModule("Mervik.dll", kBase, 0x20000);
    }
    Site At(std::uintptr_t offset) const { return ledger.Place(kBase + offset); }
    std::vector<Row> Rows() const
    {
        std::vector<Row> rows(ledger.Rows(nullptr, 0));
        ledger.Rows(rows.data(), rows.size());
        return rows;
    }
    std::vector<Cause> Judge() const
    {
        std::vector<Cause> causes(64);
        causes.resize(ledger.Judge(causes.data(), causes.size()));
        return causes;
    }
    std::string Sentence(const Cause& cause) const
    {
        char text[256];
        taken::WriteCause(ledger, cause, text, sizeof text);
        return text;
    }
    std::vector<std::uint64_t> memory;
    Ledger ledger;
};

}  // namespace

// A handle opened in one operation and closed in another is counted on the row
// that took it, and each call's note says what that call did, at its own site.
TEST(Ledger, HandleTakenInOneOperationGivenBackInAnother)
{
    TestLedger t;
    t.ledger.BeginCall(taken::kOpenDevice);
    t.ledger.Take(Kind::Event, 0x44, 0, taken::kOpenDevice, t.At(0x1A2B), true);
    NoteEntry note[4];
    ASSERT_EQ(t.ledger.Note(note, 4), 1u);
    EXPECT_FALSE(note[0].givenBack);
    EXPECT_EQ(note[0].kind, Kind::Event);
    t.ledger.EndCall();

    t.ledger.BeginCall(taken::kCloseDevice);
    // CloseHandle knows no kind: the ledger answers with the one it was taken as.
    EXPECT_TRUE(t.ledger.GiveBack(Kind::Other, 0x44, t.At(0x3000), true));
    EXPECT_FALSE(t.ledger.GiveBack(Kind::Other, 0x44, t.At(0x3000), true)) << "given back twice";
    ASSERT_EQ(t.ledger.Note(note, 4), 1u);
    EXPECT_TRUE(note[0].givenBack);
    EXPECT_EQ(note[0].kind, Kind::Event);
    EXPECT_EQ(note[0].site, t.At(0x3000));
    t.ledger.EndCall();

    const std::vector<Row> rows = t.Rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].operation, taken::kOpenDevice);
    EXPECT_EQ(rows[0].site, t.At(0x1A2B));
    EXPECT_EQ(rows[0].taken, 1u);
    EXPECT_EQ(rows[0].givenBack, 1u);
    EXPECT_EQ(rows[0].outstanding, 0u);
    EXPECT_EQ(rows[0].atLastClose, 0u);
    EXPECT_TRUE(t.Judge().empty());
}

// Values of different spaces never meet: a heap block at the address a handle
// happens to have is another item; heap counts bytes, other kinds none.
TEST(Ledger, KindsKeepTheirOwnValuesAndBytes)
{
    TestLedger t;
    t.ledger.BeginCall(kRead);
    t.ledger.Take(Kind::File, 0x1000, 77, kRead, t.At(0x10), true);
    t.ledger.Take(Kind::Heap, 0x1000, 4096, kRead, t.At(0x20), true);
    t.ledger.Take(Kind::Heap, 0x2000, 100, kRead, t.At(0x20), true);
    Kind as = Kind::Other;
    EXPECT_TRUE(t.ledger.Holds(Kind::Mutex, 0x1000, &as));
    EXPECT_EQ(as, Kind::File);
    EXPECT_TRUE(t.ledger.GiveBack(Kind::Heap, 0x1000, t.At(0x30), true));
    EXPECT_TRUE(t.ledger.Holds(Kind::Other, 0x1000)) << "the file is still open";
    NoteEntry note[4];
    ASSERT_EQ(t.ledger.Note(note, 4), 3u);
    EXPECT_EQ(note[1].count, 2u);
    EXPECT_EQ(note[1].bytes, 4196u);
    EXPECT_EQ(note[2].bytes, 4096u);
    const std::vector<Row> rows = t.Rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].bytesTaken, 0u) << "a file has no bytes";
    EXPECT_EQ(rows[1].bytesTaken, 4196u);
    EXPECT_EQ(rows[1].bytesOutstanding, 100u);

    // A module loaded twice is held until freed twice; a thread seen twice is one.
    t.ledger.Take(Kind::Module, 0x30000000, 0, kRead, t.At(0x40), true);
    t.ledger.Take(Kind::Module, 0x30000000, 0, kRead, t.At(0x40), true);
    EXPECT_TRUE(t.ledger.GiveBack(Kind::Module, 0x30000000, t.At(0x50), true));
    EXPECT_TRUE(t.ledger.Holds(Kind::Module, 0x30000000));
    EXPECT_TRUE(t.ledger.GiveBack(Kind::Module, 0x30000000, t.At(0x50), true));
    EXPECT_FALSE(t.ledger.Holds(Kind::Module, 0x30000000));
    EXPECT_TRUE(t.ledger.TakeUnlessHeld(Kind::Thread, 0x1000, kRead, t.At(0x60), true));
    EXPECT_FALSE(t.ledger.TakeUnlessHeld(Kind::Thread, 0x1000, kRead, t.At(0x70), true));
    EXPECT_EQ(t.ledger.Outstanding(), 3u) << "the file, the block and the thread";
    // A handle value handed out again while held: the old one was closed unseen.
    t.ledger.Take(Kind::Event, 0x1000, 0, kInfo, t.At(0x80), true);
    ASSERT_TRUE(t.ledger.Holds(Kind::Other, 0x1000, &as));
    EXPECT_EQ(as, Kind::Event);
    EXPECT_EQ(t.Rows()[0].givenBack, 1u);
}

// Past the cap, items are counted by their site only and the ledger says so; a
// value given back that it did not keep is not attributed to anything.
TEST(Ledger, PastTheCapCountsBySiteOnly)
{
    TestLedger t(8);
    t.ledger.BeginCall(kRead);
    for (std::uintptr_t i = 0; i < 10; ++i)
        t.ledger.Take(Kind::Event, 0x100 + 4 * i, 0, kRead, t.At(0x40), false);
    EXPECT_TRUE(t.ledger.Capped());
    EXPECT_EQ(t.ledger.Untracked(), 2u);
    EXPECT_EQ(t.ledger.Outstanding(), 8u);
    for (std::uintptr_t i = 0; i < 10; ++i)
        EXPECT_EQ(t.ledger.GiveBack(Kind::Event, 0x100 + 4 * i, t.At(0x50), false), i < 8) << i;
    const std::vector<Row> rows = t.Rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].taken, 10u);
    EXPECT_EQ(rows[0].outstanding, 2u);
    EXPECT_EQ(rows[0].untracked, 2u);
    // Room freed, values are kept again.
    t.ledger.Take(Kind::Event, 0x900, 0, kRead, t.At(0x40), false);
    EXPECT_TRUE(t.ledger.Holds(Kind::Event, 0x900));
}

// The memory of the full cap stays far inside the 32 MB a burn-in's figures may take.
TEST(Ledger, MemoryIsBoundedAtTheCap)
{
    EXPECT_LE(Ledger::MemoryFor(), 5u * 1024 * 1024);
    EXPECT_GE(Ledger::MemoryFor() / 32, Ledger::kItemCap) << "room for the cap's items";
    // Too little memory: nothing is written past it, and the takes are counted as lost.
    std::vector<std::uint64_t> small(16);
    Ledger ledger(small.data(), small.size() * sizeof(std::uint64_t));
    ledger.Take(Kind::Heap, 0x10, 8, kRead, Site(), false);
    EXPECT_FALSE(ledger.Holds(Kind::Heap, 0x10));
    EXPECT_EQ(ledger.LostRows(), 1u);
}

// Takes and gives back at random against a plain map: a slip in the table's
// probing or in the shifts of its deletion loses or finds the wrong item.
TEST(Ledger, AgreesWithAMapOverManyTakesAndGiveBacks)
{
    TestLedger t(4096);
    std::map<std::uintptr_t, std::uint64_t> held;
    std::mt19937 random(7);
    t.ledger.BeginCall(kInfo);
    for (int step = 0; step < 200000; ++step) {
        // Values close together and sharing low bits, as handles and blocks do.
        const std::uintptr_t value = (random() % 6000) * 16;
        const bool has = held.count(value) != 0;
        if (!has && held.size() < 4096) {
            const std::uint64_t bytes = random() % 1000;
            t.ledger.Take(Kind::Heap, value, bytes, kInfo, t.At(0x100), false);
            held[value] = bytes;
        } else {
            ASSERT_EQ(t.ledger.GiveBack(Kind::Heap, value, t.At(0x200), false), has) << step;
            held.erase(value);
        }
    }
    std::uint64_t bytes = 0;
    for (const auto& item : held) {
        ASSERT_TRUE(t.ledger.Holds(Kind::Heap, item.first));
        bytes += item.second;
    }
    EXPECT_EQ(t.ledger.Outstanding(), held.size());
    EXPECT_EQ(t.Rows()[0].bytesOutstanding, bytes);
    EXPECT_FALSE(t.ledger.Capped());
}

// The library's threads take and give back while Zantor's thread calls: every
// count adds up.
TEST(Ledger, ThreadsTakeAndGiveBackAtOnce)
{
    TestLedger t;
    std::vector<std::thread> threads;
    for (std::uintptr_t n = 0; n < 4; ++n) {
        threads.emplace_back([&t, n] {
            for (std::uintptr_t i = 0; i < 20000; ++i) {
                const std::uintptr_t value = (n << 24) | (i * 8);
                t.ledger.Take(Kind::Heap, value, 16, taken::kOutside, t.At(0x700 + n), false);
                if (i % 2 == 0)
                    t.ledger.GiveBack(Kind::Heap, value, t.At(0x800), false);
            }
        });
    }
    for (int call = 0; call < 1000; ++call) {
        t.ledger.BeginCall(kStatus);
        t.ledger.EndCall();
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(t.ledger.Outstanding(), 4u * 10000);
    for (const Row& row : t.Rows()) {
        EXPECT_EQ(row.taken, 20000u);
        EXPECT_EQ(row.outstanding, 10000u);
        EXPECT_EQ(row.bytesOutstanding, 160000u);
    }
    EXPECT_EQ(t.ledger.Calls(kStatus), 1000u);
}

// CloseDevice keeps each row's outstanding as it was at that close, and the
// session's held count restarts at every OpenDevice.
TEST(Ledger, OutstandingAtEachClose)
{
    TestLedger t;
    for (int cycle = 0; cycle < 3; ++cycle) {
        t.ledger.BeginCall(taken::kOpenDevice);
        t.ledger.Take(Kind::Mutex, 0x10 + 4 * static_cast<std::uintptr_t>(cycle), 0, taken::kOpenDevice, t.At(0x10),
                      true);
        t.ledger.EndCall();
        EXPECT_EQ(t.Rows()[0].sessionHeld, 1u);
        t.ledger.BeginCall(taken::kCloseDevice);
        t.ledger.EndCall();
    }
    EXPECT_EQ(t.Rows()[0].atLastClose, 3u);
    EXPECT_EQ(t.Rows()[0].mostAtClose, 3u);
    t.ledger.BeginCall(taken::kCloseDevice);
    t.ledger.GiveBack(Kind::Mutex, 0x10, t.At(0x20), true);
    t.ledger.GiveBack(Kind::Mutex, 0x14, t.At(0x20), true);
    t.ledger.EndCall();
    EXPECT_EQ(t.Rows()[0].atLastClose, 1u);
    EXPECT_EQ(t.Rows()[0].mostAtClose, 3u);
}

// The leak rule: held at the end from at least 90% of the operation's calls (and
// from more than one) is a leak; a table made once is kept, not leaked.
TEST(Ledger, LeakThreshold)
{
    struct Case {
        const char* what;
        int calls;
        int heldFrom;
        bool leak;
    } const cases[] = {
        {"every call", 1000, 1000, true},
        {"exactly 90%", 1000, 900, true},
        {"just under 90%", 1000, 899, false},
        {"a table made at the first call", 1000, 1, false},
        {"one call, once", 1, 1, false},
        {"both of two calls", 2, 2, true},
    };
    for (const Case& c : cases) {
        TestLedger t;
        std::uintptr_t value = 0x1000;
        for (int call = 0; call < c.calls; ++call) {
            // A round of readCard: a status call between two, as in a cycle.
            t.ledger.BeginCall(kStatus);
            t.ledger.EndCall();
            t.ledger.BeginCall(kRead);
            // Two items a call still count as one call holding them.
            for (int twice = 0; twice < 2; ++twice) {
                value += 4;
                t.ledger.Take(Kind::Event, value, 0, kRead, t.At(0x1A2B), true);
                if (call >= c.heldFrom)
                    t.ledger.GiveBack(Kind::Event, value, t.At(0x1B00), true);
            }
            t.ledger.EndCall();
        }
        const std::vector<Cause> causes = t.Judge();
        ASSERT_EQ(causes.size(), 1u) << c.what;
        EXPECT_EQ(causes[0].leak, c.leak) << c.what;
        EXPECT_EQ(causes[0].calls, static_cast<std::uint64_t>(c.heldFrom)) << c.what;
        EXPECT_EQ(causes[0].of, static_cast<std::uint64_t>(c.calls)) << c.what;
    }
}

// Leaks come before what is kept, and each sentence names the operation, the kind,
// the site and the calls exactly.
TEST(Ledger, CausesInWords)
{
    TestLedger t;
    for (int call = 0; call < 1000; ++call) {
        // A card-information read: eleven calls, one round.
        for (int field = 0; field < 11; ++field) {
            t.ledger.BeginCall(kInfo);
            if (call == 0 && field == 10)
                t.ledger.Take(Kind::Heap, 0x5000, 4096, kInfo, t.At(0x2000), true);
            t.ledger.EndCall();
        }
        t.ledger.BeginCall(kRead);
        t.ledger.Take(Kind::Event, 0x100 + 4 * static_cast<std::uintptr_t>(call), 0, kRead, t.At(0x1A2B), true);
        t.ledger.Take(Kind::Thread, 0x900 + static_cast<std::uintptr_t>(call), 0, kRead, t.At(0x1C00), true);
        t.ledger.EndCall();
    }
    t.ledger.Take(Kind::Heap, 0x7000, 64, taken::kOutside, t.ledger.Place(0x0040F00D), false);
    EXPECT_EQ(t.ledger.Calls(kInfo), 11000u);
    EXPECT_EQ(t.ledger.Rounds(kInfo), 1000u);
    const std::vector<Cause> causes = t.Judge();
    ASSERT_EQ(causes.size(), 4u);
    EXPECT_EQ(t.Sentence(causes[0]), "readCard opens an event at Mervik.dll+0x1A2B and never closes it: 1000 of 1000 calls");
    EXPECT_EQ(t.Sentence(causes[1]), "readCard starts a thread at Mervik.dll+0x1C00 and it never ends: 1000 of 1000 calls");
    EXPECT_EQ(t.Sentence(causes[2]), "GetCardInfo keeps heap it allocated at Mervik.dll+0x2000: 1 of 1000 calls, 4096 bytes held");
    const std::string outside = sizeof(void*) == 8 ? "0x000000000040F00D" : "0x0040F00D";
    EXPECT_EQ(t.Sentence(causes[3]), "outside a call, the library keeps heap it allocated at " + outside + " (1 held, 64 bytes)");
}

// Sites are placed in the module's list; a module loaded again at another place
// keeps its index, and an address in no module is written whole.
TEST(Ledger, SitesInModules)
{
    TestLedger t;
    const std::uint16_t helper = t.ledger.AddModule("MervikUsb.dll", 0x30000000, 0x1000);
    char text[96];
    t.ledger.WriteSite(t.ledger.Place(0x30000FFF), text, sizeof text);
    EXPECT_STREQ(text, "MervikUsb.dll+0xFFF");
    t.ledger.WriteSite(t.ledger.Place(0x30001000), text, sizeof text);
    EXPECT_STREQ(text, sizeof(void*) == 8 ? "0x0000000030001000" : "0x30001000") << "one past the module's end";
    EXPECT_EQ(t.ledger.AddModule("MervikUsb.dll", 0x40000000, 0x2000), helper);
    EXPECT_EQ(t.ledger.Place(0x40001000).module, helper);
    EXPECT_EQ(t.ledger.ModuleCount(), 2u);
    // A site's text never overruns its room.
    char small[8];
    EXPECT_EQ(t.ledger.WriteSite(t.At(0x1A2B), small, sizeof small), 7u);
    EXPECT_STREQ(small, "Mervik.");
}

// The call log's notes: what one call took and gave back, and after CloseDevice
// what is still held of the session, each at its site; nothing when nothing was.
TEST(Ledger, NotesInWords)
{
    TestLedger t;
    char text[512];
    t.ledger.BeginCall(taken::kOpenDevice);
    EXPECT_EQ(taken::WriteCallNote(t.ledger, text, sizeof text), 0u);
    EXPECT_STREQ(text, "");
    t.ledger.Take(Kind::Event, 0x44, 0, taken::kOpenDevice, t.At(0x1A2B), true);
    t.ledger.EndCall();
    t.ledger.BeginCall(kRead);
    t.ledger.Take(Kind::Heap, 0x1000, 4096, kRead, t.At(0x20), true);
    t.ledger.Take(Kind::Heap, 0x2000, 100, kRead, t.At(0x20), true);
    t.ledger.GiveBack(Kind::Heap, 0x1000, t.At(0x30), true);
    t.ledger.EndCall();
    taken::WriteCallNote(t.ledger, text, sizeof text);
    EXPECT_STREQ(text, "took heap 2 (4196 bytes) at Mervik.dll+0x20; gave back heap 1 (4096 bytes) at Mervik.dll+0x30");

    t.ledger.BeginCall(taken::kCloseDevice);
    t.ledger.Take(Kind::Module, 0x30000000, 0, taken::kCloseDevice, t.At(0x40), true);
    t.ledger.GiveBack(Kind::Module, 0x30000000, t.At(0x50), true);
    t.ledger.EndCall();
    taken::WriteCallNote(t.ledger, text, sizeof text);
    EXPECT_STREQ(text, "took module 1 at Mervik.dll+0x40; gave back module 1 at Mervik.dll+0x50");
    taken::WriteHeldNote(t.ledger, text, sizeof text);
    EXPECT_STREQ(text, "still held: event 1 of OpenDevice at Mervik.dll+0x1A2B, heap 1 (100 bytes) of readCard at "
                       "Mervik.dll+0x20");

    // A new session holds nothing of the old one's; a note cut short says so.
    t.ledger.BeginCall(taken::kOpenDevice);
    EXPECT_EQ(taken::WriteHeldNote(t.ledger, text, sizeof text), 0u);
    t.ledger.GiveBack(Kind::Event, 0x44, t.At(0x60), true);
    EXPECT_EQ(taken::WriteCallNote(t.ledger, text, 12), 11u);
    EXPECT_STREQ(text, "gave back e");
    for (std::uintptr_t i = 0; i <= Ledger::kNoteCapacity; ++i)
        t.ledger.Take(Kind::File, 0x100 + 4 * i, 0, taken::kOpenDevice, t.At(0x100 + i), true);
    static char whole[8192];
    taken::WriteCallNote(t.ledger, whole, sizeof whole);
    const std::string note = whole;
    EXPECT_EQ(note.substr(note.size() - 6), "; more");
}

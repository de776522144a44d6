// What the library takes from Windows, as the call log shows it: the stand-in
// takes one of each kind through its imports (take=) in readCard, and the log's
// "#taken" line after the call and "#held" line after CloseDevice name each at
// its site in Mervik.dll; given back, nothing is held; /trace none shows nothing.
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "ConsoleTest.h"

namespace e2e {
namespace {

class ImportsTest : public ConsoleTest {
protected:
    // One session, open, read the card `reads` times, close, with the log; its
    // ledger notes ("#taken", "#held") and the operation of the call line before each.
    struct Note {
        std::string kind;
        std::string after;
        std::string text;
    };
    std::vector<Note> Session(const std::wstring& script, int reads = 1, const std::wstring& arguments = L"")
    {
        m_folder->WriteScript(script);
        Console& console = Start(ProgramFile(), L"/log calls.log" + arguments);
        console.ClickAndDismiss(IDC_BTN_OPEN);
        for (int i = 0; i < reads; ++i)
            console.ClickAndDismiss(IDC_BTN_READCARD);
        console.ClickAndDismiss(IDC_BTN_CLOSE);
        std::vector<Note> notes;
        std::string after;
        for (const auto& line : LogLinesCut(m_folder->ReadBytes(L"calls.log"), true)) {
            if (line.at(0) == "#taken" || line.at(0) == "#held")
                notes.push_back({line.at(0), after, line.at(2)});
            else if (line.at(0)[0] != '#' && line.size() > 3 && line.at(3) != "started")
                after = line.at(1);
        }
        return notes;
    }
    static std::string Of(const std::vector<Note>& notes, const std::string& kind, const std::string& after)
    {
        std::string found;
        for (const Note& note : notes) {
            if (note.kind == kind && note.after == after)
                found += note.text + "\n";
        }
        return found;
    }
};

// What each kind is called in the notes, with its count or bytes.
struct KindRow {
    const char* taken;  // in the "#taken" line after readCard
    const char* held;   // in the "#held" line after CloseDevice
};
const KindRow kKinds[] = {
    {"event 1 at Mervik.dll+0x", "event 1 of readCard at Mervik.dll+0x"},
    {"mutex 1 at Mervik.dll+0x", "mutex 1 of readCard at Mervik.dll+0x"},
    {"semaphore 1 at Mervik.dll+0x", "semaphore 1 of readCard at Mervik.dll+0x"},
    {"mapping 1 at Mervik.dll+0x", "mapping 1 of readCard at Mervik.dll+0x"},
    {"file 1 at Mervik.dll+0x", "file 1 of readCard at Mervik.dll+0x"},
    {"registry 1 at Mervik.dll+0x", "registry 1 of readCard at Mervik.dll+0x"},
    {"thread 1 at Mervik.dll+0x", "thread 1 of readCard at Mervik.dll+0x"},
    {"heap 1 (100 bytes) at Mervik.dll+0x", "heap 1 (100 bytes) of readCard at Mervik.dll+0x"},
    {"heap 1 (200 bytes) at Mervik.dll+0x", "heap 1 (200 bytes) of readCard at Mervik.dll+0x"},
    {"heap 1 (300 bytes) at Mervik.dll+0x", "heap 1 (300 bytes) of readCard at Mervik.dll+0x"},
    {"heap 1 (65536 bytes) at Mervik.dll+0x", "heap 1 (65536 bytes) of readCard at Mervik.dll+0x"},
    {"heap 1 (400 bytes) at Mervik.dll+0x", "heap 1 (400 bytes) of readCard at Mervik.dll+0x"},
    {"module 1 at Mervik.dll+0x", "module 1 of readCard at Mervik.dll+0x"},
};
const wchar_t kEveryKind[] =
    L"event mutex semaphore mapping file registry thread heap local global virtual malloc module";

}  // namespace

// Kept: each kind is noted after readCard and still held after CloseDevice.
TEST_F(ImportsTest, EveryKindTakenIsNotedAndHeld)
{
    const std::vector<Note> notes = Session(std::wstring(L"[readCard]\ntake=") + kEveryKind + L"\n");
    const std::string taken = Of(notes, "#taken", "readCard");
    const std::string held = Of(notes, "#held", "CloseDevice");
    for (const KindRow& row : kKinds) {
        EXPECT_NE(taken.find(row.taken), std::string::npos) << row.taken << " in " << taken;
        EXPECT_NE(held.find(row.held), std::string::npos) << row.held << " in " << held;
    }
}

// Given back in the same call: the note says so, and nothing of readCard is held.
TEST_F(ImportsTest, ALibraryThatGivesEverythingBackHoldsNothing)
{
    const std::vector<Note> notes =
        Session(std::wstring(L"[readCard]\ntake=thread_end give_back ") + kEveryKind + L"\n");
    const std::string taken = Of(notes, "#taken", "readCard");
    for (const KindRow& row : kKinds)
        EXPECT_NE(taken.find(row.taken), std::string::npos) << row.taken << " in " << taken;
    const std::string gaveBack = taken.substr(taken.find("gave back"));
    for (const char* kind : {"event 1", "mutex 1", "semaphore 1", "mapping 1", "file 1", "registry 1",
                             "heap 1 (65536 bytes)", "module 1"})
        EXPECT_NE(gaveBack.find(kind), std::string::npos) << kind << " in " << gaveBack;
    // Both threads ended in the call, each noted at its start address.
    const std::size_t first = gaveBack.find("thread 1 at Mervik.dll+0x");
    ASSERT_NE(first, std::string::npos) << gaveBack;
    EXPECT_NE(gaveBack.find("thread 1 at Mervik.dll+0x", first + 1), std::string::npos) << gaveBack;
    EXPECT_EQ(Of(notes, "#held", "CloseDevice").find("of readCard"), std::string::npos)
        << Of(notes, "#held", "CloseDevice");
}

// A table made at the first call only: noted in that call, not in the next.
TEST_F(ImportsTest, AOneOffTableIsTakenOnce)
{
    const std::vector<Note> notes = Session(L"[readCard]\ntake=once,event\n", 2);
    std::vector<std::string> reads;
    for (const Note& note : notes) {
        if (note.kind == "#taken" && note.after == "readCard")
            reads.push_back(note.text);
    }
    ASSERT_FALSE(reads.empty());
    EXPECT_NE(reads.front().find("event 1 at Mervik.dll+0x"), std::string::npos) << reads.front();
    for (std::size_t i = 1; i < reads.size(); ++i)
        EXPECT_EQ(reads[i].find("event"), std::string::npos) << reads[i];
    EXPECT_NE(Of(notes, "#held", "CloseDevice").find("event 1 of readCard"), std::string::npos);
}

// /trace none: the import table is left alone, and the log has no notes of it.
TEST_F(ImportsTest, TraceNoneLeavesTheImportsAlone)
{
    const std::vector<Note> notes = Session(std::wstring(L"[readCard]\ntake=") + kEveryKind + L"\n", 1, L" /trace none");
    EXPECT_TRUE(notes.empty()) << notes.size() << " notes, the first: " << (notes.empty() ? "" : notes[0].text);
    EXPECT_EQ(LogLinesCut(m_folder->ReadBytes(L"calls.log"), false).size(), 6u) << "three calls, two lines each";
}

// A burn-in: an event opened in every readCard and never closed is a leak the
// verdict names at its site; a heap block kept from the first status call is
// listed in the JSON, not a leak; given back, nothing of it is outstanding.
TEST_F(ImportsTest, ABurnInNamesTheLeakAndListsWhatWasTaken)
{
    m_folder->WriteScript(L"[readCard]\ntake=event\n[getDeviceStatus]\ntake=heap once\n"
                          L"[CloseDevice]\ntake=mutex,give_back\n");
    EXPECT_EQ(RunToExit(*m_folder, ProgramFile(), 30000, L"/cycles 20 /report run.html"), 1u);
    const nlohmann::json report = nlohmann::json::parse(m_folder->ReadBytes(L"run.json"));
    bool leakNamed = false;
    for (const auto& reason : report.at("verdict").at("reasons")) {
        const std::string text = reason.get<std::string>();
        if (text.rfind("readCard opens an event at Mervik.dll+0x", 0) == 0 &&
            text.find(" and never closes it: 20 of 20 calls") != std::string::npos)
            leakNamed = true;
        EXPECT_EQ(text.find("getDeviceStatus"), std::string::npos) << "a table made once is no leak: " << text;
    }
    EXPECT_TRUE(leakNamed) << report.at("verdict").at("reasons");
    const auto& taken = report.at("library").at("taken");
    auto row = [&](const char* kind, const char* operation) {
        for (const auto& entry : taken) {
            if (entry.at("kind") == kind && entry.at("operation") == operation &&
                entry.at("site").get<std::string>().rfind("Mervik.dll+0x", 0) == 0 &&
                (entry.at("kind") != "heap" || entry.at("bytes") == 100))
                return entry;
        }
        return nlohmann::json();
    };
    const nlohmann::json event = row("event", "readCard");
    ASSERT_FALSE(event.is_null()) << taken;
    EXPECT_EQ(event.at("taken"), 20);
    EXPECT_EQ(event.at("givenBack"), 0);
    EXPECT_EQ(event.at("outstanding"), 20);
    EXPECT_EQ(event.at("bytes"), 0);
    const nlohmann::json table = row("heap", "getDeviceStatus");
    ASSERT_FALSE(table.is_null()) << taken;
    EXPECT_EQ(table.at("outstanding"), 1);
    const nlohmann::json mutex = row("mutex", "CloseDevice");
    ASSERT_FALSE(mutex.is_null()) << taken;
    EXPECT_EQ(mutex.at("taken"), 1);
    EXPECT_EQ(mutex.at("outstanding"), 0);
    EXPECT_EQ(report.at("library").at("modules").at(0), "Mervik.dll");
    const std::string page = m_folder->ReadBytes(L"run.html");
    const std::size_t section = page.find("<h2>What the library took and gave back</h2>");
    ASSERT_NE(section, std::string::npos);
    EXPECT_NE(page.find("<li>Leak: readCard opens an event at Mervik.dll+0x", section), std::string::npos);
}

}  // namespace e2e

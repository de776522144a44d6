// Burn-in runs through the real program: cycles made unattended, the report and
// its JSON beside it, and the exit code that says how the run went.
#include "ConsoleTest.h"

#include <nlohmann/json.hpp>

#include <string>

namespace e2e {
namespace {

using BurnInTest = ConsoleTest;
using Json = nlohmann::json;

constexpr DWORD kRunTimeoutMs = 120000;

// Waits for a console started on a burn-in to end by itself; its exit code.
DWORD RunBurnIn(Console& console)
{
    DWORD code = 0;
    if (!console.WaitForExit(kRunTimeoutMs, &code))
        throw DriveError("the burn-in did not end");
    return code;
}

const Json& Operation(const Json& report, const char* name)
{
    for (const Json& operation : report.at("operations"))
        if (operation.at("name") == name)
            return operation;
    throw DriveError(std::string("no operation ") + name);
}

// The count of each result code of an operation, as "code:count" in the order seen.
std::string Codes(const Json& operation)
{
    std::string codes;
    for (const Json& result : operation.at("results"))
        codes += std::to_string(result.at("code").get<int>()) + ":" + std::to_string(result.at("count").get<int>()) + " ";
    return codes;
}

// A readCard that fails every 50th call and leaks 4 KB and an event handle on
// every call: the counts exactly as scripted, both leaks found, exit code 1.
TEST_F(BurnInTest, AWornLibraryIsCountedAndItsLeaksFound)
{
    m_folder->WriteScript(L"[readCard]\nfail_every=50\nresult=-3\ntext=读卡失败 <script>x</script>\n"
                          L"leak=4096\nleak_handles=1\n");
    Console& console = Start(ProgramFile(), L"/cycles 200 /report run.html");
    EXPECT_EQ(RunBurnIn(console), 1u);
    const Json report = Json::parse(m_folder->ReadBytes(L"run.json"));
    EXPECT_FALSE(report.at("verdict").at("passed").get<bool>());
    EXPECT_EQ(report.at("run").at("cyclesDone"), 200);
    const Json& readCard = Operation(report, "readCard");
    EXPECT_EQ(readCard.at("calls"), 200);
    EXPECT_EQ(Codes(readCard), "0:196 -3:4 ");
    EXPECT_EQ(readCard.at("failedCycles"), Json::parse("[50, 100, 150, 200]"));
    EXPECT_EQ(Operation(report, "getDeviceStatus").at("calls"), 200);
    EXPECT_EQ(Operation(report, "GetCardInfo").at("calls"), 2200);
    EXPECT_EQ(Operation(report, "OpenDevice").at("calls"), 1);
    EXPECT_EQ(Operation(report, "CloseDevice").at("calls"), 1);
    const Json& growth = report.at("resources").at("growth");
    EXPECT_EQ(growth.at("committedPrivateBytes").at("verdict"), "leak");
    EXPECT_EQ(growth.at("handles").at("verdict"), "leak") << "counted handle by handle under Wine";
    // The library's text is data on the page, never markup.
    const std::string page = m_folder->ReadBytes(L"run.html");
    EXPECT_NE(page.find(ToUtf8(L"读卡失败 &lt;script&gt;x&lt;/script&gt;")), std::string::npos);
    EXPECT_EQ(page.find("<script"), std::string::npos);
}

// The stand-in as it is: every call succeeds, Zantor's own use stays flat.
TEST_F(BurnInTest, AWellBehavedLibraryPasses)
{
    Console& console = Start(ProgramFile(), L"/cycles 200 /report run.html");
    EXPECT_EQ(RunBurnIn(console), 0u);
    const Json report = Json::parse(m_folder->ReadBytes(L"run.json"));
    EXPECT_TRUE(report.at("verdict").at("passed").get<bool>()) << report.at("verdict").dump();
    EXPECT_EQ(report.at("consistency").at("readsDiffered"), 0);
    for (const char* resource : {"committedPrivateBytes", "handles"})
        EXPECT_EQ(report.at("resources").at("growth").at(resource).at("verdict"), "steady") << resource;
}

// Escape stops the run after the running step: the device is closed, the
// report covers the cycles that finished and says the run was stopped.
TEST_F(BurnInTest, EscapeStopsTheRunAndTheReportSaysSo)
{
    m_folder->WriteScript(L"[getDeviceStatus]\ndelay=5\n");
    Console& console = Start(ProgramFile(), L"/cycles 100000 /report run.html");
    const DWORD deadline = GetTickCount() + kTimeoutMs;
    while (console.Text(IDC_BURNIN_LINE).rfind(L"0 /", 0) == 0 && GetTickCount() < deadline)
        Sleep(10);  // polling: the line moves once the first cycle has finished
    // A press meanwhile runs between two steps, counted, with no box.
    console.Click(IDC_BTN_STATUS);
    console.Barrier();
    EXPECT_TRUE(console.OwnedWindows().empty());
    console.PressKey(IDC_EDIT_PORT, VK_ESCAPE);
    EXPECT_EQ(RunBurnIn(console), 4u);
    const Json report = Json::parse(m_folder->ReadBytes(L"run.json"));
    EXPECT_TRUE(report.at("run").at("stopped").get<bool>());
    const int done = report.at("run").at("cyclesDone");
    EXPECT_GT(done, 0);
    EXPECT_LT(done, 100000);
    EXPECT_EQ(Operation(report, "CloseDevice").at("calls"), 1);
    EXPECT_EQ(Operation(report, "GetCardInfo").at("calls"), 11 * done);
    const int statuses = Operation(report, "getDeviceStatus").at("calls");
    EXPECT_TRUE(statuses == done + 1 || statuses == done + 2) << statuses << " after " << done << " cycles";
}

// A burn-in recorded and replayed as a burn-in by the stand-in: the same figures,
// failures, card differences and messages; only the durations may differ.
TEST_F(BurnInTest, ARecordedRunReplaysToTheSameFigures)
{
    m_folder->WriteScript(L"[readCard]\nfail_every=7\nresult=-3\n[Field.5]\nvary_every=3\n");
    EXPECT_EQ(RunBurnIn(Start(ProgramFile(), L"/cycles 30 /report run.html /record run.ini")), 1u);
    const Json recorded = Json::parse(m_folder->ReadBytes(L"run.json"));
    m_folder->WriteBytes(L"Mervik.ini", m_folder->ReadBytes(L"run.ini"));
    EXPECT_EQ(RunBurnIn(Start(ProgramFile(), L"/cycles 30 /report replay.html")), 1u);
    const Json replayed = Json::parse(m_folder->ReadBytes(L"replay.json"));
    for (const char* name : {"OpenDevice", "CloseDevice", "getDeviceStatus", "readCard", "GetCardInfo"}) {
        for (const char* figure : {"calls", "failedCalls", "results", "failedCycles", "faults", "breaches"})
            EXPECT_EQ(Operation(replayed, name).at(figure), Operation(recorded, name).at(figure)) << name << " " << figure;
    }
    EXPECT_EQ(replayed.at("consistency"), recorded.at("consistency"));
    EXPECT_EQ(replayed.at("messages"), recorded.at("messages"));
    EXPECT_EQ(replayed.at("verdict").at("reasons"), recorded.at("verdict").at("reasons"));
}

}  // namespace
}  // namespace e2e

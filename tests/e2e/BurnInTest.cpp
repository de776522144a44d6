// Burn-in runs through the real program: cycles made unattended, the report and
// its JSON beside it, and the exit code that says how the run went.
#include "ConsoleTest.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

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

// The log's lines that are calls (not "#" lines), each cut at its tabs.
std::vector<std::vector<std::string>> CallLines(const std::string& log)
{
    std::vector<std::vector<std::string>> lines;
    for (std::size_t at = 0, end; (end = log.find("\r\n", at)) != std::string::npos; at = end + 2) {
        if (log[at] == '#')
            continue;
        lines.emplace_back(1);
        for (char c : log.substr(at, end - at)) {
            if (c == '\t')
                lines.back().emplace_back();
            else
                lines.back().back().push_back(c);
        }
    }
    return lines;
}

// A readCard that sleeps ten minutes on its fifth call: the watchdog ends the run
// within seconds of the timeout, with the report of the four cycles before
// naming the call, and the log's last call line is the one that never returned.
TEST_F(BurnInTest, ACallThatDoesNotReturnEndsTheRunWithExitCode5)
{
    m_folder->WriteScript(L"[readCard]\ndelay=600000\ndelay_call=5\n");
    Console& console = Start(ProgramFile(), L"/cycles 100 /timeout 3 /report run.html /log calls.log");
    DWORD code = 0;
    ASSERT_TRUE(console.WaitForExit(3000 + kTimeoutMs, &code)) << "still waiting for the library";
    EXPECT_EQ(code, 5u);
    const Json report = Json::parse(m_folder->ReadBytes(L"run.json"));
    EXPECT_EQ(report.at("verdict").at("reasons").at(0), "readCard did not return within 3 s (cycle 5)");
    EXPECT_TRUE(report.at("verdict").at("finished").get<bool>());
    EXPECT_EQ(report.at("run").at("cyclesDone"), 4);
    EXPECT_EQ(Operation(report, "readCard").at("calls"), 4);
    EXPECT_NE(m_folder->ReadBytes(L"run.html").find("readCard did not return within 3 s (cycle 5)"),
              std::string::npos);
    const auto lines = CallLines(m_folder->ReadBytes(L"calls.log"));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().at(1), "readCard");
    EXPECT_EQ(lines.back().at(3), "started");
}

// A library that ends the process in a call: the log's last line names the call,
// and the checkpoint written before the first call is on disk, incomplete.
TEST_F(BurnInTest, ALibraryThatEndsTheProcessLeavesItsCallAndTheCheckpoint)
{
    m_folder->WriteScript(L"[Field.11]\nexit=7\n");
    Console& console = Start(ProgramFile(), L"/cycles 50 /report run.html /log calls.log");
    EXPECT_EQ(RunBurnIn(console), 7u) << "the library's own exit code";
    const auto lines = CallLines(m_folder->ReadBytes(L"calls.log"));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().at(1), "GetCardInfo");
    EXPECT_EQ(lines.back().at(2), "11");
    EXPECT_EQ(lines.back().at(3), "started");
    const Json report = Json::parse(m_folder->ReadBytes(L"run.json"));
    EXPECT_FALSE(report.at("verdict").at("finished").get<bool>());
    EXPECT_FALSE(report.at("verdict").at("passed").get<bool>());
    EXPECT_EQ(report.at("verdict").at("line").get<std::string>().rfind("INCOMPLETE: 0 of 50 cycles done", 0), 0u)
        << report.at("verdict").at("line");
}

// A real Escape (SendInput, through the input queue) is read between two steps.
TEST_F(BurnInTest, ARealEscapeStopsTheRun)
{
    Console& console = Start(ProgramFile(), L"/cycles 1000000 /report run.html");
    const DWORD deadline = GetTickCount() + kTimeoutMs;
    while (console.Text(IDC_BURNIN_LINE).rfind(L"0 /", 0) == 0 && GetTickCount() < deadline)
        Sleep(10);  // polling: the line moves once the first cycle has finished
    console.TypeRealKey(VK_ESCAPE);
    DWORD code = 0;
    ASSERT_TRUE(console.WaitForExit(kTimeoutMs, &code)) << "the key was never read";
    EXPECT_EQ(code, 4u);
    EXPECT_TRUE(Json::parse(m_folder->ReadBytes(L"run.json")).at("run").at("stopped").get<bool>());
}

// Nothing of the run waits for a person: a mistake beside /cycles ends with 2 and
// no box, and a report folder that is not there ends the run before the first call.
TEST_F(BurnInTest, AnUnattendedRunThatCannotStartEndsWithoutABox)
{
    EXPECT_EQ(RunToExit(*m_folder, ProgramFile(), kTimeoutMs, L"/cycles 5 /bogus /log calls.log"), 2u);
    EXPECT_NE(m_folder->ReadBytes(L"calls.log").find("#error"), std::string::npos) << "the mistake in the log";
    EXPECT_EQ(RunToExit(*m_folder, ProgramFile(), kTimeoutMs, L"/cycles 5 /report missing\\run.html /log run.log"),
              3u);
    EXPECT_TRUE(CallLines(m_folder->ReadBytes(L"run.log")).empty()) << "no call was made";
}

// At the console, a call that has run for 10 s is named in a window of its own,
// counting, which closes by itself when the call returns; the command then ends
// as always.
TEST_F(BurnInTest, TheConsoleNamesACallThatRunsLong)
{
    m_folder->WriteScript(L"[readCard]\ndelay=15000\n");
    Console& console = Start();
    console.Click(IDC_BTN_READCARD);
    const HWND notice = console.WaitForTopLevel(L"ZantorHangNotice", 14000);
    ASSERT_NE(notice, nullptr) << "no window named the call";
    std::wstring texts;
    for (const ChildWindow& child : Children(notice))
        texts += child.text + L"|";
    EXPECT_NE(texts.find(L"读卡器库 readCard 调用仍未返回|已等待 1"), std::wstring::npos) << Shown(texts);
    EXPECT_NE(texts.find(L"结束程序"), std::wstring::npos) << Shown(texts);
    const OwnedBox box = console.WaitForOwnedBox(kTimeoutMs);
    const DWORD deadline = GetTickCount() + kTimeoutMs;
    while (IsWindow(notice) && GetTickCount() < deadline)
        Sleep(10);  // polling: the watchdog looks a few times a second
    EXPECT_FALSE(IsWindow(notice)) << "the window closes when the call returns";
    EXPECT_NE(box.text.find(L"状态码："), std::wstring::npos) << Shown(box.text);
    console.PressOk(box);
}

}  // namespace
}  // namespace e2e

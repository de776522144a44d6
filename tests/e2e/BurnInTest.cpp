// Burn-in runs through the real program: cycles made unattended, the report and
// its JSON beside it, and the exit code that says how the run went.
#include "ConsoleTest.h"

#include <nlohmann/json.hpp>

#include "Win32Owners.h"

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

// A run of 100,000 cycles stopped by the operator: stopped, some cycles done and
// not all, the device closed once. Returns the cycles done.
int ExpectStoppedRun(const Json& report)
{
    EXPECT_TRUE(report.at("run").at("stopped").get<bool>());
    const int done = report.at("run").at("cyclesDone");
    EXPECT_GT(done, 0);
    EXPECT_LT(done, 100000);
    EXPECT_EQ(Operation(report, "CloseDevice").at("calls"), 1);
    return done;
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
    // And each leak's exact cause: the operation, the kind, the site, every call.
    std::string causes;  // in the order first taken: the stand-in leaks its heap first
    for (const Json& reason : report.at("verdict").at("reasons")) {
        const std::string text = reason.get<std::string>();
        if (text.rfind("readCard opens an event at Mervik.dll+0x", 0) == 0 &&
            text.find(" and never closes it: 200 of 200 calls") != std::string::npos)
            causes += "event;";
        if (text.rfind("readCard allocates heap at Mervik.dll+0x", 0) == 0 &&
            text.find(" and never frees it: 200 of 200 calls, 819200 bytes held") != std::string::npos)
            causes += "heap;";
    }
    EXPECT_EQ(causes, "heap;event;") << report.at("verdict").at("reasons");
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

// 0 is success unless the command line says otherwise: a reader that never reads
// a card fails, with the hint; one whose success code is declared passes.
TEST_F(BurnInTest, SuccessCodesAreDeclaredNotGuessed)
{
    m_folder->WriteScript(L"[readCard]\nresult=7\n");
    Console& never = Start(ProgramFile(), L"/cycles 20 /report run.html");
    EXPECT_EQ(RunBurnIn(never), 1u);
    Json report = Json::parse(m_folder->ReadBytes(L"run.json"));
    EXPECT_EQ(Operation(report, "readCard").at("failedCalls"), 20);
    EXPECT_EQ(report.at("verdict").at("hints").at(0),
              "readCard returned 7 in every call; if that is its success code, run with /success readCard=7");

    // A card read all the same: the fields answer without one.
    m_folder->WriteScript(L"[readCard]\nresult=144\n[GetCardInfo]\nresult=0\nvalue=林秋雨\n[Field.11]\nvalue=QUJD\n");
    Console& declared = Start(ProgramFile(), L"/cycles 20 /success readCard=0x90 /report run.html");
    EXPECT_EQ(RunBurnIn(declared), 0u);
    report = Json::parse(m_folder->ReadBytes(L"run.json"));
    EXPECT_TRUE(report.at("verdict").at("passed").get<bool>()) << report.at("verdict").dump();
    EXPECT_EQ(Codes(Operation(report, "readCard")), "144:20 ");
    EXPECT_EQ(Operation(report, "readCard").at("successCodes"), Json::parse("[144]"));
}

// A library that puts the C runtime it shares with the program in a
// comma-decimal locale: every number in the JSON keeps its point.
TEST_F(BurnInTest, ALibrarysCommaLocaleBendsNoNumber)
{
    m_folder->WriteScript(L"[OpenDevice]\nlocale=German\n");
    Console& console = Start(ProgramFile(), L"/cycles 20 /report run.html");
    EXPECT_EQ(RunBurnIn(console), 0u);
    const Json report = Json::parse(m_folder->ReadBytes(L"run.json"));  // "0,123" would not parse
    const Json& median = Operation(report, "readCard").at("durationMicroseconds").at("median");
    EXPECT_TRUE(median.is_number_float()) << median.dump();
    EXPECT_TRUE(report.at("verdict").at("passed").get<bool>()) << report.at("verdict").dump();
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
    const int done = ExpectStoppedRun(report);
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

// ---- Burn-ins started from the window ----

const int kFiveButtons[] = {IDC_BTN_OPEN, IDC_BTN_CLOSE, IDC_BTN_STATUS, IDC_BTN_READCARD, IDC_BTN_CARDINFO};

// Opens the burn-in dialog from the system menu (the low four bits of the
// command are the system's).
HWND OpenBurnInDialog(const Console& console, WPARAM command = IDM_BURNIN)
{
    console.SysCommand(command);
    return console.WaitForBoxOwnedBy(console.Dialog(), kTimeoutMs, L"连续读卡测试").hwnd;
}

void SetText(HWND dialog, int id, const std::wstring& text)
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                             SMTO_ABORTIFHUNG, kTimeoutMs, &result))
        throw DriveError("cannot type into the burn-in dialog");
}

void Press(HWND window, int id)
{
    PostMessageW(GetDlgItem(window, id), BM_CLICK, 0, 0);
}

// Starts a run of `cycles` from the dialog with its report at run.html; the
// dialog is gone when this returns.
void StartFromWindow(const Console& console, const wchar_t* cycles, bool callLog = false)
{
    HWND dialog = OpenBurnInDialog(console);
    SetText(dialog, IDC_BURNIN_CYCLES, cycles);
    SetText(dialog, IDC_BURNIN_REPORT, L"run.html");
    if (callLog)
        PostMessageW(GetDlgItem(dialog, IDC_BURNIN_CALLLOG), BM_SETCHECK, BST_CHECKED, 0);
    Press(dialog, IDOK);
    const DWORD deadline = GetTickCount() + kTimeoutMs;
    while (IsWindow(dialog) && GetTickCount() < deadline)
        Sleep(5);  // polling: the dialog closes once 开始 has been handled
    if (IsWindow(dialog))
        throw DriveError("the burn-in dialog did not close on 开始");
}

// The box at the end of a run from the window: its text, and its buttons.
OwnedBox WaitForVerdictBox(const Console& console)
{
    OwnedBox box = console.WaitForBoxOwnedBy(console.Dialog(), kRunTimeoutMs, ProgramName());
    box.text = WindowText(GetDlgItem(box.hwnd, IDC_DONE_TEXT));
    return box;
}

void ExpectTheFormWorks(const Console& console)
{
    for (const int id : kFiveButtons)
        EXPECT_TRUE(IsWindowEnabled(console.Item(id))) << "button " << id;
    EXPECT_EQ(GetDlgItem(console.Dialog(), IDC_BURNIN_STOP), nullptr);
    EXPECT_EQ(GetDlgItem(console.Dialog(), IDC_BURNIN_LINE), nullptr);
    EXPECT_EQ(console.ClickAndDismiss(IDC_BTN_OPEN).text, L"打开成功");
    EXPECT_EQ(console.ClickAndDismiss(IDC_BTN_CLOSE).text, L"关闭成功");
}

// The dialog starts from the form's port and a report named after the time in
// the working folder; a count out of range, or a report that is a folder, is
// refused in it, which stays open; 取消 starts nothing.
TEST_F(BurnInTest, TheSystemMenuItemOpensTheDialogWhichRefusesABadCountAndCancelStartsNothing)
{
    Console& console = Start();
    console.Type(IDC_EDIT_PORT, L" 1002x");
    HWND dialog = OpenBurnInDialog(console, IDM_BURNIN | 0xF);
    EXPECT_EQ(WindowText(GetDlgItem(dialog, IDC_BURNIN_CYCLES)), L"1000");
    EXPECT_EQ(WindowText(GetDlgItem(dialog, IDC_BURNIN_PORT)), L" 1002x");
    EXPECT_EQ(WindowText(GetDlgItem(dialog, IDC_BURNIN_TIMEOUT)), L"60");
    const std::wstring report = WindowText(GetDlgItem(dialog, IDC_BURNIN_REPORT));
    const std::wstring folder = m_folder->Path() + L"\\burn-in-";
    EXPECT_EQ(report.compare(0, folder.size(), folder), 0) << Shown(report);
    EXPECT_EQ(report.size(), folder.size() + 20) << Shown(report) << ": yyyyMMdd-HHmmss.html";
    EXPECT_EQ(SendMessageW(GetDlgItem(dialog, IDC_BURNIN_CALLLOG), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    for (const wchar_t* cycles : {L"0", L"10000001"}) {
        SetText(dialog, IDC_BURNIN_CYCLES, cycles);
        Press(dialog, IDOK);
        OwnedBox refusal = console.WaitForBoxOwnedBy(dialog);
        EXPECT_EQ(refusal.text, L"循环次数须为 1 至 10000000 之间的整数") << Shown(cycles);
        console.PressOk(refusal);
        EXPECT_TRUE(IsWindow(dialog));
    }
    // A report that is an existing folder is refused by name.
    SetText(dialog, IDC_BURNIN_CYCLES, L"5");
    CreateDirectoryW(m_folder->File(L"reports").c_str(), nullptr);
    SetText(dialog, IDC_BURNIN_REPORT, L"reports");
    Press(dialog, IDOK);
    OwnedBox folderRefusal = console.WaitForBoxOwnedBy(dialog);
    EXPECT_EQ(folderRefusal.text, L"报告须是一个文件，而不是文件夹：" + m_folder->File(L"reports"));
    console.PressOk(folderRefusal);
    EXPECT_TRUE(IsWindow(dialog));
    Press(dialog, IDCANCEL);
    console.Barrier();
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_TRUE(console.OwnedWindows().empty());
    EXPECT_EQ(GetFileAttributesW(report.c_str()), INVALID_FILE_ATTRIBUTES) << "no report";
    ExpectTheFormWorks(console);
}

// The run ends in one box with the verdict and the report's path; Zantor stays
// open, its form works, and it ends with exit code 0 although the run failed.
TEST_F(BurnInTest, ARunFromTheWindowEndsInTheVerdictBoxAndZantorStaysOpen)
{
    m_folder->WriteScript(L"[readCard]\nfail_every=5\nresult=-3\n");
    Console& console = Start();
    console.Type(IDC_EDIT_PORT, L" 1003x");
    StartFromWindow(console, L"20", true);
    const OwnedBox box = WaitForVerdictBox(console);
    EXPECT_EQ(box.text.rfind(L"FAIL: ", 0), 0u) << Shown(box.text);
    const std::wstring path = L"\r\n\r\n报告：" + m_folder->File(L"run.html");
    EXPECT_EQ(box.text.substr(box.text.size() - std::min(box.text.size(), path.size())), path) << Shown(box.text);
    EXPECT_EQ(box.buttons, (std::vector<int>{IDC_DONE_OPEN, IDCANCEL}));
    Press(box.hwnd, IDCANCEL);
    const Json report = Json::parse(m_folder->ReadBytes(L"run.json"));
    EXPECT_EQ(report.at("run").at("cyclesDone"), 20);
    EXPECT_EQ(report.at("run").at("port"), 1003) << "read from the form as a press reads it";
    EXPECT_EQ(Operation(report, "readCard").at("failedCycles"), Json::parse("[5, 10, 15, 20]"));
    const std::string log = m_folder->ReadBytes(L"run.log");
    std::size_t reads = 0;
    for (std::size_t at = log.find("\treadCard\t"); at != std::string::npos; at = log.find("\treadCard\t", at + 1))
        ++reads;
    EXPECT_EQ(reads, 40u) << "the call log beside the report: a started line and a line after each call";

    console.Barrier();
    EXPECT_TRUE(console.OwnedWindows().empty());
    ExpectTheFormWorks(console);
    console.SysCommand(SC_CLOSE);
    DWORD code = 1;
    EXPECT_TRUE(console.WaitForExit(kTimeoutMs, &code));
    EXPECT_EQ(code, 0u) << "a run from the window sets no exit code";
}

// 停止 ends the run after the running call and shows the verdict; the close box
// stops it as well and ends Zantor.
struct StopRow {
    const char* name;
    bool closeBox;
};

std::ostream& operator<<(std::ostream& os, const StopRow& row)
{
    return os << row.name;
}

class WindowStopTest : public ConsoleTest, public ::testing::WithParamInterface<StopRow> {};

TEST_P(WindowStopTest, StopsTheRunMidway)
{
    m_folder->WriteScript(L"[getDeviceStatus]\ndelay=5\n");
    Console& console = Start();
    StartFromWindow(console, L"100000");
    const DWORD deadline = GetTickCount() + kTimeoutMs;
    // Polling: the line comes once the run has started, and moves once the first
    // cycle has finished.
    while ((!GetDlgItem(console.Dialog(), IDC_BURNIN_LINE) || console.Text(IDC_BURNIN_LINE).rfind(L"0 /", 0) == 0) &&
           GetTickCount() < deadline)
        Sleep(10);
    for (const int id : kFiveButtons)
        EXPECT_FALSE(IsWindowEnabled(console.Item(id))) << "button " << id << " during the run";
    EXPECT_EQ(WindowText(console.Item(IDC_BURNIN_STOP)), L"停止");
    if (GetParam().closeBox) {
        console.SysCommand(SC_CLOSE);
        DWORD code = 1;
        EXPECT_TRUE(console.WaitForExit(kRunTimeoutMs, &code));
        EXPECT_EQ(code, 0u);
    } else {
        console.Click(IDC_BURNIN_STOP);
        const OwnedBox box = WaitForVerdictBox(console);
        EXPECT_NE(box.text.find(L"; stopped by the operator after "), std::wstring::npos) << Shown(box.text);
        Press(box.hwnd, IDCANCEL);
        console.Barrier();
        ExpectTheFormWorks(console);
    }
    const Json report = Json::parse(m_folder->ReadBytes(L"run.json"));
    ExpectStoppedRun(report);
}

INSTANTIATE_TEST_SUITE_P(Window, WindowStopTest,
                         ::testing::Values(StopRow{"StopButton", false}, StopRow{"CloseBox", true}),
                         [](const ::testing::TestParamInfo<StopRow>& row) { return std::string(row.param.name); });

// A report that cannot be written before the first call (an earlier page held
// open by another program, without delete sharing, cannot be replaced): the run
// from the window makes no call, and its box says that it did not run, and why,
// instead of a pass of no cycles.
TEST_F(BurnInTest, ARunFromTheWindowWhoseReportCannotBeWrittenSaysItDidNotRun)
{
    m_folder->WriteBytes(L"run.html", "an earlier page");
    const win32::FileHandle held(CreateFileW(m_folder->File(L"run.html").c_str(), GENERIC_READ,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    Console& console = Start();
    StartFromWindow(console, L"20", true);
    const OwnedBox box = WaitForVerdictBox(console);
    // The system's words for the sharing violation follow its code, in the system's language.
    const std::wstring expected = L"FAIL: did not run: the report could not be written before the device was opened"
                                  L"\r\n\r\n报告无法写入：" + m_folder->File(L"run.html") + L" 错误码：32";
    EXPECT_EQ(box.text.substr(0, expected.size()), expected) << Shown(box.text);
    EXPECT_EQ(box.text.back(), L'）') << Shown(box.text);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(box.hwnd, IDC_DONE_OPEN))) << "no report to open";
    Press(box.hwnd, IDCANCEL);
    EXPECT_TRUE(LogLinesCut(m_folder->ReadBytes(L"run.log"), false).empty()) << "no call was made";
    EXPECT_EQ(m_folder->ReadBytes(L"run.html"), "an earlier page");
    console.Barrier();
    EXPECT_TRUE(console.OwnedWindows().empty());
    ExpectTheFormWorks(console);
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
    const auto lines = LogLinesCut(m_folder->ReadBytes(L"calls.log"), false);
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
    const auto lines = LogLinesCut(m_folder->ReadBytes(L"calls.log"), false);
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

// The file's bytes, read without keeping anyone from renaming it; "" when it
// cannot be opened (it is aside for a moment, or not there).
std::string ReadShared(const std::wstring& path)
{
    const win32::FileHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string bytes;
    char chunk[65536];
    DWORD got = 0;
    while (file && ReadFile(file.Get(), chunk, sizeof chunk, &got, nullptr) && got > 0)
        bytes.append(chunk, got);
    return bytes;
}

// The page's stamp ("cycles time"), "" when it has none; and the JSON's.
std::string PageStamp(const std::string& page)
{
    const std::string key = "<meta name=\"zantor-stamp\" content=\"";
    const std::size_t at = page.find(key);
    return at == std::string::npos ? "" : page.substr(at + key.size(), page.find('"', at + key.size()) - at - key.size());
}
std::string JsonStamp(const Json& report)
{
    return std::to_string(report.at("stamp").at("cycles").get<int>()) + " " + report.at("stamp").at("time").get<std::string>();
}

// The cycles done, as the progress line shows them ("137 / 10000 · ...").
int CyclesShown(Console& console)
{
    const std::wstring line = console.Text(IDC_BURNIN_LINE);
    return line.empty() ? 0 : std::stoi(line);
}

// Another program holds the JSON open without delete sharing, as a viewer or a
// backup tool does: Windows (and Wine) refuse to rename it (error 32, a sharing
// violation). The checkpoints in
// that time are not written; the pair on disk stays the last good one, stamped
// alike; the run goes on, and its verdict counts what was lost.
TEST_F(BurnInTest, AJsonHeldOpenKeepsTheLastGoodPairAndFailsTheVerdict)
{
    Console& console = Start(ProgramFile(), L"/cycles 3000 /report run.html");
    const std::wstring json = m_folder->File(L"run.json");
    win32::FileHandle held;
    std::string heldStamp;
    const DWORD deadline = GetTickCount() + kRunTimeoutMs;
    while (!held && GetTickCount() < deadline) {
        // A checkpoint after some cycles (looked for with delete sharing, which
        // keeps no rename from happening), then held where it is.
        const Json seen = Json::parse(ReadShared(json), nullptr, false);
        if (!seen.is_discarded() && seen.at("run").at("cyclesDone").get<int>() > 0) {
            win32::FileHandle file(CreateFileW(json.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            std::string bytes;
            char chunk[65536];
            DWORD got = 0;
            while (file && ReadFile(file.Get(), chunk, sizeof chunk, &got, nullptr) && got > 0)
                bytes.append(chunk, got);
            const Json report = Json::parse(bytes, nullptr, false);
            if (file && !report.is_discarded()) {
                heldStamp = JsonStamp(report);
                held = std::move(file);
            }
        }
        Sleep(5);  // polling: the first checkpoint after a cycle
    }
    ASSERT_TRUE(held) << "no checkpoint after the first cycles";
    const int heldAt = CyclesShown(console);
    // Five checkpoints (one every 30 cycles) go by while it is held.
    std::string page;
    while (CyclesShown(console) < heldAt + 150 && GetTickCount() < deadline) {
        const std::string read = ReadShared(m_folder->File(L"run.html"));
        if (!read.empty())
            page = read;
        Sleep(10);  // polling: the progress line
    }
    ASSERT_LT(CyclesShown(console), 3000) << "the run ended before the checkpoints could be tried";
    while (page.empty() && GetTickCount() < deadline)
        page = ReadShared(m_folder->File(L"run.html"));
    EXPECT_EQ(PageStamp(page), heldStamp) << "the page beside the held JSON is the JSON's own";
    held.Reset();

    EXPECT_EQ(RunBurnIn(console), 1u) << "lost checkpoints fail the run";
    const Json report = Json::parse(m_folder->ReadBytes(L"run.json"));
    EXPECT_EQ(PageStamp(m_folder->ReadBytes(L"run.html")), JsonStamp(report));
    EXPECT_EQ(JsonStamp(report).rfind("3000 ", 0), 0u) << JsonStamp(report);
    bool named = false;
    for (const Json& reason : report.at("verdict").at("reasons"))
        named = named || reason.get<std::string>().find("checkpoint(s) of the report could not be written (error 32)") !=
                             std::string::npos;
    EXPECT_TRUE(named) << report.at("verdict").at("reasons");
    for (const wchar_t* left : {L"run.html.tmp", L"run.json.tmp", L"run.html.old", L"run.json.old"})
        EXPECT_EQ(GetFileAttributesW(m_folder->File(left).c_str()), INVALID_FILE_ATTRIBUTES) << "left behind";
}

// Nothing of the run waits for a person: a mistake beside /cycles ends with 2 and
// no box, and a report folder that is not there ends the run before the first call.
TEST_F(BurnInTest, AnUnattendedRunThatCannotStartEndsWithoutABox)
{
    EXPECT_EQ(RunToExit(*m_folder, ProgramFile(), kTimeoutMs, L"/cycles 5 /bogus /log calls.log"), 2u);
    EXPECT_NE(m_folder->ReadBytes(L"calls.log").find("#error"), std::string::npos) << "the mistake in the log";
    EXPECT_EQ(RunToExit(*m_folder, ProgramFile(), kTimeoutMs, L"/cycles 5 /report missing\\run.html /log run.log"),
              3u);
    EXPECT_TRUE(LogLinesCut(m_folder->ReadBytes(L"run.log"), false).empty()) << "no call was made";
    // Two outputs that are one file: a mistake, naming both options.
    EXPECT_EQ(RunToExit(*m_folder, ProgramFile(), kTimeoutMs, L"/cycles 5 /report same.html /log SAME.json"), 2u);
    EXPECT_NE(m_folder->ReadBytes(L"same.json").find("#error\t"), std::string::npos);
    EXPECT_NE(m_folder->ReadBytes(L"same.json").find(u8"/report 的 JSON 文件 与 /log 指向同一个文件："),
              std::string::npos);
    EXPECT_EQ(GetFileAttributesW(m_folder->File(L"same.html").c_str()), INVALID_FILE_ATTRIBUTES) << "no report";
    // A file that cannot be created: its path, the code and the system's words for it.
    EXPECT_EQ(RunToExit(*m_folder, ProgramFile(), kTimeoutMs, L"/cycles 5 /record missing\\s.ini /log why.log"), 3u);
    const std::string why = m_folder->ReadBytes(L"why.log");
    EXPECT_NE(why.find(u8"s.ini 错误码：3（"), std::string::npos) << "the log writes a backslash as \\\\: " << why;
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

// The notice's 结束程序 while the call still runs: the call claimed, the log
// told, and Zantor ended with exit status 5.
TEST_F(BurnInTest, TheNoticesButtonEndsZantorWhileTheCallRuns)
{
    m_folder->WriteScript(L"[readCard]\ndelay=600000\n");
    Console& console = Start(ProgramFile(), L"/log calls.log");
    console.Click(IDC_BTN_READCARD);
    const HWND notice = console.WaitForTopLevel(L"ZantorHangNotice", 14000);
    ASSERT_NE(notice, nullptr) << "no window named the call";
    PostMessageW(GetDlgItem(notice, 1), BM_CLICK, 0, 0);
    DWORD code = 0;
    ASSERT_TRUE(console.WaitForExit(kTimeoutMs, &code)) << "the button did not end Zantor";
    EXPECT_EQ(code, 5u);
    const auto lines = LogLinesCut(m_folder->ReadBytes(L"calls.log"), true);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.back().at(0), "#ended");
    const auto& call = lines[lines.size() - 2];
    ASSERT_GE(call.size(), 4u);
    EXPECT_EQ(call.at(1), "readCard");
    EXPECT_EQ(call.at(3), "started");
}

// A library whose call hangs holding the process heap's lock: writing the
// report waits for that heap, and the timeout's deadline ends Zantor all the
// same, with exit status 5, within 30 s of the timeout.
TEST_F(BurnInTest, ATimeoutEndsZantorWhateverTheLibraryHolds)
{
    const std::wstring from = BinFolder() + L"\\heap-lock\\Mervik.dll";
    ASSERT_TRUE(CopyFileW(from.c_str(), m_folder->File(L"Mervik.dll").c_str(), FALSE)) << Shown(from);
    Console& console = Start(ProgramFile(), L"/cycles 5 /timeout 1 /report run.html");
    DWORD code = 0;
    // The first readCard hangs at once: 1 s, the watchdog's look, 30 s, and slack
    // for the start-up.
    ASSERT_TRUE(console.WaitForExit(1000 + 30000 + 5000, &code)) << "still waiting for the heap";
    EXPECT_EQ(code, 5u);
}

}  // namespace
}  // namespace e2e

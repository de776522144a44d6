// The four device buttons against scripted answers of the stand-in reader: the
// exact message each shows, in a box captioned with the program's name with an OK
// button only.
#include "ConsoleTest.h"

#include <algorithm>
#include <functional>
#include <regex>

namespace e2e {
namespace {

struct ButtonRow {
    const char* name;
    const wchar_t* script;  // Mervik.ini
    int button;
    std::wstring expected;
};

std::ostream& operator<<(std::ostream& os, const ButtonRow& row)
{
    return os << row.name;
}

// 511 two-byte characters and one ASCII letter: 1023 bytes in code page 936, the
// most a 1024-byte text buffer holds with its NUL.
std::wstring LongestText()
{
    std::wstring text;
    for (int i = 0; i < 511; ++i)
        text += static_cast<wchar_t>(L'一' + i % 64);
    return text + L"z";
}

const std::wstring kLongest = LongestText();
const std::wstring kLongestScript = L"[readCard]\nresult=2\ntext=" + kLongest + L"\n";

const ButtonRow kButtonRows[] = {
    // Success texts: the reader's text is not shown even when it wrote one.
    {"OpenSucceedsWhateverTheReaderWrote", L"[OpenDevice]\nresult=0\ntext=不应显示\n", IDC_BTN_OPEN, L"打开成功"},
    {"CloseSucceedsWhateverTheReaderWrote", L"[CloseDevice]\nresult=0\ntext=不应显示\n", IDC_BTN_CLOSE, L"关闭成功"},
    // Failure form: prefix, the reader's text, " 错误码：", the code in decimal.
    {"OpenFailsWithAPositiveCode", L"[OpenDevice]\nresult=5\ntext=端口不存在\n", IDC_BTN_OPEN,
     L"打开失败！端口不存在 错误码：5"},
    {"OpenFailsWithANegativeCode", L"[OpenDevice]\nresult=-17\ntext=设备忙\n", IDC_BTN_OPEN,
     L"打开失败！设备忙 错误码：-17"},
    {"OpenFailsWithAnEmptyText", L"[OpenDevice]\nresult=5\ntext=@none\n", IDC_BTN_OPEN, L"打开失败！ 错误码：5"},
    {"OpenFailsWithTheSmallestCode", L"[OpenDevice]\nresult=-2147483648\ntext=x\n", IDC_BTN_OPEN,
     L"打开失败！x 错误码：-2147483648"},
    {"CloseFailsWithMinusOne", L"[CloseDevice]\nresult=-1\ntext=设备未打开\n", IDC_BTN_CLOSE,
     L"关闭失败！设备未打开 错误码：-1"},
    {"CloseFailsWithAnEmptyText", L"[CloseDevice]\nresult=2147483647\ntext=@none\n", IDC_BTN_CLOSE,
     L"关闭失败！ 错误码：2147483647"},
    // Status form: the reader's text, " 状态码：", the code; no line between success and failure.
    {"StatusZeroWithAnEmptyTextStartsWithTheSpace", L"[getDeviceStatus]\nresult=0\ntext=@none\n", IDC_BTN_STATUS,
     L" 状态码：0"},
    {"StatusWithText", L"[getDeviceStatus]\nresult=1\ntext=设备已打开\n", IDC_BTN_STATUS, L"设备已打开 状态码：1"},
    {"StatusNegative", L"[getDeviceStatus]\nresult=-3\ntext=未连接\n", IDC_BTN_STATUS, L"未连接 状态码：-3"},
    {"ReadCardZero", L"[readCard]\nresult=0\ntext=读卡成功\n", IDC_BTN_READCARD, L"读卡成功 状态码：0"},
    {"ReadCardNegativeWithAnEmptyText", L"[readCard]\nresult=-1\ntext=@none\n", IDC_BTN_READCARD, L" 状态码：-1"},
    {"ReadCardWithTheLongestText", kLongestScript.c_str(), IDC_BTN_READCARD, kLongest + L" 状态码：2"},
    // The reader's text is data: no format directives are expanded.
    {"PercentInAStatusTextIsShownLiterally", L"[getDeviceStatus]\nresult=1\ntext=100%%d%s%\n", IDC_BTN_STATUS,
     L"100%%d%s% 状态码：1"},
    {"PercentInAFailureTextIsShownLiterally", L"[OpenDevice]\nresult=3\ntext=%s%n%x\n", IDC_BTN_OPEN,
     L"打开失败！%s%n%x 错误码：3"},
    {"PercentInAReadCardTextIsShownLiterally", L"[readCard]\nresult=0\ntext=%d%%\n", IDC_BTN_READCARD,
     L"%d%% 状态码：0"},
    {"ReaderTextStartingWithAnAt", L"[CloseDevice]\nresult=9\ntext=@@手动\n", IDC_BTN_CLOSE,
     L"关闭失败！@手动 错误码：9"},
    // A library that faults or writes past its buffer: one message, then the console goes on.
    {"OpenFaults", L"[OpenDevice]\nfault=access-violation\n", IDC_BTN_OPEN,
     L"读卡器库 OpenDevice 调用异常：0xC0000005（地址 Mervik.dll+0x"},
    {"CloseDividesByZero", L"[CloseDevice]\nfault=divide-by-zero\n", IDC_BTN_CLOSE,
     L"读卡器库 CloseDevice 调用异常：0xC0000094（地址 Mervik.dll+0x"},
    {"StatusExecutesAnIllegalInstruction", L"[getDeviceStatus]\nfault=illegal-instruction\n", IDC_BTN_STATUS,
     L"读卡器库 getDeviceStatus 调用异常：0xC000001D（地址 Mervik.dll+0x"},
    {"ReadCardThrows", L"[readCard]\nfault=cpp-exception\n", IDC_BTN_READCARD,
     L"读卡器库 readCard 调用异常：0xE06D7363（地址 Mervik.dll+0x"},  // where it called RaiseException
    {"StatusFaultsAfterPushingRegistersWithoutUnwindData", L"[getDeviceStatus]\nfault=bare-access-violation\n",
     IDC_BTN_STATUS, L"读卡器库 getDeviceStatus 调用异常：0xC0000005（地址 Mervik.dll+0x"},
    {"OpenWritesOneBytePastItsBuffer", L"[OpenDevice]\noverrun=1\n", IDC_BTN_OPEN,
     L"读卡器库 OpenDevice 写入超出缓冲区（1024 字节）"},
};


class DeviceButtonTest : public ConsoleTest, public ::testing::WithParamInterface<ButtonRow> {};

TEST_P(DeviceButtonTest, ShowsTheExactMessage)
{
    const ButtonRow& row = GetParam();
    m_folder->WriteScript(row.script);
    Console& console = Start();
    OwnedBox box = console.ClickAndDismiss(row.button);
    EXPECT_TRUE(ShowsMessage(box.text, row.expected))
        << "shown: " << Shown(box.text) << "\nexpected: " << Shown(row.expected);
    EXPECT_EQ(box.caption, ProgramName());
    EXPECT_EQ(box.buttons, std::vector<int>{IDOK}) << "an OK button only";
    EXPECT_FALSE(box.icon) << "no icon requested";
    EXPECT_TRUE(console.Running());
    if (box.text.compare(0, 4, L"读卡器库") == 0) {
        m_folder->WriteScript(L"");
        const std::wstring next = console.ClickAndDismiss(row.button).text;
        EXPECT_NE(next.compare(0, 4, L"读卡器库"), 0) << "the next press calls the library again: " << Shown(next);
    }
}

INSTANTIATE_TEST_SUITE_P(Scripted, DeviceButtonTest, ::testing::ValuesIn(kButtonRows),
                         [](const ::testing::TestParamInfo<ButtonRow>& row) { return std::string(row.param.name); });

// The port is read from the box as atoi reads it. The stand-in's script cannot show
// the port, so its built-in rule tells: ports 1 to 16 and 1001 to 1016 open.
struct PortRow {
    const char* name;
    const wchar_t* typed;
    bool opens;
};

std::ostream& operator<<(std::ostream& os, const PortRow& row)
{
    return os << row.name << ": " << Shown(row.typed) << (row.opens ? " opens" : " fails");
}

const PortRow kPortRows[] = {
    {"TheDefaultPort", L"1001", true},
    {"LeadingBlanksAndTrailingLetters", L" 12abc", true},
    {"LeadingTabAndPlusSign", L"\t+7", true},
    {"LeadingZeros", L"0016", true},
    {"DigitsUpToTheFirstOtherCharacter", L"1016.9", true},
    {"PortOutsideTheReadersRange", L"99", false},
    {"JustPastTheRange", L"1017", false},
    {"EmptyBoxIsPortZero", L"", false},
    {"LettersFirstIsPortZero", L"abc12", false},
    {"MinusSign", L"-3", false},
};

class PortTest : public ConsoleTest, public ::testing::WithParamInterface<PortRow> {};

TEST_P(PortTest, IsReadLikeAtoi)
{
    const PortRow& row = GetParam();
    Console& console = Start();
    console.Type(IDC_EDIT_PORT, row.typed);
    OwnedBox box = console.ClickAndDismiss(IDC_BTN_OPEN);
    EXPECT_EQ(box.caption, ProgramName());
    if (row.opens) {
        EXPECT_EQ(box.text, L"打开成功");
    } else {
        EXPECT_TRUE(std::regex_match(box.text, std::wregex(L"打开失败！.* 错误码：-?[1-9][0-9]*")))
            << "shown: " << Shown(box.text);
    }
    EXPECT_EQ(console.Text(IDC_EDIT_PORT), row.typed) << "the port box is left as typed";
}

INSTANTIATE_TEST_SUITE_P(Typed, PortTest, ::testing::ValuesIn(kPortRows),
                         [](const ::testing::TestParamInfo<PortRow>& row) { return std::string(row.param.name); });

// A command is repeated in full on every press, and reads the reader afresh.
using DeviceCommandTest = ConsoleTest;

// What one press showed: each box it raised, then every edit box and zp.jpg.
std::wstring Press(Console& console, const WorkFolder& folder, int button)
{
    console.Click(button);
    console.Barrier();
    std::wstring seen;
    for (;;) {
        const std::vector<HWND> owned = console.OwnedWindows();
        if (std::none_of(owned.begin(), owned.end(), [](HWND h) { return IsWindowVisible(h) != FALSE; }))
            break;
        const OwnedBox box = console.WaitForOwnedBox();
        seen += box.caption + L"|" + box.text + L"|" + std::to_wstring(box.buttons.size()) + L"|" +
                std::to_wstring(box.icon) + L"\n";
        console.PressOk(box);
        console.Barrier();
    }
    for (int id : {IDC_EDIT_PORT, IDC_EDIT_NAME, IDC_EDIT_SEX, IDC_EDIT_NATION, IDC_EDIT_BIRTH, IDC_EDIT_ADDRESS,
                   IDC_EDIT_IDNUMBER, IDC_EDIT_AUTHORITY, IDC_EDIT_VALIDFROM, IDC_EDIT_VALIDTO, IDC_EDIT_PHOTONAME,
                   IDC_EDIT_PHOTOLEN})
        seen += console.Text(id) + L"\n";
    if (GetFileAttributesW(folder.File(L"zp.jpg").c_str()) != INVALID_FILE_ATTRIBUTES)
        seen += FromUtf8(std::to_string(std::hash<std::string>()(folder.ReadBytes(L"zp.jpg"))));
    return seen;
}

// A library built with the cdecl convention is used exactly as the stdcall one:
// the same session, press by press, shows the same boxes, form and photo.
TEST_F(DeviceCommandTest, CdeclLibraryShowsWhatTheStdcallOneShows)
{
    const wchar_t* const scripts[] = {
        L"",
        L"[readCard]\nresult=7\ntext=卡片异常\n[Field.0]\nresult=-2\ntext=姓名读取失败\n",
        L"[GetCardInfo]\nresult=3\ntext=@none\n[getDeviceStatus]\ntext=@longest\n",
        L"[Field.11]\nvalue=QUJDREVGR0g=\n[CloseDevice]\nresult=-1\ntext=忙\n[Field.3]\nvalue=@longest\n",
        L"[OpenDevice]\nresult=5\ntext=%s%n\n[Field.11]\nvalue=@longest\n",
    };
    const int presses[] = {IDC_BTN_OPEN,  IDC_BTN_STATUS, IDC_BTN_READCARD, IDC_BTN_CARDINFO, IDC_BTN_STATUS,
                           IDC_BTN_CLOSE, IDC_BTN_CARDINFO, IDC_BTN_READCARD, IDC_BTN_CLOSE,   IDC_BTN_OPEN};
    std::vector<std::wstring> seen[2];
    for (int convention = 0; convention < 2; ++convention) {
        const WorkFolder folder(CurrentTestName() + (convention ? L".cdecl" : L".stdcall"));
        folder.CopyProgram();
        const std::wstring reader = BinFolder() + (convention ? L"\\cdecl\\Mervik.dll" : L"\\Mervik.dll");
        ASSERT_TRUE(CopyFileW(reader.c_str(), folder.File(L"Mervik.dll").c_str(), FALSE));
        Console console(folder);
        for (const wchar_t* script : scripts) {
            folder.WriteScript(script);
            for (int button : presses)
                seen[convention].push_back(Press(console, folder, button));
        }
    }
    ASSERT_EQ(seen[0].size(), 50u);
    for (std::size_t i = 0; i < seen[0].size(); ++i)
        EXPECT_EQ(seen[1][i], seen[0][i]) << "press " << i << ": stdcall showed " << Shown(seen[0][i]);
}

TEST_F(DeviceCommandTest, EachPressRepeatsTheCommand)
{
    m_folder->WriteScript(L"[getDeviceStatus]\nresult=1\ntext=第一次\n");
    Console& console = Start();
    EXPECT_EQ(console.ClickAndDismiss(IDC_BTN_STATUS).text, L"第一次 状态码：1");
    m_folder->WriteScript(L"[getDeviceStatus]\nresult=2\ntext=第二次\n");
    EXPECT_EQ(console.ClickAndDismiss(IDC_BTN_STATUS).text, L"第二次 状态码：2");
}

// A library that dispatches window messages inside its call: buttons pressed
// meanwhile reach the dialog inside that call, and wait until it has returned.
TEST_F(DeviceCommandTest, PressesDuringACallThatDispatchesMessagesRunAfterIt)
{
    m_folder->WriteScript(L"[readCard]\npump=1500\nresult=3\ntext=读卡中\nlog=calls.log\n"
                          L"[getDeviceStatus]\nlog=calls.log\n[OpenDevice]\nlog=calls.log\n");
    Console& console = Start();
    for (int button : {IDC_BTN_READCARD, IDC_BTN_STATUS, IDC_BTN_OPEN})
        console.Click(button);
    std::wstring shown;
    for (int box = 0; box < 3; ++box) {
        const OwnedBox owned = console.WaitForOwnedBox();
        shown += owned.text.substr(0, 4) + L"|";
        console.PressOk(owned);
    }
    EXPECT_EQ(shown, L"读卡中 |设备未打|打开成功|") << Shown(shown);
    EXPECT_EQ(m_folder->ReadBytes(L"calls.log"),
              "begin readCard\r\nend readCard\r\nbegin getDeviceStatus\r\nend getDeviceStatus\r\n"
              "begin OpenDevice\r\nend OpenDevice\r\n");
}

// A library whose readCard returns with the frame register and the x87 control
// word changed: the console goes on, the box names both after the reader's
// answer, and every later press shows exactly what the first showed.
TEST_F(DeviceCommandTest, ABrokenCallingContractIsNotedAndPutBack)
{
#ifdef _WIN64
    const std::wstring frame = L"RBP", bad = L"0BADF00D0BADF00D";
#else
    const std::wstring frame = L"EBP", bad = L"0BADF00D";
#endif
    m_folder->WriteScript(L"[readCard]\nresult=3\ntext=读卡中\nclobber=" + frame + L", x87cw\n");
    Console& console = Start();
    std::vector<std::wstring> seen;
    for (int cycle = 0; cycle < 3; ++cycle) {
        seen.push_back(console.ClickAndDismiss(IDC_BTN_READCARD).text);
        seen.push_back(console.ClickAndDismiss(IDC_BTN_STATUS).text);
    }
    const std::wstring& noted = seen[0];
    const std::wstring head = L"读卡中 状态码：3\n注意：readCard 返回时 " + frame + L" 已被改变（0x";
    const std::wstring middle = bad + L"），已恢复。\n注意：readCard 返回时 x87 控制字已被改变（0x";
    const std::wstring end = L" → 0x0260），已恢复。";
    EXPECT_EQ(noted.rfind(head, 0), 0u) << Shown(noted);
    EXPECT_NE(noted.find(middle), std::wstring::npos) << Shown(noted);
    EXPECT_EQ(noted.substr(noted.size() - std::min(noted.size(), end.size())), end) << Shown(noted);
    EXPECT_EQ(seen[1].find(L"注意"), std::wstring::npos) << "a call that kept the contract: " << Shown(seen[1]);
    for (std::size_t i = 2; i < seen.size(); ++i)
        EXPECT_EQ(seen[i], seen[i % 2]) << "press " << i << ": " << Shown(seen[i]);
}

}  // namespace
}  // namespace e2e

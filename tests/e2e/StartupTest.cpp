// What the operator sees when the console starts: the dialog's caption, place and
// size, every control of the template where the template puts it, the port box
// holding 1001 and the focus on the open button.
#include "ConsoleTest.h"

#include <tuple>
#include <vector>

namespace e2e {
namespace {

enum class Kind { kPushButton, kEdit, kLabel, kPicture };

struct ControlRow {
    int id;  // -1: a label without identifier
    Kind kind;
    const wchar_t* text;
    RECT units;  // left, top, right, bottom in dialog units
    bool visible;
};

// x, y, width, height in dialog units. MapDialogRect converts each of the four
// separately, as the dialog manager does when it places a control.
constexpr RECT Units(LONG x, LONG y, LONG cx, LONG cy) { return RECT{x, y, cx, cy}; }

// The pixel rectangle of mapped x, y, width, height.
RECT Placed(const RECT& mapped)
{
    return RECT{mapped.left, mapped.top, mapped.left + mapped.right, mapped.top + mapped.bottom};
}

// The main dialog's template, in template order (which is the tab order).
const ControlRow kTemplate[] = {
    {IDC_BTN_OPEN, Kind::kPushButton, L"打开设备", Units(200, 7, 50, 14), true},
    {IDC_BTN_CLOSE, Kind::kPushButton, L"关闭设备", Units(254, 7, 50, 14), true},
    {IDC_BTN_STATUS, Kind::kPushButton, L"获取设备状态", Units(201, 29, 50, 14), true},
    {IDC_BTN_READCARD, Kind::kPushButton, L"读卡操作", Units(200, 51, 50, 14), true},
    {IDC_BTN_CARDINFO, Kind::kPushButton, L"信息读取", Units(200, 71, 50, 14), true},
    {IDC_EDIT_NAME, Kind::kEdit, L"", Units(64, 28, 37, 14), true},
    {-1, Kind::kLabel, L"姓名", Units(38, 31, 15, 8), true},
    {IDC_EDIT_SEX, Kind::kEdit, L"", Units(137, 28, 37, 14), true},
    {-1, Kind::kLabel, L"性别", Units(111, 31, 15, 8), true},
    {IDC_EDIT_NATION, Kind::kEdit, L"", Units(64, 47, 37, 14), true},
    {-1, Kind::kLabel, L"民族", Units(38, 50, 15, 8), true},
    {IDC_EDIT_BIRTH, Kind::kEdit, L"", Units(137, 47, 40, 14), true},
    {-1, Kind::kLabel, L"出生日期", Units(107, 50, 28, 8), true},
    {IDC_EDIT_ADDRESS, Kind::kEdit, L"", Units(64, 69, 110, 14), true},
    {-1, Kind::kLabel, L"住址", Units(38, 72, 15, 8), true},
    {IDC_EDIT_IDNUMBER, Kind::kEdit, L"", Units(65, 86, 110, 14), true},
    {-1, Kind::kLabel, L"身份证号", Units(32, 89, 28, 8), true},
    {IDC_EDIT_AUTHORITY, Kind::kEdit, L"", Units(64, 103, 110, 14), true},
    {-1, Kind::kLabel, L"签发机关", Units(31, 106, 28, 8), true},
    {IDC_EDIT_VALIDFROM, Kind::kEdit, L"", Units(63, 121, 39, 14), true},
    {-1, Kind::kLabel, L"开始有效期", Units(25, 125, 35, 8), true},
    {IDC_EDIT_VALIDTO, Kind::kEdit, L"", Units(149, 122, 39, 14), true},
    {-1, Kind::kLabel, L"结束有效期", Units(111, 126, 35, 8), true},
    {IDC_EDIT_PHOTONAME, Kind::kEdit, L"", Units(63, 144, 110, 14), true},
    {-1, Kind::kLabel, L"照片名", Units(28, 147, 22, 8), true},
    {IDC_EDIT_PHOTOLEN, Kind::kEdit, L"", Units(62, 167, 110, 14), false},
    {-1, Kind::kLabel, L"照片base64", Units(25, 170, 37, 8), false},
    {IDC_EDIT_PORT, Kind::kEdit, L"1001", Units(160, 9, 37, 14), true},
    {-1, Kind::kLabel, L"port", Units(141, 10, 14, 8), true},
    {IDC_PHOTO, Kind::kPicture, L"", Units(226, 110, 13, 12), true},
};
constexpr std::size_t kControlCount = sizeof kTemplate / sizeof kTemplate[0];

std::string Describe(const ControlRow& row, std::size_t index)
{
    return "template row " + std::to_string(index) + " (id " + std::to_string(row.id) + ", " + Shown(row.text) + ")";
}

std::string Describe(const RECT& r)
{
    return "{" + std::to_string(r.left) + ", " + std::to_string(r.top) + ", " + std::to_string(r.right) + ", " +
           std::to_string(r.bottom) + "}";
}

const wchar_t* ClassOf(Kind kind)
{
    switch (kind) {
    case Kind::kPushButton:
        return L"Button";
    case Kind::kEdit:
        return L"Edit";
    default:
        return L"Static";
    }
}

using StartupTest = ConsoleTest;

TEST_F(StartupTest, DialogHasItsCaptionStylesPlaceAndSize)
{
    Console& console = Start();
    HWND dialog = console.Dialog();
    wchar_t caption[64] = {};
    GetWindowTextW(dialog, caption, 64);
    EXPECT_EQ(std::wstring(caption), L"Zantor");

    const DWORD style = static_cast<DWORD>(GetWindowLongW(dialog, GWL_STYLE));
    const DWORD frame = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX;
    EXPECT_EQ(style & frame, frame) << std::hex << style;
    EXPECT_EQ(style & (WS_MAXIMIZEBOX | WS_CHILD | WS_DISABLED), 0u) << std::hex << style;
    EXPECT_TRUE(GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_APPWINDOW);

    RECT window;
    GetWindowRect(dialog, &window);
    EXPECT_EQ(window.left, 0);
    EXPECT_EQ(window.top, 0);

    RECT client;
    GetClientRect(dialog, &client);
    RECT size = console.MapDialogRects({Units(0, 0, 357, 215)}).at(0);
    EXPECT_EQ(client.right, size.right) << "width of 357 dialog units";
    EXPECT_EQ(client.bottom, size.bottom) << "height of 215 dialog units";

    // The icon is set for the caption and the task bar.
    // (Asked from inside: Wine answers WM_GETICON from another process with 0.)
    auto icons = console.Icons();
    EXPECT_NE(icons.first, 0u) << "big icon";
    EXPECT_NE(icons.second, 0u) << "small icon";
}

TEST_F(StartupTest, PortBoxHolds1001AndOpenButtonHasTheFocus)
{
    Console& console = Start();
    EXPECT_EQ(console.Text(IDC_EDIT_PORT), L"1001");
    EXPECT_EQ(console.Focus(), console.Item(IDC_BTN_OPEN));
}

TEST_F(StartupTest, EveryControlOfTheTemplateInOrderWithTextStyleAndPosition)
{
    Console& console = Start();
    std::vector<ChildWindow> children = Children(console.Dialog());
    ASSERT_EQ(children.size(), kControlCount);

    std::vector<RECT> units;
    for (const ControlRow& row : kTemplate)
        units.push_back(row.units);
    std::vector<RECT> pixels = console.MapDialogRects(units);

    HWND focus = console.Focus();
    for (std::size_t i = 0; i < kControlCount; ++i) {
        const ControlRow& row = kTemplate[i];
        const ChildWindow& child = children[i];
        SCOPED_TRACE(Describe(row, i));

        EXPECT_EQ(child.className, ClassOf(row.kind));
        if (row.id >= 0) {
            EXPECT_EQ(child.id, row.id);
        } else {
            EXPECT_EQ(child.id & 0xFFFF, 0xFFFF) << "a label without identifier (-1)";
        }

        if (row.kind == Kind::kEdit) {
            EXPECT_EQ(console.Text(row.id), row.text) << "as read from the box";
        } else {
            EXPECT_EQ(child.text, row.text);
        }

        EXPECT_EQ(Describe(child.rect), Describe(Placed(pixels[i]))) << "position in pixels";

        EXPECT_EQ((child.style & WS_VISIBLE) != 0, row.visible);
        EXPECT_EQ(IsWindowVisible(child.hwnd) != FALSE, row.visible);
        EXPECT_FALSE(child.style & WS_DISABLED);
        switch (row.kind) {
        case Kind::kPushButton: {
            DWORD type = child.style & BS_TYPEMASK;
            // A focused push button may be drawn as the default one while it
            // has the focus; the template's buttons are all plain.
            if (child.hwnd == focus && type == BS_DEFPUSHBUTTON)
                type = BS_PUSHBUTTON;
            EXPECT_EQ(type, static_cast<DWORD>(BS_PUSHBUTTON)) << std::hex << child.style;
            EXPECT_TRUE(child.style & WS_TABSTOP);
            break;
        }
        case Kind::kEdit:
            EXPECT_TRUE((child.style & WS_BORDER) || (child.exStyle & WS_EX_CLIENTEDGE)) << "bordered";
            EXPECT_TRUE(child.style & ES_AUTOHSCROLL);
            EXPECT_TRUE(child.style & WS_TABSTOP);
            EXPECT_FALSE(child.style & (ES_MULTILINE | ES_READONLY | ES_PASSWORD | ES_NUMBER)) << std::hex
                                                                                               << child.style;
            break;
        case Kind::kLabel:
            EXPECT_EQ(child.style & SS_TYPEMASK, static_cast<DWORD>(SS_LEFT)) << std::hex << child.style;
            EXPECT_TRUE(child.style & WS_GROUP);
            break;
        case Kind::kPicture: {
            EXPECT_EQ(child.style & SS_TYPEMASK, static_cast<DWORD>(SS_BITMAP)) << std::hex << child.style;
            DWORD_PTR image = 1;
            SendMessageTimeoutW(child.hwnd, STM_GETIMAGE, IMAGE_BITMAP, 0, SMTO_ABORTIFHUNG, kTimeoutMs, &image);
            EXPECT_EQ(image, 0u) << "the picture control shows nothing";
            break;
        }
        }
    }
    EXPECT_EQ(GetDlgItem(console.Dialog(), 1009), nullptr) << "identifier 1009 is not used";
}

TEST_F(StartupTest, FieldBoxesAreEditableAndKeepWhatIsTyped)
{
    Console& console = Start();
    const int fields[] = {IDC_EDIT_NAME,     IDC_EDIT_SEX,       IDC_EDIT_NATION,    IDC_EDIT_BIRTH,
                          IDC_EDIT_ADDRESS,  IDC_EDIT_IDNUMBER,  IDC_EDIT_AUTHORITY, IDC_EDIT_VALIDFROM,
                          IDC_EDIT_VALIDTO,  IDC_EDIT_PHOTONAME};
    for (int id : fields)
        console.Type(id, L"张三" + std::to_wstring(id));
    // Commands that do not touch the fields leave them as typed.
    m_folder->WriteScript(L"[getDeviceStatus]\nresult=1\ntext=就绪\n");
    console.ClickAndDismiss(IDC_BTN_STATUS);
    for (int id : fields)
        EXPECT_EQ(console.Text(id), L"张三" + std::to_wstring(id)) << "box " << id;
}

// One session with /log: a header, a session line, and two lines per library call
// in call order (open, status, read card, the eleven fields, close): one as it
// starts, one as it returns.
TEST_F(StartupTest, LogGetsOneLinePerCallInOrder)
{
    // ASCII: this test runs under every code page.
    m_folder->WriteScript(L"[OpenDevice]\ntext=port\topen\n[readCard]\ndelay=30\n");
    Console& console = Start(ProgramFile(), L"/LOG calls.log");
    console.ClickAndDismiss(IDC_BTN_OPEN);
    console.ClickAndDismiss(IDC_BTN_STATUS);
    console.ClickAndDismiss(IDC_BTN_READCARD);
    console.Click(IDC_BTN_CARDINFO);
    console.Barrier();
    console.ClickAndDismiss(IDC_BTN_CLOSE);

    const std::string log = m_folder->ReadBytes(L"calls.log");
    ASSERT_EQ(log.substr(log.size() - 2), "\r\n") << "the last line ended";
    // What the library took from Windows follows a call's line as "#taken" and
    // "#held" notes: never between a call's started line and its own, and the
    // "#held" one only after CloseDevice.
    std::vector<std::vector<std::string>> lines;
    for (const auto& line : LogLinesCut(log, true)) {
        if (line.at(0) != "#taken" && line.at(0) != "#held") {
            lines.push_back(line);
            continue;
        }
        ASSERT_FALSE(lines.empty());
        EXPECT_NE(lines.back().at(3), "started") << line.at(2);
        if (line.at(0) == "#held") {
            EXPECT_EQ(lines.back().at(1), "CloseDevice");
        }
    }
    const std::vector<std::pair<std::string, std::string>> calls = {
        {"OpenDevice", "1001"}, {"getDeviceStatus", "-"}, {"readCard", "-"},
        {"GetCardInfo", "0"}, {"GetCardInfo", "1"}, {"GetCardInfo", "2"}, {"GetCardInfo", "3"},
        {"GetCardInfo", "4"}, {"GetCardInfo", "5"}, {"GetCardInfo", "6"}, {"GetCardInfo", "7"},
        {"GetCardInfo", "8"}, {"GetCardInfo", "10"}, {"GetCardInfo", "11"}, {"CloseDevice", "-"}};
    // Each call's "started" line, written before the call, just before its line.
    ASSERT_EQ(lines.size(), 2 + 2 * calls.size());
    EXPECT_EQ(lines[0][0], "#time");
    EXPECT_EQ(lines[1][0], "#session");
    EXPECT_NE(lines[1][3].find("Mervik.dll"), std::string::npos) << lines[1][3];
    std::vector<std::vector<std::string>> done;
    for (std::size_t i = 0; i < calls.size(); ++i) {
        const std::vector<std::string>& started = lines[2 + 2 * i];
        const std::vector<std::string>& line = lines[3 + 2 * i];
        ASSERT_EQ(started.size(), 9u) << "line " << i;
        EXPECT_EQ(started[1] + " " + started[2] + " " + started[3], calls[i].first + " " + calls[i].second + " started");
        ASSERT_EQ(line.size(), 9u) << "line " << i;
        EXPECT_EQ(line[1], calls[i].first) << "line " << i;
        EXPECT_EQ(line[2], calls[i].second) << "line " << i;
        EXPECT_EQ(line[3], "result=0") << "line " << i;
        done.push_back(line);
    }
    EXPECT_EQ(done[0][5], "port\\topen") << "the library's text, escaped";
    EXPECT_GE(std::stod(done[2][4]), 30000.0) << "readCard slept 30 ms: its duration in microseconds";
    EXPECT_EQ(done[2][7], sizeof(void*) == 8 ? "x64" : "stdcall") << "the convention its return showed";
    EXPECT_EQ(done[13][5].rfind("length=", 0), 0u) << "the photo by its length only";
}

// A bad option shows what is wrong and the usage, and nothing starts (exit code 2);
// /? shows the usage (exit code 0).
TEST_F(StartupTest, ArgumentsShowTheUsageAndEnd)
{
    for (const auto& [arguments, startsWith, exitCode] :
         {std::tuple{L"/frobnicate", L"未知的选项：/frobnicate\n\n用法：", 2ul}, std::tuple{L"-?", L"用法：", 0ul}}) {
        const LoneBox box = RunToLoneBox(*m_folder, arguments);
        EXPECT_EQ(box.caption, ProgramName());
        EXPECT_EQ(box.text.rfind(startsWith, 0), 0u) << Shown(box.text);
        EXPECT_NE(box.text.find(L"/log <文件>"), std::wstring::npos) << Shown(box.text);
        EXPECT_EQ(box.exitCode, exitCode) << Shown(arguments);
    }
}

}  // namespace
}  // namespace e2e

// The burn-in item and the About item at the end of the system menu, and the
// system commands that open the About box: 16 to 31 (the low four bits are the
// system's), and no other.
#include "ConsoleTest.h"

namespace e2e {
namespace {

using SystemMenuTest = ConsoleTest;

TEST_F(SystemMenuTest, EndsWithASeparatorAndTheAboutItem)
{
    Console& console = Start();
    std::vector<InsiderMenuItem> items = console.SystemMenu();
    ASSERT_GE(items.size(), 5u);
    const InsiderMenuItem& burnIn = items[items.size() - 3];
    EXPECT_TRUE(items[items.size() - 4].type & MFT_SEPARATOR);
    EXPECT_EQ(std::wstring(burnIn.text), L"连续读卡测试(&B)...");
    EXPECT_EQ(burnIn.id, static_cast<UINT>(IDM_BURNIN));
    EXPECT_EQ(burnIn.state & (MFS_DISABLED | MFS_GRAYED), 0u);
    const InsiderMenuItem& separator = items[items.size() - 2];
    const InsiderMenuItem& about = items.back();
    EXPECT_TRUE(separator.type & MFT_SEPARATOR);
    EXPECT_EQ(about.type & (MFT_SEPARATOR | MFT_BITMAP | MFT_OWNERDRAW), 0u) << "a text item";
    EXPECT_EQ(std::wstring(about.text), L"关于 Zantor(&A)...");
    EXPECT_EQ(about.id, static_cast<UINT>(IDM_ABOUTBOX));
    EXPECT_EQ(about.state & (MFS_DISABLED | MFS_GRAYED), 0u);
    // The standard items come first, Close among them.
    bool close = false;
    for (std::size_t i = 0; i + 4 < items.size(); ++i)
        close = close || items[i].id == SC_CLOSE;
    EXPECT_TRUE(close);
}

struct AboutRow {
    WPARAM command;
    bool opensAbout;
};

std::ostream& operator<<(std::ostream& os, const AboutRow& row)
{
    return os << "system command " << row.command << (row.opensAbout ? " opens" : " does not open") << " the About box";
}

class SystemCommandTest : public ConsoleTest, public ::testing::WithParamInterface<AboutRow> {};

TEST_P(SystemCommandTest, OpensTheAboutBoxOnlyFor16To31)
{
    const AboutRow& row = GetParam();
    Console& console = Start();
    console.SysCommand(row.command);
    if (!row.opensAbout) {
        // Once the command has been handled, a box would already be there.
        console.Barrier();
        EXPECT_TRUE(console.OwnedWindows().empty());
        EXPECT_TRUE(console.Running());
        return;
    }

    OwnedBox box = console.WaitForOwnedBox();
    EXPECT_EQ(box.caption, L"关于 Zantor");
    EXPECT_TRUE(box.icon) << "the program's icon";
    std::vector<ChildWindow> children = Children(box.hwnd);
    bool label = false, ok = false;
    for (const ChildWindow& child : children) {
        if (child.className == L"Static" && child.text == L"Zantor，1.0 版") {
            label = true;
            EXPECT_TRUE(child.style & SS_NOPREFIX) << "an ampersand would show as itself";
            EXPECT_TRUE(child.style & WS_GROUP) << "labels start a group";
        }
        // The template's own size: the library's path is cut in its middle to fit.
        const std::vector<RECT> units = console.MapDialogRects({RECT{0, 0, 114, 8}, RECT{113, 41, 163, 55}});
        if (child.id == IDC_ABOUT_LIBRARY) {
            EXPECT_EQ(child.rect.right - child.rect.left, units[0].right) << "114 units wide";
            EXPECT_TRUE(child.style & SS_PATHELLIPSIS);
        }
        if (child.className == L"Button" && child.id == IDOK) {
            ok = true;
            EXPECT_EQ(child.rect.left, units[1].left) << "at x 113";
            EXPECT_EQ(child.text, L"确定");
            EXPECT_EQ(child.style & BS_TYPEMASK, static_cast<DWORD>(BS_DEFPUSHBUTTON));
        }
    }
    EXPECT_TRUE(label) << "the label \"Zantor，1.0 版\"";
    EXPECT_TRUE(ok) << "the OK button";
    console.PressOk(box);
    console.Barrier();
    EXPECT_TRUE(console.OwnedWindows().empty());
    EXPECT_TRUE(console.Running()) << "closing the About box leaves the console running";
}

INSTANTIATE_TEST_SUITE_P(Commands, SystemCommandTest,
                         ::testing::Values(AboutRow{16, true}, AboutRow{31, true}, AboutRow{23, true},
                                           AboutRow{15, false}, AboutRow{32, false}, AboutRow{0x110, false}));

}  // namespace
}  // namespace e2e

#include "ZantorDlg.h"

#include "AboutDlg.h"
#include "CardInfoCommand.h"
#include "CommandBuffers.h"
#include "DeviceCommands.h"
#include "DialogHost.h"
#include "IconPlacement.h"
#include "ImportedReader.h"
#include "resource.h"

static_assert((IDM_ABOUTBOX & 0xFFF0) == IDM_ABOUTBOX && IDM_ABOUTBOX < 0xF000,
              "the About command must leave the low four bits to the system and stay below SC_*");

const DialogBase::MessageEntry<CZantorDlg> CZantorDlg::kMessageMap[] = {
    {WM_SYSCOMMAND, 0, &CZantorDlg::OnSysCommand},
    {WM_PAINT, 0, &CZantorDlg::OnPaint},
    {WM_QUERYDRAGICON, 0, &CZantorDlg::OnQueryDragIcon},
    {WM_COMMAND, IDC_BTN_OPEN, &CZantorDlg::OnOpenDevice},
    {WM_COMMAND, IDC_BTN_CLOSE, &CZantorDlg::OnCloseDevice},
    {WM_COMMAND, IDC_BTN_STATUS, &CZantorDlg::OnDeviceStatus},
    {WM_COMMAND, IDC_BTN_READCARD, &CZantorDlg::OnReadCard},
    {WM_COMMAND, IDC_BTN_CARDINFO, &CZantorDlg::OnReadCardInfo},
};

namespace {

// BeginPaint / EndPaint as a pair.
class PaintDC {
public:
    explicit PaintDC(HWND window) : m_window(window), m_dc(BeginPaint(window, &m_paint)) {}
    ~PaintDC() { EndPaint(m_window, &m_paint); }
    PaintDC(const PaintDC&) = delete;
    PaintDC& operator=(const PaintDC&) = delete;
    HDC Handle() const { return m_dc; }

private:
    HWND m_window;
    PAINTSTRUCT m_paint{};
    HDC m_dc;
};

}  // namespace

CZantorDlg::CZantorDlg()
    : DialogBase(IDD_MAIN), m_hIcon(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME)))
{
}

bool CZantorDlg::RouteMessage(UINT message, WPARAM wParam)
{
    return Route(kMessageMap, message, wParam);
}

BOOL CZantorDlg::OnInitDialog()
{
    DialogBase::OnInitDialog();

    if (HMENU systemMenu = GetSystemMenu(m_hWnd, FALSE)) {
        char aboutText[256] = {};
        if (LoadStringA(GetModuleHandleA(nullptr), IDS_ABOUTBOX, aboutText, sizeof aboutText) > 0) {
            AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr);
            AppendMenuA(systemMenu, MF_STRING, IDM_ABOUTBOX, aboutText);
        }
    }

    SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    SetDlgItemTextA(m_hWnd, IDC_EDIT_PORT, "1001");
    return TRUE;  // focus to the first tab stop, the open button
}

// The About box for the system menu's About item (any of its sixteen ids).
void CZantorDlg::OnSysCommand()
{
    if ((CurrentWParam() & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about;
        about.DoModal(m_hWnd);
    } else {
        UseDefaultProcessing();
    }
}

// The icon, centred, while the window is minimised.
void CZantorDlg::OnPaint()
{
    if (!IsIconic(m_hWnd)) {
        UseDefaultProcessing();
        return;
    }
    PaintDC dc(m_hWnd);
    SendMessageA(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.Handle()), 0);
    const int iconWidth = GetSystemMetrics(SM_CXICON);
    const int iconHeight = GetSystemMetrics(SM_CYICON);
    RECT client{};
    GetClientRect(m_hWnd, &client);
    DrawIcon(dc.Handle(), CentredIconOffset(client.right - client.left, iconWidth),
             CentredIconOffset(client.bottom - client.top, iconHeight), m_hIcon);
}

// The cursor shown while the minimised window is dragged.
void CZantorDlg::OnQueryDragIcon()
{
    SetResult(reinterpret_cast<LRESULT>(m_hIcon));
}

// "打开成功", or why the reader did not open on the typed port.
void CZantorDlg::OnOpenDevice()
{
    DialogHost host(m_hWnd);
    ImportedReader reader;
    RunOpenDevice(host, reader, CommandBuffers());
}

// "关闭成功", or why the reader did not close.
void CZantorDlg::OnCloseDevice()
{
    DialogHost host(m_hWnd);
    ImportedReader reader;
    RunCloseDevice(host, reader, CommandBuffers());
}

// The reader's status text and code.
void CZantorDlg::OnDeviceStatus()
{
    DialogHost host(m_hWnd);
    ImportedReader reader;
    RunDeviceStatus(host, reader, CommandBuffers());
}

// The outcome of a card read, text and code.
void CZantorDlg::OnReadCard()
{
    DialogHost host(m_hWnd);
    ImportedReader reader;
    RunReadCard(host, reader, CommandBuffers());
}

// The card's fields in the form and its photo in zp.jpg.
void CZantorDlg::OnReadCardInfo()
{
    DialogHost host(m_hWnd);
    ImportedReader reader;
    RunReadCardInfo(host, reader, CommandBuffers());
}

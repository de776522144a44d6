#include "ZantorDlg.h"

#include "AboutDlg.h"
#include "ApplicationName.h"
#include "CardInfoCommand.h"
#include "CommandBuffers.h"
#include "DeviceCommands.h"
#include "DialogHost.h"
#include "IconPlacement.h"
#include "ImportedReader.h"
#include "Win32Owners.h"
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

CZantorDlg::CZantorDlg()
    : DialogBase(IDD_MAIN), m_hIcon(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME)))
{
}

INT_PTR CZantorDlg::RouteMessage(UINT message, WPARAM wParam)
{
    return Route(kMessageMap, message, wParam);
}

BOOL CZantorDlg::OnInitDialog()
{
    DialogBase::OnInitDialog();

    // The item's text is taken in UTF-16 from the string table, so that it reads
    // right whatever the ANSI code page.
    if (HMENU systemMenu = GetSystemMenu(m_hWnd, FALSE)) {
        wchar_t aboutText[256] = {};
        if (LoadStringW(GetModuleHandleW(nullptr), IDS_ABOUTBOX, aboutText, 256) > 0) {
            AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
            AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, aboutText);
        }
    }

    SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    SetDlgItemTextW(m_hWnd, IDC_EDIT_PORT, L"1001");
    return TRUE;  // focus to the first tab stop, the open button
}

// The About box for the system menu's About item (any of its sixteen ids), or
// why it could not be shown.
bool CZantorDlg::OnSysCommand(UINT command)
{
    if ((command & 0xFFF0) != IDM_ABOUTBOX)
        return false;
    CAboutDlg about;
    if (about.DoModal(m_hWnd) == -1) {
        wchar_t text[64];
        wsprintfW(text, L"无法显示关于对话框 错误码：%lu", GetLastError());
        ShowApplicationMessage(m_hWnd, text);
    }
    return true;
}

// The icon, centred, while the window is minimised.
bool CZantorDlg::OnPaint()
{
    if (!IsIconic(m_hWnd))
        return false;
    win32::PaintDC dc(m_hWnd);
    SendMessageW(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.Get()), 0);
    const int iconWidth = GetSystemMetrics(SM_CXICON);
    const int iconHeight = GetSystemMetrics(SM_CYICON);
    RECT client{};
    GetClientRect(m_hWnd, &client);
    DrawIcon(dc.Get(), CentredIconOffset(client.right - client.left, iconWidth),
             CentredIconOffset(client.bottom - client.top, iconHeight), m_hIcon);
    return true;
}

// The cursor shown while the minimised window is dragged.
HICON CZantorDlg::OnQueryDragIcon()
{
    return m_hIcon;
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

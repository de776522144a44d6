// Insider.dll: loaded into the console by the tests' message hook. On the
// inspection message it reads what only the window's own process can read and
// writes it into the test's shared memory block. It changes nothing in the
// console: the message is turned into WM_NULL before the dialog sees it.
#include "Insider.h"
#include "TestOwners.h"

namespace {

BOOL CALLBACK Repaint(HWND hwnd, LPARAM)
{
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    return TRUE;
}

// Copies the window's pixels into a 24-bit bottom-up BMP file.
bool SaveWindow(HWND hwnd, const wchar_t* path)
{
    RECT rect;
    if (!GetWindowRect(hwnd, &rect))
        return false;
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    const DWORD stride = static_cast<DWORD>((width * 3 + 3) & ~3);
    const DWORD imageSize = stride * static_cast<DWORD>(height);

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;

    const win32::WindowDC windowDc(hwnd);
    if (!windowDc)
        return false;
    const win32::MemoryDC memoryDc(CreateCompatibleDC(windowDc.Get()));
    void* bits = nullptr;
    const win32::GdiObject bitmap(CreateDIBSection(windowDc.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!memoryDc || !bitmap)
        return false;
    HGDIOBJ old = SelectObject(memoryDc.Get(), bitmap.Get());
    BitBlt(memoryDc.Get(), 0, 0, width, height, windowDc.Get(), 0, 0, SRCCOPY);
    GdiFlush();
    SelectObject(memoryDc.Get(), old);

    BITMAPFILEHEADER header = {};
    header.bfType = 0x4D42;  // "BM"
    header.bfOffBits = sizeof header + sizeof info.bmiHeader;
    header.bfSize = header.bfOffBits + imageSize;
    win32::FileHandle file(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    DWORD written = 0;
    const bool saved = WriteFile(file.Get(), &header, sizeof header, &written, nullptr) &&
                       WriteFile(file.Get(), &info.bmiHeader, sizeof info.bmiHeader, &written, nullptr) &&
                       WriteFile(file.Get(), bits, imageSize, &written, nullptr);
    return saved;
}

void Answer(HWND dialog, e2e::InsiderBlock& block)
{
    block.status = 0;
    switch (static_cast<e2e::InsiderRequest>(block.request)) {
    case e2e::InsiderRequest::kBarrier:
        block.status = 1;
        break;
    case e2e::InsiderRequest::kSystemMenu: {
        HMENU menu = GetSystemMenu(dialog, FALSE);
        if (!menu)
            break;
        int count = GetMenuItemCount(menu);
        if (count < 0)
            break;
        block.count = 0;
        for (int i = 0; i < count && block.count < e2e::InsiderBlock::kMaxItems; ++i) {
            e2e::InsiderMenuItem& item = block.items[block.count++];
            MENUITEMINFOW info = {};
            info.cbSize = sizeof info;
            info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING;
            info.dwTypeData = item.text;
            info.cch = ARRAYSIZE(item.text);
            item.text[0] = L'\0';
            if (!GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info))
                return;
            item.type = info.fType;
            item.state = info.fState;
            item.id = info.wID;
        }
        block.status = 1;
        break;
    }
    case e2e::InsiderRequest::kMapDialogRects:
        if (block.count > e2e::InsiderBlock::kMaxRects)
            break;
        for (std::uint32_t i = 0; i < block.count; ++i) {
            if (!MapDialogRect(dialog, &block.rects[i]))
                return;
        }
        block.status = 1;
        break;
    case e2e::InsiderRequest::kRepaint:
        EnumThreadWindows(GetCurrentThreadId(), Repaint, 0);
        block.status = 1;
        break;
    case e2e::InsiderRequest::kCapture:
        block.status = SaveWindow(reinterpret_cast<HWND>(static_cast<std::uintptr_t>(block.values[0])), block.path);
        break;
    case e2e::InsiderRequest::kIcons:
        block.values[0] = reinterpret_cast<std::uintptr_t>(
            reinterpret_cast<HICON>(SendMessageW(dialog, WM_GETICON, ICON_BIG, 0)));
        block.values[1] = reinterpret_cast<std::uintptr_t>(
            reinterpret_cast<HICON>(SendMessageW(dialog, WM_GETICON, ICON_SMALL, 0)));
        block.status = 1;
        break;
    }
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK InsiderGetMessageHook(int code, WPARAM removed, LPARAM lParam)
{
    static const UINT inspect = RegisterWindowMessageW(e2e::InsiderMessageName());
    MSG* msg = reinterpret_cast<MSG*>(lParam);
    if (code == HC_ACTION && removed == PM_REMOVE && msg && msg->message == inspect) {
        wchar_t name[64];
        e2e::InsiderBlockName(static_cast<DWORD>(msg->wParam), name);
        const win32::KernelHandle mapping(OpenFileMappingW(FILE_MAP_WRITE | FILE_MAP_READ, FALSE, name));
        const win32::MappedView view(
            mapping ? MapViewOfFile(mapping.Get(), FILE_MAP_WRITE | FILE_MAP_READ, 0, 0, sizeof(e2e::InsiderBlock))
                    : nullptr);
        if (view) {
            auto& block = *static_cast<e2e::InsiderBlock*>(view.Get());
            Answer(msg->hwnd, block);
            InterlockedExchange(&block.done, static_cast<LONG>(msg->lParam));
        }
        msg->message = WM_NULL;
    }
    return CallNextHookEx(nullptr, code, removed, lParam);
}

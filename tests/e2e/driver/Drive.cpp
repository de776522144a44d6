// zantor-drive.exe: drives a running console from the command line, one step per
// call, for scripts that show it working (scripts/run.sh, scripts/screenshots.sh).
//
//   zantor-drive wait              wait for the console's dialog; print its rectangle
//   zantor-drive activate          bring the dialog to the front
//   zantor-drive repaint           repaint the console's windows now
//   zantor-drive capture FILE.bmp [box]  save the dialog (or the box it opened),
//                                  frame included, as painted inside the console
//   zantor-drive type ID TEXT      replace the text of control ID
//   zantor-drive text ID           print the text of control ID
//   zantor-drive click ID          click button ID and let it run; print the box it
//                                  opened, if any (left open)
//   zantor-drive syscommand N      post system command N; print the box it opens
//   zantor-drive ok                press OK on the open box
//   zantor-drive boxtype ID TEXT   replace the text of control ID in the open box
//   zantor-drive boxclick ID       click button ID in the open box; wait until the box is gone
//   zantor-drive close             close the console and wait for it to end
//
// Rectangles are "left top right bottom" in screen pixels; texts are UTF-8.
#include <windows.h>

#include <shellapi.h>

#include <string>

#include "Console.h"

namespace {

void Print(const std::wstring& text)
{
    std::string bytes = e2e::ToUtf8(text + L"\n");
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::wstring RectOf(HWND hwnd)
{
    RECT r;
    GetWindowRect(hwnd, &r);
    return std::to_wstring(r.left) + L" " + std::to_wstring(r.top) + L" " + std::to_wstring(r.right) + L" " +
           std::to_wstring(r.bottom);
}

void PrintBox(const e2e::OwnedBox& box)
{
    Print(L"box " + RectOf(box.hwnd));
    Print(L"caption " + box.caption);
    Print(L"text " + box.text);
}

int Run(int argc, wchar_t** argv)
{
    if (argc < 2) {
        Print(L"usage: zantor-drive wait | activate | type ID TEXT | text ID | click ID | syscommand N | ok | close");
        return 2;
    }
    const std::wstring command = argv[1];
    auto console = e2e::Console::Attach(command == L"wait" ? 30000 : e2e::kTimeoutMs);
    auto number = [&](int i) { return i < argc ? _wtoi(argv[i]) : 0; };

    if (command == L"wait") {
        Print(L"dialog " + RectOf(console->Dialog()));
    } else if (command == L"activate") {
        HWND dialog = console->Dialog();
        SetForegroundWindow(dialog);
        const ULONGLONG end = GetTickCount64() + e2e::kTimeoutMs;
        while (GetForegroundWindow() != dialog) {
            if (GetTickCount64() >= end) {
                Print(L"the dialog did not come to the front");
                return 1;
            }
            Sleep(5);
        }
        console->Barrier();
    } else if (command == L"capture" && argc >= 3) {
        HWND window = console->Dialog();
        // A box may come at the end of a run: waited for longer.
        if (argc >= 4 && std::wstring(argv[3]) == L"box")
            window = console->WaitForOwnedBox(120000).hwnd;
        console->Capture(window, argv[2]);
    } else if (command == L"repaint") {
        console->Repaint();
    } else if (command == L"type" && argc >= 4) {
        console->Type(number(2), argv[3]);
    } else if (command == L"text" && argc >= 3) {
        Print(console->Text(number(2)));
    } else if (command == L"click" && argc >= 3) {
        console->Click(number(2));
        // Once the click has been dispatched, a box it opens is there.
        console->Barrier();
        for (HWND hwnd : console->OwnedWindows()) {
            if (IsWindowVisible(hwnd)) {
                PrintBox(console->WaitForOwnedBox());
                break;
            }
        }
    } else if (command == L"syscommand" && argc >= 3) {
        console->SysCommand(static_cast<WPARAM>(number(2)));
        PrintBox(console->WaitForOwnedBox());
    } else if (command == L"ok") {
        std::vector<HWND> owned = console->OwnedWindows();
        if (owned.empty()) {
            Print(L"no box is open");
            return 1;
        }
        e2e::OwnedBox box;
        box.hwnd = owned.front();
        console->PressOk(box);
    } else if ((command == L"boxtype" && argc >= 4) || (command == L"boxclick" && argc >= 3)) {
        const HWND box = console->WaitForOwnedBox().hwnd;
        const HWND item = GetDlgItem(box, number(2));
        if (!item) {
            Print(L"the box has no control " + std::to_wstring(number(2)));
            return 1;
        }
        if (command == L"boxtype") {
            SendMessageW(item, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[3]));
        } else {
            PostMessageW(item, BM_CLICK, 0, 0);
            const ULONGLONG end = GetTickCount64() + e2e::kTimeoutMs;
            while (IsWindow(box)) {
                if (GetTickCount64() >= end) {
                    Print(L"the box did not close");
                    return 1;
                }
                Sleep(5);
            }
        }
    } else if (command == L"close") {
        console->SysCommand(SC_CLOSE);
        if (!console->WaitForExit(e2e::kTimeoutMs)) {
            Print(L"the console did not end");
            return 1;
        }
    } else {
        Print(L"unknown command " + command);
        return 2;
    }
    return 0;
}

}  // namespace

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    try {
        int rc = Run(argc, argv);
        LocalFree(argv);
        return rc;
    } catch (const e2e::DriveError& error) {
        Print(L"zantor-drive: " + e2e::FromUtf8(error.what()));
        LocalFree(argv);
        return 1;
    }
}

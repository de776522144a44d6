#include "Console.h"

#include <algorithm>

#include "resource.h"

namespace e2e {

namespace {

constexpr DWORD kPollMs = 5;

[[noreturn]] void Fail(const std::wstring& what)
{
    throw DriveError(ToUtf8(what));
}

std::wstring LastError()
{
    return L" (error " + std::to_wstring(GetLastError()) + L")";
}

// Calls `done` until it is true or the time is up; waits on `process` between
// calls, so that a process that ends is noticed at once.
template <class Done>
bool PollUntil(Done done, DWORD timeoutMs, HANDLE process = nullptr)
{
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        if (done())
            return true;
        if (GetTickCount64() >= end)
            return false;
        if (process)
            WaitForSingleObject(process, kPollMs);
        else
            Sleep(kPollMs);
    }
}

std::wstring ClassOf(HWND hwnd)
{
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, ARRAYSIZE(name));
    return name;
}

std::wstring TitleOf(HWND hwnd)
{
    int length = GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<std::size_t>(std::max(length, 0)) + 1, L'\0');
    int copied = GetWindowTextW(hwnd, &text[0], static_cast<int>(text.size()));
    text.resize(static_cast<std::size_t>(std::max(copied, 0)));
    return text;
}

struct TopLevelSearch {
    DWORD pid;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectTopLevel(HWND hwnd, LPARAM param)
{
    auto* search = reinterpret_cast<TopLevelSearch*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == search->pid)
        search->found.push_back(hwnd);
    return TRUE;
}

std::vector<HWND> TopLevelWindowsOf(DWORD pid)
{
    TopLevelSearch search{pid, {}};
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void RemoveTree(const std::wstring& path)
{
    WIN32_FIND_DATAW data;
    const win32::FindHandle find(FindFirstFileW((path + L"\\*").c_str(), &data));
    if (find) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring full = path + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(full);
            } else {
                SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(full.c_str());
            }
        } while (FindNextFileW(find.Get(), &data));
    }
    RemoveDirectoryW(path.c_str());
}

// The test's environment with MERVIK_INI replaced, as a Unicode block.
std::vector<wchar_t> EnvironmentWithScript(const std::wstring& ini)
{
    std::vector<wchar_t> block;
    if (wchar_t* strings = GetEnvironmentStringsW()) {
        for (const wchar_t* p = strings; *p; p += wcslen(p) + 1) {
            if (_wcsnicmp(p, L"MERVIK_INI=", 11) == 0)
                continue;
            block.insert(block.end(), p, p + wcslen(p) + 1);
        }
        FreeEnvironmentStringsW(strings);
    }
    std::wstring entry = L"MERVIK_INI=" + ini;
    block.insert(block.end(), entry.c_str(), entry.c_str() + entry.size() + 1);
    block.push_back(L'\0');
    return block;
}

// Starts the program; returns its process (the thread's handle is closed).
win32::KernelHandle Launch(const WorkFolder& folder, const std::wstring& exe, const std::wstring& arguments = L"")
{
    std::wstring path = folder.File(exe);
    std::wstring commandLine = L"\"" + path + L"\"";
    if (!arguments.empty())
        commandLine += L" " + arguments;
    std::vector<wchar_t> environment = EnvironmentWithScript(folder.File(L"Mervik.ini"));
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    // On a loaded machine Wine now and then fails to create a process with
    // ERROR_INTERNAL_ERROR before it runs a line; that failure, and only that,
    // is tried again.
    for (int attempt = 1;; ++attempt) {
        if (CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                           environment.data(), folder.Path().c_str(), &startup, &info))
            break;
        if (GetLastError() != ERROR_INTERNAL_ERROR || attempt == 3)
            Fail(L"cannot start " + path + LastError());
    }
    const win32::KernelHandle thread(info.hThread);
    return win32::KernelHandle(info.hProcess);
}

}  // namespace

std::string ToUtf8(const std::wstring& text)
{
    if (text.empty())
        return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size, nullptr, nullptr);
    return out;
}

std::wstring FromUtf8(const std::string& text)
{
    if (text.empty())
        return {};
    int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size);
    return out;
}

std::wstring BinFolder()
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        Fail(L"cannot find this program's folder" + LastError());
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L"\\/"));
}

namespace {

// The full path of `path`, however long; throws when the system cannot make one.
std::wstring FullPath(const std::wstring& path)
{
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        // The length without the NUL when it fits, else the size needed with it.
        const DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
        if (length == 0)
            Fail(L"bad path " + path + LastError());
        if (length < full.size()) {
            full.resize(length);
            return full;
        }
        full.resize(length);
    }
}

}  // namespace

std::wstring ProgramName()
{
    return ZANTOR_PROGRAM;
}

std::wstring ProgramFile()
{
    return ProgramName() + L".exe";
}

std::string ReadFileBytes(const std::wstring& path)
{
    const win32::FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        Fail(L"cannot read " + path + LastError());
    std::string bytes;
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(file.Get(), chunk, sizeof chunk, &got, nullptr) && got > 0)
        bytes.append(chunk, got);
    return bytes;
}

std::vector<ChildWindow> Children(HWND parent)
{
    std::vector<ChildWindow> children;
    for (HWND hwnd = GetWindow(parent, GW_CHILD); hwnd; hwnd = GetWindow(hwnd, GW_HWNDNEXT)) {
        ChildWindow child;
        child.hwnd = hwnd;
        child.id = GetDlgCtrlID(hwnd);
        child.className = ClassOf(hwnd);
        child.text = TitleOf(hwnd);
        child.style = static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE));
        child.exStyle = static_cast<DWORD>(GetWindowLongW(hwnd, GWL_EXSTYLE));
        GetWindowRect(hwnd, &child.rect);
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&child.rect), 2);
        children.push_back(child);
    }
    return children;
}

// ---- WorkFolder ----

WorkFolder::WorkFolder(const std::wstring& name)
{
    const std::wstring root = FullPath(BinFolder() + L"\\..\\e2e-work");
    CreateDirectoryW(root.c_str(), nullptr);
    m_path = root + L"\\" + name;
    RemoveTree(m_path);
    if (!CreateDirectoryW(m_path.c_str(), nullptr))
        Fail(L"cannot make the working folder " + m_path + LastError());
}

void WorkFolder::CopyProgram(const std::wstring& as) const
{
    std::wstring from = BinFolder() + L"\\" + ProgramFile();
    if (!CopyFileW(from.c_str(), File(as).c_str(), FALSE))
        Fail(L"cannot copy " + from + LastError());
}

void WorkFolder::CopyReader() const
{
    std::wstring from = BinFolder() + L"\\Mervik.dll";
    if (!CopyFileW(from.c_str(), File(L"Mervik.dll").c_str(), FALSE))
        Fail(L"cannot copy " + from + LastError());
}

void WorkFolder::WriteScript(const std::wstring& ini) const
{
    WriteBytes(L"Mervik.ini", ToUtf8(ini));
}

void WorkFolder::WriteBytes(const std::wstring& name, const std::string& bytes) const
{
    const win32::FileHandle file(
        CreateFileW(File(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        Fail(L"cannot write " + File(name) + LastError());
    DWORD written = 0;
    const BOOL ok = WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    if (!ok || written != bytes.size())
        Fail(L"short write to " + File(name));
}

std::string WorkFolder::ReadBytes(const std::wstring& name) const
{
    return ReadFileBytes(File(name));
}

// ---- Console ----

struct DialogSearch {
    HWND found = nullptr;
};

BOOL CALLBACK FindConsoleDialog(HWND hwnd, LPARAM param)
{
    auto* search = reinterpret_cast<DialogSearch*>(param);
    if (ClassOf(hwnd) == L"#32770" && !GetWindow(hwnd, GW_OWNER) && IsWindowVisible(hwnd) &&
        GetDlgItem(hwnd, IDC_EDIT_PORT) && GetDlgItem(hwnd, IDC_BTN_OPEN)) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

std::unique_ptr<Console> Console::Attach(DWORD timeoutMs)
{
    DialogSearch search;
    if (!PollUntil([&] { EnumWindows(FindConsoleDialog, reinterpret_cast<LPARAM>(&search)); return search.found != nullptr; },
                   timeoutMs))
        Fail(L"no console dialog found");
    std::unique_ptr<Console> console(new Console);
    console->m_dialog = search.found;
    console->m_tid = GetWindowThreadProcessId(search.found, &console->m_pid);
    console->m_process.Reset(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, console->m_pid));
    if (!console->m_process)
        Fail(L"cannot open the console's process" + LastError());
    return console;
}

Console::Console(const WorkFolder& folder, const std::wstring& exe, const std::wstring& arguments)
{
    m_process = Launch(folder, exe, arguments);
    m_started = true;
    m_pid = GetProcessId(m_process.Get());
    bool found = PollUntil(
        [&] {
            for (HWND hwnd : TopLevelWindowsOf(m_pid)) {
                if (ClassOf(hwnd) == L"#32770" && !GetWindow(hwnd, GW_OWNER) && IsWindowVisible(hwnd)) {
                    m_dialog = hwnd;
                    return true;
                }
            }
            return WaitForSingleObject(m_process.Get(), 0) == WAIT_OBJECT_0;
        },
        kTimeoutMs, m_process.Get());
    if (!m_dialog) {
        DWORD code = 0;
        GetExitCodeProcess(m_process.Get(), &code);
        Fail(found ? L"the console ended without a window, exit code " + std::to_wstring(code)
                   : L"the console's dialog did not appear");
    }
    m_tid = GetWindowThreadProcessId(m_dialog, nullptr);
}

Console::~Console()
{
    if (m_process && m_started && WaitForSingleObject(m_process.Get(), 0) == WAIT_TIMEOUT) {
        TerminateProcess(m_process.Get(), 1);
        WaitForSingleObject(m_process.Get(), kTimeoutMs);
    }
}

HWND Console::Item(int id) const
{
    HWND item = GetDlgItem(m_dialog, id);
    if (!item)
        Fail(L"the dialog has no control " + std::to_wstring(id));
    return item;
}

void Console::Type(int id, const std::wstring& text) const
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(Item(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG,
                             kTimeoutMs, &result) ||
        !result)
        Fail(L"cannot type into control " + std::to_wstring(id));
}

std::wstring Console::Text(int id) const
{
    return WindowText(Item(id));
}

std::wstring WindowText(HWND item)
{
    const int id = GetDlgCtrlID(item);
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(item, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kTimeoutMs, &length))
        Fail(L"no answer from control " + std::to_wstring(id));
    // The length may count the narrow window's bytes: room for that, and a NUL.
    std::wstring text(length + 2, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(item, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]), SMTO_ABORTIFHUNG,
                             kTimeoutMs, &copied))
        Fail(L"no answer from control " + std::to_wstring(id));
    text.resize(wcsnlen(text.c_str(), text.size()));
    return text;
}

void Console::Click(int id) const
{
    if (!PostMessageW(Item(id), BM_CLICK, 0, 0))
        Fail(L"cannot click " + std::to_wstring(id) + LastError());
}

void Console::SysCommand(WPARAM command) const
{
    if (!PostMessageW(m_dialog, WM_SYSCOMMAND, command, 0))
        Fail(L"cannot post a system command" + LastError());
}

void Console::PressKey(int id, UINT virtualKey) const
{
    HWND item = Item(id);
    LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC)) << 16;
    if (!PostMessageW(item, WM_KEYDOWN, virtualKey, scan | 1))
        Fail(L"cannot press a key" + LastError());
    // The key-down may already have ended the console.
    PostMessageW(item, WM_KEYUP, virtualKey, scan | 1 | (1u << 30) | (1u << 31));
}

void Console::TypeRealKey(UINT virtualKey) const
{
    SetForegroundWindow(m_dialog);
    INPUT keys[2] = {};
    for (INPUT& key : keys) {
        key.type = INPUT_KEYBOARD;
        key.ki.wVk = static_cast<WORD>(virtualKey);
        key.ki.wScan = static_cast<WORD>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC));
    }
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    if (SendInput(2, keys, sizeof(INPUT)) != 2)
        Fail(L"cannot send a key" + LastError());
}

HWND Console::WaitForTopLevel(const std::wstring& className, DWORD timeoutMs) const
{
    HWND found = nullptr;
    PollUntil(
        [&] {
            for (HWND hwnd : TopLevelWindowsOf(m_pid))
                if (ClassOf(hwnd) == className && IsWindowVisible(hwnd))
                    found = hwnd;
            return found != nullptr || WaitForSingleObject(m_process.Get(), 0) == WAIT_OBJECT_0;
        },
        timeoutMs, m_process.Get());
    return found;
}

HWND Console::Focus() const
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(m_tid, &info))
        return nullptr;
    return info.hwndFocus;
}

void Console::FocusOn(int id) const
{
    HWND item = Item(id);
    PostMessageW(m_dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item), TRUE);
    if (!PollUntil([&] { return Focus() == item; }, kTimeoutMs, m_process.Get()))
        Fail(L"the focus did not move to control " + std::to_wstring(id));
}

std::vector<HWND> Console::OwnedWindows() const
{
    std::vector<HWND> owned;
    for (HWND hwnd : TopLevelWindowsOf(m_pid)) {
        if (GetWindow(hwnd, GW_OWNER) == m_dialog)
            owned.push_back(hwnd);
    }
    return owned;
}

OwnedBox Console::WaitForOwnedBox(DWORD timeoutMs) const
{
    return WaitForBoxOwnedBy(m_dialog, timeoutMs);
}

OwnedBox Console::WaitForBoxOwnedBy(HWND owner, DWORD timeoutMs, const std::wstring& caption) const
{
    OwnedBox box;
    PollUntil(
        [&] {
            for (HWND hwnd : TopLevelWindowsOf(m_pid)) {
                if (GetWindow(hwnd, GW_OWNER) == owner && IsWindowVisible(hwnd) &&
                    (caption.empty() || TitleOf(hwnd) == caption)) {
                    box.hwnd = hwnd;
                    return true;
                }
            }
            return !Running();
        },
        timeoutMs, m_process.Get());
    if (!box.hwnd)
        Fail(Running() ? L"no box owned by the window appeared" : L"the console ended instead of showing a box");
    box.caption = TitleOf(box.hwnd);
    if (HWND text = GetDlgItem(box.hwnd, 0xFFFF))
        box.text = TitleOf(text);
    for (HWND child = GetWindow(box.hwnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!IsWindowVisible(child))
            continue;
        LONG style = GetWindowLongW(child, GWL_STYLE);
        if (ClassOf(child) == L"Button")
            box.buttons.push_back(GetDlgCtrlID(child));
        else if (ClassOf(child) == L"Static" && (style & SS_TYPEMASK) == SS_ICON) {
            DWORD_PTR icon = 0;
            SendMessageTimeoutW(child, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, kTimeoutMs, &icon);
            box.icon = box.icon || icon != 0;
        }
    }
    return box;
}

void Console::PressOk(const OwnedBox& box) const
{
    HWND ok = GetDlgItem(box.hwnd, IDOK);
    if (!ok)
        Fail(L"the box has no OK button");
    PostMessageW(ok, BM_CLICK, 0, 0);
    if (!PollUntil([&] { return !IsWindow(box.hwnd); }, kTimeoutMs, m_process.Get()))
        Fail(L"the box did not close on OK");
}

OwnedBox Console::ClickAndDismiss(int id) const
{
    Click(id);
    OwnedBox box = WaitForOwnedBox();
    PressOk(box);
    return box;
}

const InsiderBlock& Console::Inspect(InsiderRequest request, const RECT* rects, std::uint32_t count) const
{
    auto* self = const_cast<Console*>(this);
    if (!m_hook) {
        std::wstring dll = BinFolder() + L"\\Insider.dll";
        self->m_insiderDll.Reset(LoadLibraryW(dll.c_str()));
        if (!m_insiderDll)
            Fail(L"cannot load " + dll + LastError());
        auto proc = reinterpret_cast<HOOKPROC>(
            reinterpret_cast<void*>(GetProcAddress(m_insiderDll.Get(), "InsiderGetMessageHook")));
        wchar_t name[64];
        InsiderBlockName(GetCurrentProcessId(), name);
        self->m_mapping.Reset(
            CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(InsiderBlock), name));
        if (m_mapping)
            self->m_view.Reset(MapViewOfFile(m_mapping.Get(), FILE_MAP_WRITE | FILE_MAP_READ, 0, 0, 0));
        self->m_block = static_cast<InsiderBlock*>(m_view.Get());
        if (!proc || !m_block)
            Fail(L"cannot set up the insider" + LastError());
        self->m_hook.Reset(SetWindowsHookExW(WH_GETMESSAGE, proc, m_insiderDll.Get(), m_tid));
        if (!m_hook)
            Fail(L"cannot hook the console's thread" + LastError());
    }
    m_block->request = static_cast<std::uint32_t>(request);
    m_block->status = 0;
    m_block->count = count;
    std::copy(rects, rects + count, m_block->rects);
    LONG sequence = ++m_sequence;
    static const UINT message = RegisterWindowMessageW(InsiderMessageName());
    if (!PostMessageW(m_dialog, message, GetCurrentProcessId(), sequence))
        Fail(L"cannot post to the dialog" + LastError());
    if (!PollUntil([&] { return InterlockedCompareExchange(&m_block->done, 0, 0) == sequence; }, kTimeoutMs,
                   m_process.Get()))
        Fail(L"the insider inside the console did not answer");
    if (m_block->status != 1)
        Fail(L"the insider's call inside the console failed");
    return *m_block;
}

void Console::Barrier() const
{
    Inspect(InsiderRequest::kBarrier);
}

std::vector<InsiderMenuItem> Console::SystemMenu() const
{
    const InsiderBlock& block = Inspect(InsiderRequest::kSystemMenu);
    return std::vector<InsiderMenuItem>(block.items, block.items + block.count);
}

std::vector<RECT> Console::MapDialogRects(const std::vector<RECT>& units) const
{
    if (units.size() > InsiderBlock::kMaxRects)
        Fail(L"too many rectangles");
    const InsiderBlock& block =
        Inspect(InsiderRequest::kMapDialogRects, units.data(), static_cast<std::uint32_t>(units.size()));
    return std::vector<RECT>(block.rects, block.rects + units.size());
}

std::pair<std::uint64_t, std::uint64_t> Console::Icons() const
{
    const InsiderBlock& block = Inspect(InsiderRequest::kIcons);
    return {block.values[0], block.values[1]};
}

void Console::Repaint() const
{
    Inspect(InsiderRequest::kRepaint);
}

void Console::Capture(HWND window, const std::wstring& bmpPath) const
{
    const std::wstring full = FullPath(bmpPath);
    if (full.size() >= MAX_PATH)
        Fail(L"path too long: " + full);
    Repaint();  // also sets up the insider and its block
    m_block->values[0] = reinterpret_cast<std::uintptr_t>(window);
    wcscpy(m_block->path, full.c_str());
    Inspect(InsiderRequest::kCapture);
}

bool Console::WaitForExit(DWORD timeoutMs, DWORD* exitCode) const
{
    if (WaitForSingleObject(m_process.Get(), timeoutMs) != WAIT_OBJECT_0)
        return false;
    if (exitCode)
        GetExitCodeProcess(m_process.Get(), exitCode);
    return true;
}

bool Console::Running() const
{
    return WaitForSingleObject(m_process.Get(), 0) == WAIT_TIMEOUT;
}

DWORD RunToExit(const WorkFolder& folder, const std::wstring& exe, DWORD timeoutMs, const std::wstring& arguments)
{
    const win32::KernelHandle process = Launch(folder, exe, arguments);
    DWORD code = 0;
    const bool ended = WaitForSingleObject(process.Get(), timeoutMs) == WAIT_OBJECT_0;
    if (ended) {
        GetExitCodeProcess(process.Get(), &code);
    } else {
        TerminateProcess(process.Get(), 1);
        WaitForSingleObject(process.Get(), kTimeoutMs);
    }
    if (!ended)
        Fail(exe + L" did not end");
    return code;
}

LoneBox RunToLoneBox(const WorkFolder& folder, const std::wstring& arguments)
{
    const win32::KernelHandle process = Launch(folder, ProgramFile(), arguments);
    const DWORD pid = GetProcessId(process.Get());
    HWND box = nullptr;
    const bool found = PollUntil(
        [&] {
            for (HWND hwnd : TopLevelWindowsOf(pid)) {
                if (ClassOf(hwnd) == L"#32770" && !GetWindow(hwnd, GW_OWNER) && IsWindowVisible(hwnd)) {
                    box = hwnd;
                    return true;
                }
            }
            return WaitForSingleObject(process.Get(), 0) == WAIT_OBJECT_0;
        },
        kTimeoutMs, process.Get());
    LoneBox lone;
    if (box) {
        if (GetDlgItem(box, IDC_EDIT_PORT)) {
            TerminateProcess(process.Get(), 1);
            Fail(L"the main dialog came up instead of a box");
        }
        lone.caption = TitleOf(box);
        if (HWND text = GetDlgItem(box, 0xFFFF))
            lone.text = TitleOf(text);
        PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    }
    if (WaitForSingleObject(process.Get(), kTimeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(process.Get(), 1);
        Fail(L"the program did not end after its box");
    }
    if (!found || !box)
        Fail(L"the program ended without a box");
    GetExitCodeProcess(process.Get(), &lone.exitCode);
    return lone;
}

}  // namespace e2e

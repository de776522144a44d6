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
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
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
        } while (FindNextFileW(find, &data));
        FindClose(find);
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

PROCESS_INFORMATION Launch(const WorkFolder& folder, const std::wstring& exe)
{
    std::wstring path = folder.File(exe);
    std::wstring commandLine = L"\"" + path + L"\"";
    std::vector<wchar_t> environment = EnvironmentWithScript(folder.File(L"Mervik.ini"));
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                        environment.data(), folder.Path().c_str(), &startup, &info))
        Fail(L"cannot start " + path + LastError());
    return info;
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
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L"\\/"));
}

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
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        Fail(L"cannot read " + path + LastError());
    std::string bytes;
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0)
        bytes.append(chunk, got);
    CloseHandle(file);
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
    std::wstring root = BinFolder() + L"\\..\\e2e-work";
    wchar_t full[MAX_PATH];
    if (!GetFullPathNameW(root.c_str(), MAX_PATH, full, nullptr))
        Fail(L"bad folder " + root);
    root = full;
    CreateDirectoryW(root.c_str(), nullptr);
    path_ = root + L"\\" + name;
    RemoveTree(path_);
    if (!CreateDirectoryW(path_.c_str(), nullptr))
        Fail(L"cannot make the working folder " + path_ + LastError());
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
    HANDLE file = CreateFileW(File(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        Fail(L"cannot write " + File(name) + LastError());
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
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
    console->dialog_ = search.found;
    console->tid_ = GetWindowThreadProcessId(search.found, &console->pid_);
    console->process_.hProcess = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, console->pid_);
    if (!console->process_.hProcess)
        Fail(L"cannot open the console's process" + LastError());
    return console;
}

Console::Console(const WorkFolder& folder, const std::wstring& exe)
{
    process_ = Launch(folder, exe);
    started_ = true;
    pid_ = process_.dwProcessId;
    bool found = PollUntil(
        [&] {
            for (HWND hwnd : TopLevelWindowsOf(pid_)) {
                if (ClassOf(hwnd) == L"#32770" && !GetWindow(hwnd, GW_OWNER) && IsWindowVisible(hwnd)) {
                    dialog_ = hwnd;
                    return true;
                }
            }
            return WaitForSingleObject(process_.hProcess, 0) == WAIT_OBJECT_0;
        },
        kTimeoutMs, process_.hProcess);
    if (!dialog_) {
        DWORD code = 0;
        GetExitCodeProcess(process_.hProcess, &code);
        Fail(found ? L"the console ended without a window, exit code " + std::to_wstring(code)
                   : L"the console's dialog did not appear");
    }
    tid_ = GetWindowThreadProcessId(dialog_, nullptr);
}

Console::~Console()
{
    if (hook_)
        UnhookWindowsHookEx(hook_);
    if (block_)
        UnmapViewOfFile(block_);
    if (mapping_)
        CloseHandle(mapping_);
    if (insiderDll_)
        FreeLibrary(insiderDll_);
    if (process_.hProcess) {
        if (started_ && WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_.hProcess, 1);
            WaitForSingleObject(process_.hProcess, kTimeoutMs);
        }
        if (process_.hThread)
            CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }
}

HWND Console::Item(int id) const
{
    HWND item = GetDlgItem(dialog_, id);
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
    HWND item = Item(id);
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
    if (!PostMessageW(dialog_, WM_SYSCOMMAND, command, 0))
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

HWND Console::Focus() const
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(tid_, &info))
        return nullptr;
    return info.hwndFocus;
}

void Console::FocusOn(int id) const
{
    HWND item = Item(id);
    PostMessageW(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item), TRUE);
    if (!PollUntil([&] { return Focus() == item; }, kTimeoutMs, process_.hProcess))
        Fail(L"the focus did not move to control " + std::to_wstring(id));
}

std::vector<HWND> Console::OwnedWindows() const
{
    std::vector<HWND> owned;
    for (HWND hwnd : TopLevelWindowsOf(pid_)) {
        if (GetWindow(hwnd, GW_OWNER) == dialog_)
            owned.push_back(hwnd);
    }
    return owned;
}

OwnedBox Console::WaitForOwnedBox(DWORD timeoutMs) const
{
    OwnedBox box;
    PollUntil(
        [&] {
            for (HWND hwnd : OwnedWindows()) {
                if (IsWindowVisible(hwnd)) {
                    box.hwnd = hwnd;
                    return true;
                }
            }
            return !Running();
        },
        timeoutMs, process_.hProcess);
    if (!box.hwnd)
        Fail(Running() ? L"no box owned by the dialog appeared" : L"the console ended instead of showing a box");
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
    if (!PollUntil([&] { return !IsWindow(box.hwnd); }, kTimeoutMs, process_.hProcess))
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
    if (!hook_) {
        std::wstring dll = BinFolder() + L"\\Insider.dll";
        self->insiderDll_ = LoadLibraryW(dll.c_str());
        if (!insiderDll_)
            Fail(L"cannot load " + dll + LastError());
        auto proc = reinterpret_cast<HOOKPROC>(
            reinterpret_cast<void*>(GetProcAddress(insiderDll_, "InsiderGetMessageHook")));
        wchar_t name[64];
        InsiderBlockName(GetCurrentProcessId(), name);
        self->mapping_ = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(InsiderBlock), name);
        if (mapping_)
            self->block_ = static_cast<InsiderBlock*>(MapViewOfFile(mapping_, FILE_MAP_WRITE | FILE_MAP_READ, 0, 0, 0));
        if (!proc || !block_)
            Fail(L"cannot set up the insider" + LastError());
        self->hook_ = SetWindowsHookExW(WH_GETMESSAGE, proc, insiderDll_, tid_);
        if (!hook_)
            Fail(L"cannot hook the console's thread" + LastError());
    }
    block_->request = static_cast<std::uint32_t>(request);
    block_->status = 0;
    block_->count = count;
    std::copy(rects, rects + count, block_->rects);
    LONG sequence = ++sequence_;
    static const UINT message = RegisterWindowMessageW(InsiderMessageName());
    if (!PostMessageW(dialog_, message, GetCurrentProcessId(), sequence))
        Fail(L"cannot post to the dialog" + LastError());
    if (!PollUntil([&] { return InterlockedCompareExchange(&block_->done, 0, 0) == sequence; }, kTimeoutMs,
                   process_.hProcess))
        Fail(L"the insider inside the console did not answer");
    if (block_->status != 1)
        Fail(L"the insider's call inside the console failed");
    return *block_;
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
    if (bmpPath.size() >= MAX_PATH)
        Fail(L"path too long: " + bmpPath);
    wchar_t full[MAX_PATH];
    if (!GetFullPathNameW(bmpPath.c_str(), MAX_PATH, full, nullptr))
        Fail(L"bad path: " + bmpPath);
    Repaint();  // also sets up the insider and its block
    block_->values[0] = reinterpret_cast<std::uintptr_t>(window);
    wcscpy(block_->path, full);
    Inspect(InsiderRequest::kCapture);
}

bool Console::WaitForExit(DWORD timeoutMs, DWORD* exitCode) const
{
    if (WaitForSingleObject(process_.hProcess, timeoutMs) != WAIT_OBJECT_0)
        return false;
    if (exitCode)
        GetExitCodeProcess(process_.hProcess, exitCode);
    return true;
}

bool Console::Running() const
{
    return WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
}

DWORD RunToExit(const WorkFolder& folder, const std::wstring& exe, DWORD timeoutMs)
{
    PROCESS_INFORMATION info = Launch(folder, exe);
    DWORD code = 0;
    bool ended = WaitForSingleObject(info.hProcess, timeoutMs) == WAIT_OBJECT_0;
    if (ended) {
        GetExitCodeProcess(info.hProcess, &code);
    } else {
        TerminateProcess(info.hProcess, 1);
        WaitForSingleObject(info.hProcess, kTimeoutMs);
    }
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    if (!ended)
        Fail(exe + L" did not end");
    return code;
}

}  // namespace e2e

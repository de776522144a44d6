// How long the console takes to start, and to end once closed, for one or more
// builds of it in one run. The programs are started in turn, round after round
// (A, B, A, B, ...), so that all of them meet the same machine. A start is timed
// from CreateProcessW until the main dialog is visible: a top-level #32770 window
// of that process holding the port box (1007) and the open button (1000). Then
// WM_CLOSE is posted to the dialog, and the end is timed from there until the
// process has exited. Each program runs with its own folder as working folder,
// beside its own Mervik.dll, and with MERVIK_INI naming a file that does not
// exist, so that the stand-in answers as it does by default. Not a test: the
// machine's load only blurs the figures. Windows only (run under Wine here).
//
//   startup_bench.exe PROGRAM.exe [PROGRAM.exe ...] [ROUNDS]    (ROUNDS: 21 by default)
//
// Two builds are compared with  startup_bench.exe old\Zantor.exe new\Zantor.exe 21
// Prints per program the median, minimum and maximum of both times over the
// rounds (each program is started once untimed first), and for every program
// after the first the ratio of its medians to the first's. Texts are UTF-8.
#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <cwctype>
#include <string>
#include <vector>

#include "Median.h"
#include "resource.h"
#include "TestOwners.h"

namespace {

// Time limit for the dialog to appear, and for the process to end once closed.
constexpr DWORD kLimitMs = 10000;
// Between two looks for the dialog the bench waits on the process, so that a
// program that ends without a dialog is noticed at once. A look costs the
// wineserver a few requests: a shorter wait would take more of the core the
// program starts on, a longer one would round each start up by more.
constexpr DWORD kPollMs = 2;
// Named by MERVIK_INI, in the program's own folder; it must not exist there.
constexpr wchar_t kAbsentScript[] = L"startup-bench-no-such-script.ini";

void Write(DWORD stream, const std::string& text)
{
    DWORD written = 0;
    WriteFile(GetStdHandle(stream), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void Print(const std::string& text)
{
    Write(STD_OUTPUT_HANDLE, text);
}

std::string ToUtf8(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size, nullptr, nullptr);
    return out;
}

void Fail(const std::wstring& what)
{
    Write(STD_ERROR_HANDLE, "startup_bench: " + ToUtf8(what) + "\n");
}

// The last Win32 error, to follow a failed call's description.
std::wstring LastError()
{
    return L" (error " + std::to_wstring(GetLastError()) + L")";
}

// The full path of `path`; empty when the system cannot make one.
std::wstring FullPath(const std::wstring& path)
{
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        // The length without the NUL when it fits, else the size needed with it.
        const DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
        if (length == 0)
            return {};
        if (length < full.size()) {
            full.resize(length);
            return full;
        }
        full.resize(length);
    }
}

bool FileExists(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// This process's environment with MERVIK_INI set to `script`, as a Unicode block.
std::vector<wchar_t> EnvironmentWithScript(const std::wstring& script)
{
    std::vector<wchar_t> block;
    if (wchar_t* strings = GetEnvironmentStringsW()) {
        for (const wchar_t* p = strings; *p; p += wcslen(p) + 1) {
            if (_wcsnicmp(p, L"MERVIK_INI=", 11) != 0)
                block.insert(block.end(), p, p + wcslen(p) + 1);
        }
        FreeEnvironmentStringsW(strings);
    }
    const std::wstring entry = L"MERVIK_INI=" + script;
    block.insert(block.end(), entry.c_str(), entry.c_str() + entry.size() + 1);
    block.push_back(L'\0');
    return block;
}

struct Program {
    std::wstring path;                 // full path of the executable
    std::wstring folder;               // its folder, the working folder
    std::vector<wchar_t> environment;  // the bench's, MERVIK_INI naming an absent file
    std::vector<double> startMs;       // CreateProcessW until the dialog is found
    std::vector<double> endMs;         // WM_CLOSE posted until the process has exited
};

// Takes a program named on the command line; false (after saying why) when it
// cannot be started as the bench needs.
bool Describe(const std::wstring& argument, Program& program)
{
    program.path = FullPath(argument);
    const std::size_t slash = program.path.find_last_of(L"\\/");
    if (program.path.empty() || slash == std::wstring::npos || !FileExists(program.path)) {
        Fail(L"no program " + argument);
        return false;
    }
    program.folder = program.path.substr(0, slash);
    if (!FileExists(program.folder + L"\\Mervik.dll")) {
        Fail(L"no Mervik.dll beside " + program.path + L": the program would not start");
        return false;
    }
    const std::wstring script = program.folder + L"\\" + kAbsentScript;
    if (GetFileAttributesW(script.c_str()) != INVALID_FILE_ATTRIBUTES) {
        Fail(script + L" exists: the stand-in would follow it");
        return false;
    }
    program.environment = EnvironmentWithScript(script);
    return true;
}

struct DialogSearch {
    DWORD pid;
    HWND found;
};

// Stops at the console's main dialog, if the process has shown it.
BOOL CALLBACK FindDialog(HWND hwnd, LPARAM param)
{
    auto* search = reinterpret_cast<DialogSearch*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != search->pid)
        return TRUE;
    wchar_t name[16] = {};
    GetClassNameW(hwnd, name, ARRAYSIZE(name));
    if (wcscmp(name, L"#32770") == 0 && IsWindowVisible(hwnd) && GetDlgItem(hwnd, IDC_EDIT_PORT) &&
        GetDlgItem(hwnd, IDC_BTN_OPEN)) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

// A started program: ended when this goes if it is still running, so that a
// failed round leaves nothing behind.
class Started {
public:
    explicit Started(const PROCESS_INFORMATION& info) : m_process(info.hProcess), m_thread(info.hThread) {}
    ~Started()
    {
        if (WaitForSingleObject(m_process.Get(), 0) == WAIT_TIMEOUT) {
            TerminateProcess(m_process.Get(), 1);
            WaitForSingleObject(m_process.Get(), kLimitMs);
        }
    }
    Started(const Started&) = delete;
    Started& operator=(const Started&) = delete;

    HANDLE Process() const { return m_process.Get(); }

private:
    win32::KernelHandle m_process;
    win32::KernelHandle m_thread;
};

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to)
{
    static const LONGLONG frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    return static_cast<double>(to.QuadPart - from.QuadPart) * 1000.0 / static_cast<double>(frequency);
}

// Starts the program, waits for its dialog, closes it and waits for the process
// to end; records both times when `timed`. False (after saying why) on any failure.
bool RunOnce(Program& program, bool timed)
{
    std::wstring commandLine = L"\"" + program.path + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    LARGE_INTEGER started;
    QueryPerformanceCounter(&started);
    if (!CreateProcessW(program.path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                        program.environment.data(), program.folder.c_str(), &startup, &info)) {
        Fail(L"cannot start " + program.path + LastError());
        return false;
    }
    const Started running(info);

    DialogSearch search{info.dwProcessId, nullptr};
    const ULONGLONG deadline = GetTickCount64() + kLimitMs;
    for (;;) {
        EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found)
            break;
        if (WaitForSingleObject(running.Process(), kPollMs) == WAIT_OBJECT_0) {
            DWORD code = 0;
            GetExitCodeProcess(running.Process(), &code);
            wchar_t hex[16];
            swprintf(hex, ARRAYSIZE(hex), L"0x%08lX", static_cast<unsigned long>(code));
            Fail(program.path + L" ended without its dialog, exit code " + hex);
            return false;
        }
        if (GetTickCount64() >= deadline) {
            Fail(L"no dialog from " + program.path + L" within the time limit");
            return false;
        }
    }
    LARGE_INTEGER shown;
    QueryPerformanceCounter(&shown);

    // The dialog manager turns WM_CLOSE into IDCANCEL, which ends the dialog.
    LARGE_INTEGER closing;
    QueryPerformanceCounter(&closing);
    if (!PostMessageW(search.found, WM_CLOSE, 0, 0)) {
        Fail(L"cannot close the dialog of " + program.path + LastError());
        return false;
    }
    if (WaitForSingleObject(running.Process(), kLimitMs) != WAIT_OBJECT_0) {
        Fail(program.path + L" did not end within the time limit after the close");
        return false;
    }
    LARGE_INTEGER ended;
    QueryPerformanceCounter(&ended);
    DWORD code = 1;
    GetExitCodeProcess(running.Process(), &code);
    if (code != 0) {
        Fail(program.path + L" ended with exit code " + std::to_wstring(code) + L" after the close");
        return false;
    }
    if (timed) {
        program.startMs.push_back(Milliseconds(started, shown));
        program.endMs.push_back(Milliseconds(closing, ended));
    }
    return true;
}

// "median min max" of the values, in the table's columns.
std::string Figures(const std::vector<double>& values)
{
    char text[64];
    std::snprintf(text, sizeof text, "%9.1f %8.1f %8.1f", Median(values),
                  *std::min_element(values.begin(), values.end()), *std::max_element(values.begin(), values.end()));
    return text;
}

bool AllDigits(const std::wstring& text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](wchar_t c) { return std::iswdigit(c) != 0; });
}

int Run(int argc, wchar_t** argv)
{
    std::vector<std::wstring> arguments(argv + 1, argv + argc);
    int rounds = 21;
    if (!arguments.empty() && AllDigits(arguments.back())) {
        rounds = std::max(1, _wtoi(arguments.back().c_str()));
        arguments.pop_back();
    }
    if (arguments.empty() || arguments.size() > 26) {
        Write(STD_ERROR_HANDLE, "usage: startup_bench PROGRAM.exe [PROGRAM.exe ...] [ROUNDS]   (up to 26 programs; 21 rounds by "
              "default)\n");
        return 2;
    }
    std::vector<Program> programs(arguments.size());
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (!Describe(arguments[i], programs[i]))
            return 1;
    }

    // One untimed start each: the first start after the wineserver came up, or
    // after a build, reads files that later starts find in memory.
    for (Program& program : programs) {
        if (!RunOnce(program, false))
            return 1;
    }
    for (int round = 0; round < rounds; ++round) {
        for (Program& program : programs) {
            if (!RunOnce(program, true))
                return 1;
        }
    }

    Print("start: CreateProcessW until the dialog is visible; end: WM_CLOSE posted until the process has ended\n");
    for (std::size_t i = 0; i < programs.size(); ++i)
        Print(std::string(1, static_cast<char>('A' + i)) + " = " + ToUtf8(programs[i].path) + "\n");
    char line[160];
    std::snprintf(line, sizeof line, "%-6s %-26s    %s\n%-6s %9s %8s %8s    %9s %8s %8s\n",
                  "", "start, ms", "end, ms", "", "median", "min", "max", "median", "min", "max");
    Print(line);
    for (std::size_t i = 0; i < programs.size(); ++i) {
        std::snprintf(line, sizeof line, "%-6c %s    %s\n", static_cast<char>('A' + i),
                      Figures(programs[i].startMs).c_str(), Figures(programs[i].endMs).c_str());
        Print(line);
    }
    // Each program's medians against the first's.
    for (std::size_t i = 1; i < programs.size(); ++i) {
        std::snprintf(line, sizeof line, "%c / A  %8.3fx %17s    %8.3fx\n", static_cast<char>('A' + i),
                      Median(programs[i].startMs) / Median(programs[0].startMs), "",
                      Median(programs[i].endMs) / Median(programs[0].endMs));
        Print(line);
    }
    std::snprintf(line, sizeof line, "(%d rounds, after one untimed start of each)\n", rounds);
    Print(line);
    return 0;
}

}  // namespace

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) {
        Fail(L"cannot read the command line" + LastError());
        return 1;
    }
    const int rc = Run(argc, argv);
    LocalFree(argv);
    return rc;
}

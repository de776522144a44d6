#include "ZantorApp.h"

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include "ApplicationName.h"
#include "CallLog.h"
#include "CommandLine.h"
#include "LibraryIdentity.h"
#include "Win32Owners.h"
#include "ZantorDlg.h"

CZantorApp theApp;

namespace {

struct LocalTraits {  // CommandLineToArgvW's block
    using Handle = LPWSTR*;
    static Handle None() { return nullptr; }
    static void Close(Handle handle) { LocalFree(handle); }
};

// A usage error's message, then the usage.
using UsageMessage = WideText<2 * kUsageCapacity + 4>;

}  // namespace

bool CZantorApp::InitInstance()
{
    // The command line first: a bad option is refused before anything starts. The
    // words stay for the whole run (the options point into them).
    int count = 0;
    static win32::Owned<LocalTraits> words;
    words.Reset(CommandLineToArgvW(GetCommandLineW(), &count));
    static ParsedCommandLine parsed;
    if (words && count > 1)
        parsed = ParseCommandLine(words.Get() + 1, static_cast<std::size_t>(count - 1));
    if (parsed.error != CommandLineError::None || parsed.options.usage) {
        UsageMessage text;
        if (parsed.error != CommandLineError::None)
            text.Append(CommandLineErrorText(parsed).c_str()).Append(L"\n\n");
        text.Append(CommandLineUsage(ApplicationName()).c_str());
        ShowApplicationMessage(nullptr, text.c_str());
        m_exitCode = parsed.error != CommandLineError::None ? 2 : 0;
        return false;
    }
    const CommandLineOptions& options = parsed.options;

    // Every common-control class (list-view, tree-view, bar, tab, up-down,
    // progress, hot-key, animate).
    INITCOMMONCONTROLSEX controls{};
    static_assert(sizeof controls == 8, "the structure is two 32-bit words");
    controls.dwSize = sizeof controls;
    controls.dwICC = 0xFF;
    InitCommonControlsEx(&controls);

    // Work out the message boxes' caption once, before any box needs it.
    ApplicationName();

    // The library the loader bound; hashed only for the log's session line.
    static LibraryIdentity library;
    IdentifyLoadedLibrary(options.logPath != nullptr, library);
    static CallLog log;
    if (options.logPath) {
        if (const DWORD error = log.OpenFile(options.logPath, library)) {
            // Said once; the console runs without the file.
            WideText<LibraryIdentity::kPathCapacity + 64> text;
            text.Append(L"无法打开调用日志文件 ").Append(options.logPath).Append(L" 错误码：");
            text.AppendDecimal(error);
            ShowApplicationMessage(nullptr, text.c_str());
        }
    }

    CZantorDlg dialog(ConsoleSetup{&options, &log, &library});
    if (dialog.DoModal() == -1) {
        // Not a success: said in a box when the system can still show one, and
        // in the exit code.
        wchar_t text[64];
        wsprintfW(text, L"无法显示主对话框 错误码：%lu", GetLastError());
        ShowApplicationMessage(nullptr, text);
        m_exitCode = 1;
    }
    return false;
}

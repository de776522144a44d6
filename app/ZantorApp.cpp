#include "ZantorApp.h"

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include "Anonymizer.h"
#include "ApplicationName.h"
#include "BurnInRun.h"
#include "CallLog.h"
#include "CallWatchdog.h"
#include "CodePageText.h"
#include "CommandLine.h"
#include "FullPath.h"
#include "HangNotice.h"
#include "LibraryIdentity.h"
#include "OutputFiles.h"
#include "Routing.h"
#include "SessionRecorder.h"
#include "Unattended.h"
#include "Win32Owners.h"
#include "ZantorDlg.h"

CZantorApp theApp;

namespace {

struct LocalTraits {  // CommandLineToArgvW's block
    using Handle = LPWSTR*;
    static Handle None() { return nullptr; }
    static void Close(Handle handle) { LocalFree(handle); }
};

// The call log and the recording, each told of every call.
class BothObservers final : public CallObserver {
public:
    BothObservers(CallObserver& first, CallObserver& second) : m_first(first), m_second(second) {}
    void BeforeCall(const CallRecord& call) override
    {
        m_first.BeforeCall(call);
        m_second.BeforeCall(call);
    }
    void OnCall(const CallRecord& call) override
    {
        m_first.OnCall(call);
        m_second.OnCall(call);
    }

private:
    CallObserver& m_first;
    CallObserver& m_second;
};

// What start-up keeps for the whole run, made before it starts and ended in
// the reverse order after it (the call log and the recording after everything
// that tells them of calls): the command line's words (the options point into
// them) and what was read from them, the library's identity, the call log, the
// recording, a burn-in's report path and the facts its report gives.
win32::Owned<LocalTraits> commandWords;
ParsedCommandLine commandLine;
LibraryIdentity loadedLibrary;
CallLog callLog;
SessionRecorder recording;
BothObservers logAndRecording(callLog, recording);
ReportPath burnInReportPath;
RunFacts burnInFacts;
// At the console, the window that names a call running long.
HangNotice hangNotice(&callLog);

// Start-up's message, one at a time: a usage error's words and the usage, or a
// file that cannot be written, its path and the system's reason. Out of the stack.
using StartupText = WideText<kLongestPath + 1024>;
static_assert(sizeof(CollisionText) / sizeof(wchar_t) + kUsageCapacity + 4 <= kLongestPath + 1024,
              "room for a usage error and the usage");
StartupText message;
CollisionText collision;

bool FullPathOf(const wchar_t* path, OutputPath& full)
{
    const win32::FullPath made(path);
    full.Clear();
    return made && !full.Append(made.Get(), made.Length()).cut();
}

// Says `text` where nobody needs to answer: the call log (when it has a file
// open, as a "#error" line) and the standard error.
void TellUnattended(const wchar_t* text, CallLog* log)
{
    if (log)
        log->WriteNote("error", text);
    WriteStandardError(text);
}

// The exit status of a burn-in whose main dialog could not be created.
constexpr int kExitCouldNotStart = 6;
// At the console, a call running this long (or /timeout, if shorter) is named in a window.
constexpr std::uint32_t kNoticeSeconds = 10;

// Fills `facts` with what a burn-in's report says was tested, but for the run's own figures.
void DescribeRun(const LibraryIdentity& library, RunFacts& facts)
{
    static_assert(LibraryIdentity::kPathCapacity <= kLongestPath, "the report holds the library's path");
    if (library.found)
        facts.libraryPath.Append(library.path);
    if (library.sized)
        facts.librarySize.AppendDecimal(static_cast<std::int64_t>(library.size)).Append(L" bytes");
    AppendVersion(facts.libraryVersion, library);
    NarrowText<65> sha256;
    AppendSha256(sha256, library);
    facts.librarySha256.AppendNarrow(sha256.c_str(), sha256.size());
    facts.programVersion.AppendNarrow(ZANTOR_VERSION, sizeof ZANTOR_VERSION - 1);
    facts.programBits = 8 * static_cast<int>(sizeof(void*));
}

// Tells why a file the command line named cannot be written, when `error` says
// so: "<what><path> 错误码：<error>（<the system's words>）". A burn-in does not start (proven before the
// first call), and says so where nobody needs to answer (`log`: the call log,
// when it is open); returns true then. The console says it once in a box and
// runs without the file.
__attribute__((noinline)) bool FileRefused(const wchar_t* what, const wchar_t* path, DWORD error, bool burnIn,
                                           CallLog* log)
{
    if (error == 0)
        return false;
    StartupText& failure = message;
    failure.Clear();
    failure.Append(what).Append(path);
    win32::AppendErrorReason(failure, error);
    if (!burnIn) {
        ShowApplicationMessage(nullptr, failure.c_str());
        return false;
    }
    failure.Append(L"：未打开设备，老化测试未开始");
    TellUnattended(failure.c_str(), log);
    return true;
}

// Runs the dialog on the burn-in the options ask for; what DoModal returns: the
// run's exit code, or -1.
INT_PTR RunBurnIn(CZantorDlg& dialog, const CommandLineOptions& options, CallObserver& observer,
                  const Anonymizer* anonymizer)
{
    BurnInRequest request;
    request.cycles = options.cycles;
    request.port = options.port;
    request.success = options.success;
    request.anonymizer = anonymizer;
    request.recording = &recording;
    request.timeoutSeconds = options.timeoutSeconds;
    // A relative report path is taken from the working folder at start-up, as the
    // log's is, so that a library that changes the current directory cannot move it.
    if (options.reportPath) {
        if (!FullPathOf(options.reportPath, burnInReportPath))
            burnInReportPath.Append(options.reportPath);
        request.reportPath = burnInReportPath.c_str();
    }
    DescribeRun(loadedLibrary, burnInFacts);
    BurnInRun run(request, burnInFacts, &observer, &callLog);
    dialog.SetBurnIn(&run);
    return dialog.DoModal();
}

}  // namespace

bool CZantorApp::InitInstance()
{
    // The command line first: a bad option is refused before anything starts.
    int count = 0;
    commandWords.Reset(CommandLineToArgvW(GetCommandLineW(), &count));
    UnattendedWords unattended;
    if (commandWords && count > 1) {
        commandLine = ParseCommandLine(commandWords.Get() + 1, static_cast<std::size_t>(count - 1));
        unattended = FindUnattended(commandWords.Get() + 1, static_cast<std::size_t>(count - 1));
        // Two outputs that are one file would overwrite each other: refused as a
        // mistake on the command line, before any file is opened.
        if (commandLine.error == CommandLineError::None && !commandLine.options.usage &&
            FindCommandLineCollision(commandLine.options, &FullPathOf, collision))
            commandLine.error = CommandLineError::SameFile;
    }
    if (commandLine.error != CommandLineError::None || commandLine.options.usage) {
        StartupText& text = message;
        if (commandLine.error == CommandLineError::SameFile)
            text.Append(collision.c_str()).Append(L"\n\n");
        else if (commandLine.error != CommandLineError::None)
            text.Append(CommandLineErrorText(commandLine).c_str()).Append(L"\n\n");
        text.Append(CommandLineUsage(ApplicationName()).c_str());
        m_exitCode = commandLine.error != CommandLineError::None ? 2 : 0;
        if (commandLine.error != CommandLineError::None && unattended.burnIn) {
            // Nobody is there to close a box: the standard error and the log say it.
            if (unattended.logPath) {
                IdentifyLoadedLibrary(true, loadedLibrary);
                callLog.OpenFile(unattended.logPath, loadedLibrary);
            }
            TellUnattended(text.c_str(), &callLog);
            return false;
        }
        ShowApplicationMessage(nullptr, text.c_str());
        return false;
    }
    const CommandLineOptions& options = commandLine.options;

    // The library's imports routed through Zantor's wrappers before its first
    // call, unless /trace none: what it takes from Windows then lands in the ledger.
    if (options.traceImports)
        routing::RouteLibrary(GetModuleHandleW(L"Mervik.dll"));

    // Every common-control class (list-view, tree-view, bar, tab, up-down,
    // progress, hot-key, animate).
    INITCOMMONCONTROLSEX controls{};
    static_assert(sizeof controls == 8, "the structure is two 32-bit words");
    controls.dwSize = sizeof controls;
    controls.dwICC = 0xFF;
    InitCommonControlsEx(&controls);

    // Work out the message boxes' caption once, before any box needs it.
    ApplicationName();

    // The library the loader bound; hashed only for the log's session line and
    // the burn-in's report.
    const bool burnIn = options.cycles != 0;
    IdentifyLoadedLibrary(options.logPath != nullptr || burnIn || options.recordPath != nullptr, loadedLibrary);
    if (options.logPath && FileRefused(L"无法打开调用日志文件 ", options.logPath,
                                       callLog.OpenFile(options.logPath, loadedLibrary), burnIn, nullptr)) {
        m_exitCode = 3;
        return false;
    }

    // /record: the session as a stand-in script, beside the log.
    if (options.recordPath && FileRefused(L"无法创建录制文件 ", options.recordPath,
                                          recording.Open(options.recordPath, loadedLibrary, options.anonymize), burnIn,
                                          &callLog)) {
        m_exitCode = 3;
        return false;
    }
    CallObserver* observer = options.recordPath ? static_cast<CallObserver*>(&logAndRecording) : &callLog;
    // /anonymize: the card's data replaced in every file; a burn-in's own figures too.
    static const Anonymizer anonymizer(ProcessCodePage(), options.anonymize ? RandomSessionKey() : 0);
    static AnonymizingObserver anonymized(*observer, anonymizer);
    const Anonymizer* replacing = options.anonymize ? &anonymizer : nullptr;

    // The console's watchdog names a call that has run long in a window of its own;
    // a burn-in has its own, and tells the log and the recording itself.
    CallObserver* console = observer;
    if (!burnIn) {
        CallObserver* inner = replacing ? static_cast<CallObserver*>(&anonymized) : observer;
        static CallWatchdog watchdog(inner);
        const std::uint32_t noticeSeconds =
            options.timeoutSeconds < kNoticeSeconds ? options.timeoutSeconds : kNoticeSeconds;
        console = watchdog.Start(hangNotice, 0, noticeSeconds) ? &watchdog : inner;
    }
    CZantorDlg dialog(ConsoleSetup{&options, console, &loadedLibrary, &DescribeRun, &callLog, observer, replacing,
                                   options.recordPath ? &recording : nullptr});
    const INT_PTR ended = burnIn ? RunBurnIn(dialog, options, *observer, replacing) : dialog.DoModal();
    if (ended != -1) {
        if (burnIn)
            m_exitCode = static_cast<int>(ended);
        return false;
    }
    // Not a success: said in a box when the system can still show one (in a
    // burn-in, on the standard error and in the log), and in the exit code.
    const wchar_t* format = L"无法显示主对话框 错误码：%lu";
    if (!burnIn) {
        ShowApplicationNumber(nullptr, format, GetLastError());
        m_exitCode = 1;
        return false;
    }
    wchar_t text[64];
    wsprintfW(text, format, GetLastError());
    TellUnattended(text, &callLog);
    m_exitCode = kExitCouldNotStart;
    return false;
}

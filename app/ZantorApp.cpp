#include "ZantorApp.h"

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include "Anonymizer.h"
#include "ApplicationName.h"
#include "BurnInRun.h"
#include "CallLog.h"
#include "CodePageText.h"
#include "CommandLine.h"
#include "LibraryIdentity.h"
#include "SessionRecorder.h"
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

// A usage error's message, then the usage.
using UsageMessage = WideText<2 * kUsageCapacity + 4>;

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
    for (const char* digit = sha256.c_str(); *digit; ++digit)
        facts.librarySha256.Append(static_cast<wchar_t>(*digit));
    for (const char* digit = ZANTOR_VERSION; *digit; ++digit)
        facts.programVersion.Append(static_cast<wchar_t>(*digit));
    facts.programBits = 8 * static_cast<int>(sizeof(void*));
}

// Runs the dialog on the burn-in the options ask for; what DoModal returns: the
// run's exit code, or -1. `logFailure`: why the log file could not be opened, or "".
INT_PTR RunBurnIn(CZantorDlg& dialog, const CommandLineOptions& options, const LibraryIdentity& library,
                  CallObserver& log, const wchar_t* logFailure, const Anonymizer* anonymizer,
                  const wchar_t* recordFailure)
{
    BurnInRequest request;
    request.cycles = options.cycles;
    request.port = options.port;
    request.success = options.success;
    request.anonymizer = anonymizer;
    // A relative report path is taken from the working folder at start-up, as the
    // log's is, so that a library that changes the current directory cannot move it.
    static ReportPath reportPath;
    if (options.reportPath) {
        const DWORD length = GetFullPathNameW(options.reportPath, static_cast<DWORD>(reportPath.Room() + 1),
                                              reportPath.End(), nullptr);
        if (length > 0 && length <= reportPath.Room())
            reportPath.Grow(length);
        else
            reportPath.Append(options.reportPath);
        request.reportPath = reportPath.c_str();
    }
    static RunFacts facts;
    DescribeRun(library, facts);
    BurnInRun run(request, facts, &log);
    if (logFailure[0] != 0)
        run.Note(logFailure);
    if (recordFailure[0] != 0)
        run.Note(recordFailure);
    dialog.SetBurnIn(&run);
    return dialog.DoModal();
}

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

    // The library the loader bound; hashed only for the log's session line and
    // the burn-in's report.
    const bool burnIn = options.cycles != 0;
    static LibraryIdentity library;
    IdentifyLoadedLibrary(options.logPath != nullptr || burnIn || options.recordPath != nullptr, library);
    static CallLog log;
    static WideText<LibraryIdentity::kPathCapacity + 64> logFailure;
    if (options.logPath) {
        if (const DWORD error = log.OpenFile(options.logPath, library)) {
            // Said once; the console runs without the file. A burn-in shows no
            // box: its report says it.
            logFailure.Append(L"无法打开调用日志文件 ").Append(options.logPath).Append(L" 错误码：");
            logFailure.AppendDecimal(error);
            if (!burnIn)
                ShowApplicationMessage(nullptr, logFailure.c_str());
        }
    }

    // /record: the session as a stand-in script, beside the log.
    static SessionRecorder recorder;
    static WideText<LibraryIdentity::kPathCapacity + 64> recordFailure;
    if (options.recordPath) {
        if (const DWORD error = recorder.Open(options.recordPath, library, options.anonymize)) {
            recordFailure.Append(L"无法创建录制文件 ").Append(options.recordPath).Append(L" 错误码：");
            recordFailure.AppendDecimal(error);
            if (!burnIn)
                ShowApplicationMessage(nullptr, recordFailure.c_str());
        }
    }
    static BothObservers logAndRecording(log, recorder);
    CallObserver* observer = options.recordPath ? static_cast<CallObserver*>(&logAndRecording) : &log;
    // /anonymize: the card's data replaced in every file; a burn-in's own figures too.
    static const Anonymizer anonymizer(ProcessCodePage(), options.anonymize ? RandomSessionKey() : 0);
    static AnonymizingObserver anonymized(*observer, anonymizer);
    const Anonymizer* replacing = options.anonymize ? &anonymizer : nullptr;

    CZantorDlg dialog(ConsoleSetup{&options, replacing && !burnIn ? &anonymized : observer, &library, &DescribeRun});
    const INT_PTR ended = burnIn ? RunBurnIn(dialog, options, library, *observer, logFailure.c_str(), replacing,
                                             recordFailure.c_str())
                                 : dialog.DoModal();
    if (burnIn && ended != -1)
        m_exitCode = static_cast<int>(ended);
    if (ended == -1) {
        // Not a success: said in a box when the system can still show one, and
        // in the exit code.
        wchar_t text[64];
        wsprintfW(text, L"无法显示主对话框 错误码：%lu", GetLastError());
        ShowApplicationMessage(nullptr, text);
        m_exitCode = 1;
    }
    return false;
}

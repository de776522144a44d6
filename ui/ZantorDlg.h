// The main dialog: the card form, the port box and the five command buttons.
#pragma once

#include "CallLog.h"
#include "CallRecord.h"
#include "CommandLine.h"
#include "DeviceCommands.h"
#include "DialogBase.h"
#include "LibraryIdentity.h"
#include "Win32Owners.h"
#include "WindowBurnIn.h"

// What start-up hands the dialog; each points to what outlives it (null: none).
struct ConsoleSetup {
    const CommandLineOptions* options = nullptr;  // what the command line asked for
    CallObserver* observer = nullptr;             // told of every library call
    const LibraryIdentity* library = nullptr;     // the Mervik.dll loaded, for the About box
    DescribeRunFunction describeRun = nullptr;    // a burn-in's facts, for a run from the window
    const CallLog* log = nullptr;                 // the call log, whose lost lines are said once
    // A burn-in from the window is told of its calls as one from the command line
    // is: `runObserver` (the log, the recording; without the console's watchdog,
    // since the run has its own) and, with /anonymize, `anonymizer`.
    CallObserver* runObserver = nullptr;
    const Anonymizer* anonymizer = nullptr;
    const SessionRecorder* recording = nullptr;  // /record: whose calls left out are said once
};

class BurnInRun;

class CZantorDlg final : public DialogBase {
public:
    explicit CZantorDlg(const ConsoleSetup& setup);
    // Makes the dialog run `burnIn` on its own once it opens, instead of waiting
    // for presses; the dialog then ends with the run's exit code.
    void SetBurnIn(BurnInRun* burnIn) { m_burnIn = burnIn; }

protected:
    BOOL OnInitDialog() override;
    INT_PTR RouteMessage(UINT message, WPARAM wParam) override;
    void OnCommandsDone() override;

private:
    void OnSysCommand();
    void OnBurnInCommand();
    void OnStopBurnIn();
    void OnBurnInDone();
    void OnPaint();
    HICON OnQueryDragIcon();
    void OnOpenDevice();
    void OnCloseDevice();
    void OnDeviceStatus();
    void OnReadCard();
    void OnReadCardInfo();
    void OnBurnInStep();
    // The system menu's burn-in item enabled, or grayed while a run goes.
    void EnableBurnInItem(bool enabled);

    // Runs one of the window-free commands against this dialog, the imported
    // reader library (observed, when there is an observer) and guard-paged buffers.
    using Runner = void (*)(CommandHost& host, Reader& reader, const Allocator& buffers);
    void Execute(Runner command);

    static const CommandEntry kCommandMap[];

    ConsoleSetup m_setup;
    // Shared icon from the program's resources; the system owns it.
    HICON m_hIcon;
    BurnInRun* m_burnIn = nullptr;
    // A run started from the window (m_burnIn is then its run), and whether the
    // close box asked to end Zantor once it is over.
    win32::Owned<WindowBurnInTraits> m_windowRun;
    bool m_closeAsked = false;
    // The working folder Zantor started in, where a report's relative path lies.
    SetupPath m_startFolder;
    // The burn-in's next step arrived while a command ran: posted again after it.
    bool m_stepDeferred = false;
    // The operator was told that the call log lost lines.
    bool m_logLossShown = false;
    bool m_recordingLossShown = false;
};

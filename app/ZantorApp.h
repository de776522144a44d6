// The application: reads the command line, prepares the common controls and the
// call log, and runs the main dialog as the program's only main loop.
#pragma once

class CZantorApp {
public:
    // Runs the main dialog until it closes (or, for /? or a bad option, shows the
    // usage). Returns false: no message loop follows.
    bool InitInstance();
    // 0; 1 when the main dialog could not be created (the operator is told in a
    // message box, when one can be shown); 2 for a bad option (the usage shown,
    // or with /cycles written to the standard error); a burn-in's own status
    // (BurnInExitCode), 3 when its log cannot be opened, or 6 when its dialog
    // could not be created.
    int ExitCode() const { return m_exitCode; }

private:
    int m_exitCode = 0;
};

extern CZantorApp theApp;

// The application: prepares the common controls and runs the main dialog as the
// program's only main loop.
#pragma once

class CZantorApp {
public:
    // Runs the main dialog until it closes. Returns false: no message loop follows.
    bool InitInstance();
    // 0, or 1 when the main dialog could not be created (the operator is told
    // in a message box, when one can be shown).
    int ExitCode() const { return m_exitCode; }

private:
    int m_exitCode = 0;
};

extern CZantorApp theApp;

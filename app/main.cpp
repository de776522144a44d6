#include <windows.h>

#include "ZantorApp.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    // When the reader library overflows the stack, Windows raises the overflow with
    // only this much stack left for the exception dispatcher and the guard's
    // handler, which on 64-bit Windows is otherwise almost none.
    ULONG stackGuarantee = 64 * 1024;
    SetThreadStackGuarantee(&stackGuarantee);

    theApp.InitInstance();
    return theApp.ExitCode();
}

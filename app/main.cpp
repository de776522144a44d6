#include <windows.h>

#include "ZantorApp.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    theApp.InitInstance();
    return theApp.ExitCode();
}

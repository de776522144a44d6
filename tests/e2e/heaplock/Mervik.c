/* A Mervik.dll whose readCard never returns and holds the process heap's lock
 * while it waits: whatever needs that heap on another thread (opening a file,
 * for one) waits with it. The other operations succeed at once. */
#include <windows.h>

#include <stdint.h>

static void Say(char* text, const char* what)
{
    lstrcpyA(text, what);
}

int32_t __stdcall OpenDevice(int32_t port, char* errorText) { (void)port; Say(errorText, "ok"); return 0; }
int32_t __stdcall CloseDevice(char* errorText) { Say(errorText, "ok"); return 0; }
int32_t __stdcall getDeviceStatus(char* statusText) { Say(statusText, "ok"); return 0; }

int32_t __stdcall readCard(char* statusText)
{
    (void)statusText;
    HeapLock(GetProcessHeap());
    for (;;)
        Sleep(INFINITE);
}

int32_t __stdcall GetCardInfo(int32_t index, char* value, char* errorText)
{
    (void)index;
    (void)errorText;
    Say(value, "x");
    return 0;
}

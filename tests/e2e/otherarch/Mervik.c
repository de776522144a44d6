/* A Mervik.dll built for the other architecture than the tests (64-bit beside
 * Zantor.exe, 32-bit beside Zantor64.exe): the mistake integrators make most. The
 * loader must refuse it before any of these is called. */
#include <stdint.h>

#define EXPORT __declspec(dllexport) int32_t __stdcall

EXPORT OpenDevice(int32_t port, char* errorText) { (void)port; (void)errorText; return 99; }
EXPORT CloseDevice(char* errorText) { (void)errorText; return 99; }
EXPORT getDeviceStatus(char* statusText) { (void)statusText; return 99; }
EXPORT readCard(char* statusText) { (void)statusText; return 99; }
EXPORT GetCardInfo(int32_t index, char* value, char* errorText) { (void)index; (void)value; (void)errorText; return 99; }

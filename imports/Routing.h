// The routing of the reader library's imports through Zantor's wrappers, so that
// every handle, heap block, thread and module it asks Windows for lands in the
// ledger, attributed to the operation running and to the library's call site.
// Windows only.
//
// The routed set is a table of data (RoutingWin32.cpp): by kind, the handles
// (CreateFileA/W; events, mutexes and semaphores created and opened, A/W and Ex;
// file mappings; registry keys opened, created and closed; DuplicateHandle,
// CloseHandle), threads (CreateThread, and every thread that starts while a call
// runs or at an address in the library's modules, seen by Zantor's TLS callback),
// heap (HeapAlloc/ReAlloc/Free, LocalAlloc/Free, GlobalAlloc/Free,
// VirtualAlloc/Free, and malloc, calloc, realloc, free from a C runtime DLL) and
// modules (LoadLibraryA/W/ExA/ExW, FreeLibrary). The library's GetProcAddress
// answers with the wrappers for these names.
//
// A wrapper returns what the real function returned and leaves GetLastError as
// the real one left it; its bookkeeping is the ledger's, which calls nothing of
// the system, allocates nothing and waits on nothing the library might hold.
#pragma once

#include <cstddef>
#include <cstdint>

#include "Ledger.h"

namespace routing {

// What RouteLibrary did.
struct Routed {
    bool ready = false;         // the ledger's memory was reserved and the wrappers are in place
    std::size_t modules = 0;    // the library and its own DLLs routed
    std::size_t entries = 0;    // import-table entries pointed at a wrapper
};

// Routes the imports of the module `library` (its HMODULE) and of its own DLLs
// (those it imports that lie outside Windows' folders and are no C runtime),
// reserving the ledger's memory the first time. Call before the library's first
// operation, on Zantor's thread; a module routed already is left as it is.
Routed RouteLibrary(void* library);

// The ledger, or null before RouteLibrary reserved it (or when it could not).
taken::Ledger* ActiveLedger();

}  // namespace routing

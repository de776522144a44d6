// What the routing of a library's imports costs, measured under Wine (or on
// Windows): a routed function against the real one, and an empty guarded call
// with the library's calls marked running for the ledger, each alternated with its
// baseline in one run; the medians, the median of the per-repetition ratios and,
// for the wrappers, the nanoseconds a call costs more. Not a test.
//
//   imports_bench.exe [REPETITIONS]      (run beside routed_probe.dll; pin it with taskset)
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "GuardedCall.h"
#include "Ledger.h"
#include "Median.h"
#include "Routing.h"
#include "RunningCall.h"

namespace {

volatile std::uintptr_t g_sink = 0;

extern "C" __attribute__((noinline)) std::int32_t __stdcall Empty(char* text)
{
    return text != nullptr;
}

double Now()
{
    LARGE_INTEGER counter;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) * 1e9 / static_cast<double>(frequency.QuadPart);
}

template <typename Body>
double Time(int iterations, Body body)
{
    const double start = Now();
    for (int i = 0; i < iterations; ++i)
        body();
    return (Now() - start) / iterations;
}

// Times `measured` against `baseline`, alternating; `calls`: routed calls per
// iteration, for the cost per call.
template <typename Baseline, typename Measured>
void Compare(const char* name, int repetitions, int iterations, int calls, Baseline baseline, Measured measured)
{
    std::vector<double> base, other, ratio, over;
    for (int r = 0; r < repetitions; ++r) {
        base.push_back(Time(iterations, baseline));
        other.push_back(Time(iterations, measured));
        ratio.push_back(other.back() / base.back());
        over.push_back((other.back() - base.back()) / calls);
    }
    std::printf("%-52s %9.1f ns %9.1f ns %7.2fx %+8.1f ns a call\n", name, Median(base), Median(other), Median(ratio),
                Median(over));
}

template <class F>
F Function(void* address)
{
    return reinterpret_cast<F>(address);
}

}  // namespace

int main(int argc, char** argv)
{
    const int repetitions = argc > 1 ? std::atoi(argv[1]) : 31;
    const HMODULE probe = LoadLibraryW(L"routed_probe.dll");
    if (probe == nullptr || !routing::RouteLibrary(probe).ready) {
        std::fprintf(stderr, "routed_probe.dll could not be loaded and routed\n");
        return 1;
    }
    // The library asks GetProcAddress for the routed functions: it gets the
    // wrappers, the bench the real ones, so both are called from the same place.
    using GetProc = void* (*)(const char*);
    const auto getProc = Function<GetProc>(reinterpret_cast<void*>(GetProcAddress(probe, "ProbeGetProc")));
    const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    const auto realAlloc = Function<decltype(&HeapAlloc)>(reinterpret_cast<void*>(GetProcAddress(kernel32, "HeapAlloc")));
    const auto realFree = Function<decltype(&HeapFree)>(reinterpret_cast<void*>(GetProcAddress(kernel32, "HeapFree")));
    const auto realEvent =
        Function<decltype(&CreateEventW)>(reinterpret_cast<void*>(GetProcAddress(kernel32, "CreateEventW")));
    const auto realClose =
        Function<decltype(&CloseHandle)>(reinterpret_cast<void*>(GetProcAddress(kernel32, "CloseHandle")));
    const auto wrapAlloc = Function<decltype(&HeapAlloc)>(getProc("HeapAlloc"));
    const auto wrapFree = Function<decltype(&HeapFree)>(getProc("HeapFree"));
    const auto wrapEvent = Function<decltype(&CreateEventW)>(getProc("CreateEventW"));
    const auto wrapClose = Function<decltype(&CloseHandle)>(getProc("CloseHandle"));
    if (wrapAlloc == realAlloc || wrapEvent == realEvent) {
        std::fprintf(stderr, "GetProcAddress did not answer with the wrappers\n");
        return 1;
    }
    const HANDLE heap = GetProcessHeap();

    std::printf("%-52s %12s %12s %8s %s\n", "case (medians of the repetitions)", "baseline", "measured", "ratio",
                "cost");
    {
        // Inside a call, as the library takes things: each item noted for the call's line.
        const running::Scope call(3);
        Compare("HeapAlloc + HeapFree: real / routed", repetitions, 20000, 2,
                [&] { realFree(heap, 0, realAlloc(heap, 0, 64)); },
                [&] { wrapFree(heap, 0, wrapAlloc(heap, 0, 64)); });
        Compare("CreateEventW + CloseHandle: real / routed", repetitions, 5000, 2,
                [&] { realClose(realEvent(nullptr, TRUE, FALSE, nullptr)); },
                [&] { wrapClose(wrapEvent(nullptr, TRUE, FALSE, nullptr)); });
    }
    char text[16];
    Compare("empty function: direct / guarded, marked running", repetitions, 20000, 1,
            [&] { g_sink = static_cast<std::uintptr_t>(Empty(text)); },
            [&] {
                const running::Scope call(2);
                g_sink = static_cast<std::uintptr_t>(GuardedCall(reinterpret_cast<const void*>(&Empty), text).result);
            });
    Compare("empty function: guarded / guarded, marked running", repetitions, 20000, 1,
            [&] { g_sink = static_cast<std::uintptr_t>(GuardedCall(reinterpret_cast<const void*>(&Empty), text).result); },
            [&] {
                const running::Scope call(2);
                g_sink = static_cast<std::uintptr_t>(GuardedCall(reinterpret_cast<const void*>(&Empty), text).result);
            });
    return 0;
}

// What the guarded call and the guard-paged buffers cost, measured under Wine (or
// on Windows): each case is timed in many repetitions, interleaved with its
// baseline in the same run, and the medians and the median of the per-repetition
// ratios are printed. Not a test: the machine's noise only blurs the numbers.
//
//   guarded_call_bench.exe [REPETITIONS]      (run beside the stand-in Mervik.dll)
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "Buffers.h"
#include "CallLog.h"
#include "CallLogLine.h"
#include "GuardedCall.h"
#include "GuardedPages.h"
#include "Median.h"
#include "Mervik.h"

namespace {

volatile std::int32_t g_sink = 0;

extern "C" __attribute__((noinline)) std::int32_t __stdcall Trivial(std::int32_t index, char* value, char* error)
{
    return index + (value != error);
}

using FieldCall = std::int32_t(__stdcall*)(std::int32_t, char*, char*);
using TextCall = std::int32_t(__stdcall*)(char*);

double Now()
{
    LARGE_INTEGER counter;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) * 1e9 / static_cast<double>(frequency.QuadPart);
}

// Nanoseconds per iteration of `body` over `iterations` iterations.
template <typename Body>
double Time(int iterations, Body body)
{
    const double start = Now();
    for (int i = 0; i < iterations; ++i)
        body(i);
    return (Now() - start) / iterations;
}

// Times `measured` against `baseline`, alternating, and prints the medians.
template <typename Baseline, typename Measured>
void Compare(const char* name, int repetitions, int iterations, Baseline baseline, Measured measured)
{
    std::vector<double> base;
    std::vector<double> guarded;
    std::vector<double> ratio;
    for (int r = 0; r < repetitions; ++r) {
        base.push_back(Time(iterations, baseline));
        guarded.push_back(Time(iterations, measured));
        ratio.push_back(guarded.back() / base.back());
    }
    std::printf("%-44s %10.1f ns %10.1f ns %8.2fx\n", name, Median(base), Median(guarded), Median(ratio));
}

void* MapEachTime(std::size_t size)
{
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    const std::size_t page = info.dwPageSize;
    const std::size_t data = (size + page - 1) / page * page;
    char* base = static_cast<char*>(VirtualAlloc(nullptr, data + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old = 0;
    VirtualProtect(base + data, page, PAGE_NOACCESS, &old);
    return base + data - size;
}

void UnmapEachTime(void* block)
{
    MEMORY_BASIC_INFORMATION info;
    VirtualQuery(block, &info, sizeof info);
    VirtualFree(info.AllocationBase, 0, MEM_RELEASE);
}

// One command's buffers: taken, zero-filled, given back.
void Press(const Allocator& allocator, std::size_t size)
{
    void* block = allocator.allocate(size);
    std::memset(block, 0, size);
    g_sink = static_cast<char*>(block)[size - 1];
    allocator.release(block);
}

}  // namespace

int main(int argc, char** argv)
{
    const int repetitions = argc > 1 ? std::atoi(argv[1]) : 51;
    char value[mervik::kTextBufferSize] = {};
    char error[mervik::kTextBufferSize] = {};

    std::printf("%-44s %13s %13s %9s\n", "case (median of repetitions)", "baseline", "measured", "ratio");
    const FieldCall trivial = &Trivial;
    Compare("empty library call: direct, guarded", repetitions, 200000,
            [&](int i) { g_sink = trivial(i, value, error); },
            [&](int i) { g_sink = GuardedCall(reinterpret_cast<const void*>(trivial), i, value, error).result; });

    const HMODULE standin = LoadLibraryW(L"Mervik.dll");
    const auto status = reinterpret_cast<TextCall>(
        reinterpret_cast<void (*)()>(standin ? GetProcAddress(standin, "getDeviceStatus") : nullptr));
    if (status) {
        Compare("stand-in getDeviceStatus: direct, guarded", repetitions, 200,
                [&](int) { g_sink = status(error); },
                [&](int) { g_sink = GuardedCall(reinterpret_cast<const void*>(status), error).result; });
    } else {
        std::printf("(no Mervik.dll beside the program: stand-in case skipped)\n");
    }

    const Allocator mapEachTime{&MapEachTime, &UnmapEachTime, 0};
    for (std::size_t size : {mervik::kTextBufferSize, mervik::kPhotoTextBufferSize}) {
        char name[64];
        std::snprintf(name, sizeof name, "%u-byte buffer: heap, guard pages cached", static_cast<unsigned>(size));
        Compare(name, repetitions, 2000, [&](int) { Press(kRuntimeHeap, size); },
                [&](int) { Press(GuardedPages(), size); });
        std::snprintf(name, sizeof name, "%u-byte buffer: heap, mapped per press", static_cast<unsigned>(size));
        Compare(name, repetitions, 200, [&](int) { Press(kRuntimeHeap, size); },
                [&](int) { Press(mapEachTime, size); });
    }

    // One call's log line: built alone; built and sent to OutputDebugStringW (no
    // debugger attached); and that and appended to a file with one WriteFile.
    std::strcpy(error, "device open: USB port 1001");
    CallOutcome outcome = CallOutcome::Returned(0);
    outcome.durationNanoseconds = 123456;
    CallRecord call;
    call.operation = Operation::OpenDevice;
    call.hasArgument = true;
    call.argument = 1001;
    call.outcome = &outcome;
    call.buffers[0] = {BufferRole::Text, error, mervik::kTextBufferSize};
    call.bufferCount = 1;
    static CallLog debuggerOnly;
    static CallLog withFile;
    static LibraryIdentity library;
    DeleteFileW(L"bench-calls.log");
    if (withFile.OpenFile(L"bench-calls.log", library) != 0)
        std::printf("(cannot write bench-calls.log: file case skipped)\n");
    std::size_t length = 0;
    Compare("log line: built, + OutputDebugStringW", repetitions, 2000,
            [&](int) { length += CallLogLine(call, LocalLogTime()).size(); },
            [&](int) { debuggerOnly.OnCall(call); });
    Compare("log line: to the debugger, + to the file", repetitions, 2000,
            [&](int) { debuggerOnly.OnCall(call); }, [&](int) { withFile.OnCall(call); });
    g_sink = static_cast<std::int32_t>(length);
    return 0;
}

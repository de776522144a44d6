// What a burn-in's figures hold after many cycles: feeds a recorder each cycle's
// calls as a run makes them (getDeviceStatus, readCard, eleven GetCardInfo), with a
// library that answers now and then with a counter for a code, faults at a new
// place, breaks the contract and shows a new message, and prints the memory the
// recorder holds at every power of ten of cycles.
//
// Usage: figures_memory_bench [cycles]   (default 100,000,000)
//
// The memory is the heap in use (natively, glibc's count) or the committed
// private memory (Windows, the burn-in's own measure) after the cycles, less the
// same before the recorder was made: the recorder's object and all it took.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "Mervik.h"
#include "Recorder.h"
#include "Resources.h"

#if defined(_WIN32)
std::uint64_t MemoryInUse()
{
    // The burn-in's sample leaves out Zantor's own growing storage, which is what
    // this measures: added back.
    return SampleProcessResources(0).value[static_cast<int>(Resource::CommittedMemory)] +
           growing::HeldBytes().load();
}
#else
#include <malloc.h>
std::uint64_t MemoryInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}
#endif

namespace {

// The buffers as the library leaves them: a status text, a field value, the photo.
char g_text[mervik::kTextBufferSize];
char g_value[mervik::kTextBufferSize];
char g_photo[mervik::kPhotoTextBufferSize];

// Durations spread over four decades, from a cheap generator.
std::uint64_t g_noise = 88172645463325252u;
std::uint64_t Nanoseconds(std::uint64_t base)
{
    g_noise ^= g_noise << 13;
    g_noise ^= g_noise >> 7;
    g_noise ^= g_noise << 17;
    return base + (g_noise % (base * 8)) + ((g_noise & 0xFFFF) == 0 ? base * 1000 : 0);
}

void Call(BurnInRecorder& recorder, Operation operation, CallOutcome& outcome, std::int32_t argument = -1)
{
    CallRecord call;
    call.operation = operation;
    call.outcome = &outcome;
    call.hasArgument = argument >= 0;
    call.argument = argument;
    if (operation == Operation::GetCardInfo) {
        call.photo = argument == mervik::kFieldPhoto;
        call.buffers[0] = {BufferRole::Value, call.photo ? g_photo : g_value, call.photo ? sizeof g_photo : sizeof g_value};
        call.buffers[1] = {BufferRole::Error, g_text, sizeof g_text};
        call.bufferCount = 2;
    } else {
        call.buffers[0] = {BufferRole::Text, g_text, sizeof g_text};
        call.bufferCount = 1;
    }
    recorder.OnCall(call);
}

void Cycle(BurnInRecorder& recorder, std::uint32_t cycle, std::uint32_t cycles)
{
    recorder.BeginCycle(cycle);
    // getDeviceStatus: now and then a counter for a code, with a text of its own
    // (a full buffer), and a broken contract.
    CallOutcome status = CallOutcome::Returned(cycle % 1000 == 0 ? static_cast<std::int32_t>(cycle) : 0);
    std::snprintf(g_text, sizeof g_text, "%s %" PRIu32, status.result != 0 ? "busy" : "ok", cycle);
    if (status.result != 0)
        std::memset(g_text + std::strlen(g_text), '~', sizeof g_text - 1 - std::strlen(g_text));
    status.durationNanoseconds = Nanoseconds(20000);
    if (cycle % 5000 == 0) {
        status.breaches[0] = ContractBreach{ContractRule::Register, cycle % 10000 ? "EBX" : "ESI", {1, 0}, {cycle, 0}, true};
        status.breachCount = 1;
    }
    Call(recorder, Operation::getDeviceStatus, status);
    std::memset(g_text, 0, sizeof g_text);

    // readCard: now and then a fault at a new place.
    CallOutcome read = CallOutcome::Returned(0);
    read.durationNanoseconds = Nanoseconds(300000);
    if (cycle % 997 == 0) {
        read.raised = true;
        read.exceptionCode = 0xC0000005;
        read.exceptionAddress = 0x10000000u + cycle;
        read.convention = Convention::Unknown;
    }
    Call(recorder, Operation::readCard, read);

    // The card information: the photo is hashed in the first thousand cycles only
    // (its hash is a fixed-size figure; hashing every cycle would only slow this down).
    if (!read.raised) {
        for (std::int32_t field : kComparedFields) {
            std::snprintf(g_value, sizeof g_value, "field %d", static_cast<int>(field));
            CallOutcome info = CallOutcome::Returned(0);
            info.durationNanoseconds = Nanoseconds(5000);
            Call(recorder, Operation::GetCardInfo, info, field);
        }
        CallOutcome photo = CallOutcome::Returned(0);
        photo.durationNanoseconds = Nanoseconds(50000);
        Call(recorder, Operation::GetCardInfo, photo, cycle <= 1000 ? mervik::kFieldPhoto : 9);
    }
    if (cycle % 10000 == 0) {
        wchar_t message[64];
        std::swprintf(message, 64, L"读卡器库 readCard 调用异常 %u", static_cast<unsigned>(cycle));
        recorder.RecordMessage(message);
    }
    recorder.EndCycle();
    if (cycle % SampleInterval(cycles) == 0) {
        ResourceSample sample;
        sample.cycle = cycle;
        recorder.RecordResources(sample);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    const std::uint32_t cycles = argc > 1 ? static_cast<std::uint32_t>(std::strtoul(argv[1], nullptr, 10)) : 100000000u;
    std::memcpy(g_photo, "QUJD", 4);
    const std::uint64_t before = MemoryInUse();
    auto recorder = std::make_unique<BurnInRecorder>();
    std::printf("%12s %14s %10s  %s\n", "cycles", "bytes", "MB", "figures");
    std::printf("%12u %14" PRIu64 " %10.2f  sizeof(BurnInRecorder) %zu\n", 0u, MemoryInUse() - before,
                static_cast<double>(MemoryInUse() - before) / 1048576.0, sizeof(BurnInRecorder));
    std::uint32_t next = 10;
    for (std::uint32_t cycle = 1; cycle <= cycles; ++cycle) {
        Cycle(*recorder, cycle, cycles);
        if (cycle == next || cycle == cycles) {
            const std::uint64_t held = MemoryInUse() - before;
            std::printf("%12u %14" PRIu64 " %10.2f  %s\n", cycle, held, static_cast<double>(held) / 1048576.0,
                        recorder->Figures().incomplete ? "incomplete" : "complete");
            std::fflush(stdout);
            if (cycle == next)
                next = next > UINT32_MAX / 10 ? UINT32_MAX : next * 10;
        }
    }
    return 0;
}

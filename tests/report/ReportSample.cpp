// Writes a burn-in report from made-up figures: 1,000 cycles with a slow drift in
// getDeviceStatus, a burst of readCard faults, a contract breach, a card that
// changed twice, memory that leaks, what the open took and the close gave back,
// and a library text that tries to break the page. Usage: report_sample <report.html>
#include <dlfcn.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "Report.h"
#include "ScriptedCalls.h"

namespace {

// A library text meant to break out of the page: markup, quotes, bytes that form
// no character, and the rest of the buffer filled with noise.
std::string HostileText()
{
    std::string text = "<script>alert(1)</script>\"'&amp;</td></tr></table><!-- \x81\xFF\xC0";
    for (std::size_t i = text.size(); i < 1023; ++i)
        text += static_cast<char>(0x21 + (i * 37) % 94);
    return text;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: report_sample <report.html>\n");
        return 2;
    }
    constexpr std::uint32_t kCycles = 1000;
    BurnInRecorder recorder;
    Dl_info libc{};
    dladdr(reinterpret_cast<void*>(&std::printf), &libc);
    const auto base = reinterpret_cast<std::uintptr_t>(libc.dli_fbase);

    ResourceSample beforeOpen;  // the session's own memory and handles come with the open
    beforeOpen.measured[0] = beforeOpen.measured[1] = true;
    beforeOpen.value[0] = 11'600'000;
    beforeOpen.value[1] = 112;
    recorder.RecordResources(beforeOpen);
    ScriptedCall open;
    open.operation = Operation::OpenDevice;
    open.argument = 1001;
    open.nanoseconds = 35'000'000;
    Tell(recorder, open);
    const std::string photo(40000, 'Q');
    std::uint64_t noise = 12345;
    auto jitter = [&noise]() {
        noise = noise * 6364136223846793005u + 1442695040888963407u;
        return static_cast<double>(noise >> 40) / static_cast<double>(1u << 24);
    };
    for (std::uint32_t cycle = 1; cycle <= kCycles; ++cycle) {
        if (cycle == 1 || cycle % SampleInterval(kCycles) == 0) {
            ResourceSample sample;
            sample.cycle = cycle - 1;
            sample.measured[0] = sample.measured[1] = true;
            sample.value[0] = static_cast<std::uint64_t>(12e6 + 600.0 * cycle + 40000 * jitter());
            sample.value[1] = 118 + (cycle > 300 ? 2 : 0);
            recorder.RecordResources(sample);
        }
        recorder.BeginCycle(cycle);
        ScriptedCall status;
        status.text = cycle % 97 == 0 ? HostileText() : "\xC9\xE8\xB1\xB8\xD5\xFD\xB3\xA3";  // GBK 设备正常
        status.result = cycle % 97 == 0 ? 3 : 0;
        status.nanoseconds = static_cast<std::uint64_t>((200 + 0.4 * cycle) * 1000 * (1 + 0.2 * jitter()));
        if (cycle == 650)
            status.breaches.push_back(ContractBreach{ContractRule::Register, "EBX", {0x1000, 0}, {0xDEAD, 0}, true});
        Tell(recorder, status);

        ScriptedCall read;
        read.operation = Operation::readCard;
        read.text = "\xB6\xC1\xBF\xA8\xB3\xC9\xB9\xA6";  // GBK 读卡成功
        read.nanoseconds = static_cast<std::uint64_t>(4'000'000 * (1 + 0.3 * jitter()) * (jitter() < 0.01 ? 8 : 1));
        const bool burst = cycle >= 600 && cycle < 630;
        if (burst) {
            read.raised = true;
            read.exceptionCode = 0xC0000005;
            read.moduleBase = base;
            read.address = base + 0x1A2B;
            recorder.RecordMessage(L"读卡器库 readCard 调用异常：0xC0000005（地址 libc.so.6+0x1A2B）");
        }
        Tell(recorder, read);
        if (!burst)
            ReadCard(recorder, cycle == 700 || cycle == 701 ? photo + "=" : photo,
                     static_cast<std::uint64_t>(60'000 * (1 + 0.1 * jitter())));
        recorder.EndCycle();
    }
    ResourceSample last;
    last.cycle = kCycles;
    last.measured[0] = last.measured[1] = true;
    last.value[0] = static_cast<std::uint64_t>(12e6 + 600.0 * kCycles);
    last.value[1] = 120;
    recorder.RecordResources(last);
    ScriptedCall close;
    close.operation = Operation::CloseDevice;
    close.nanoseconds = 5'000'000;
    Tell(recorder, close);
    last.value[0] -= 350'000;
    last.value[1] -= 6;
    recorder.RecordResources(last);

    static RunFacts facts;
    facts.libraryPath.Append(L"C:\\Readers\\<vendor> \"A&B\"\\Mervik.dll");
    facts.librarySize.Append(L"245,760 bytes");
    facts.libraryVersion.Append(L"3.2.1.7");
    facts.librarySha256.Append(L"9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08");
    facts.programVersion.Append(L"1.0.0.1");
    facts.programBits = 32;
    facts.port = 1001;
    facts.startTime.Append(L"2024-05-06 09:15:02");
    facts.endTime.Append(L"2024-05-06 09:16:40");
    facts.cyclesAsked = kCycles;
    std::string path = argv[1];
    const std::wstring wide(path.begin(), path.end());
    return WriteReports(wide.c_str(), recorder.Figures(), facts).written ? 0 : 3;
}

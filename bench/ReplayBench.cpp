// What a call of the stand-in costs when it replays a recording, against the same
// answer given by a script, under Wine (or on Windows): the two alternate in one
// run, and the medians and the median of the per-round ratios are printed.
//
//   replay_bench.exe [ROUNDS]      (run beside the stand-in Mervik.dll, in a scratch folder)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Median.h"

namespace {

using TextCall = int(__stdcall*)(char*);

double Now()
{
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart);
}

void Write(const char* path, const std::string& text)
{
    FILE* file = std::fopen(path, "wb");
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
}

}  // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 21;
    constexpr int kCalls = 200;
    const std::string answer = "result=0\r\ntext=\xE8\xAE\xBE\xE5\xA4\x87\xE6\xAD\xA3\xE5\xB8\xB8\r\n";  // 设备正常
    Write("scripted.ini", "[getDeviceStatus]\r\n" + answer);
    // A recording with the same answer for every call, as Zantor writes it, answered at once.
    std::string recording = "[Recording]\r\ncodepage=936\r\nimmediate=yes\r\n[Answer.1]\r\noperation=getDeviceStatus\r\n" +
                            answer + "[Calls]\r\n";
    for (int i = 0; i < rounds * (kCalls + 1); i += 32) {
        recording += "calls=1";
        for (int j = 1; j < 32; ++j)
            recording += " 1";
        recording += "\r\n";
    }
    Write("replay.ini", recording);

    const HMODULE library = LoadLibraryW(L"Mervik.dll");
    const auto status = library ? reinterpret_cast<TextCall>(reinterpret_cast<void (*)()>(GetProcAddress(library, "getDeviceStatus"))) : nullptr;
    if (!status) {
        std::printf("Mervik.dll with getDeviceStatus not found\n");
        return 1;
    }
    char text[1024];
    std::vector<double> scripted, replayed, ratios;
    for (int round = 0; round < rounds; ++round) {
        double took[2];
        for (int which = 0; which < 2; ++which) {
            SetEnvironmentVariableW(L"MERVIK_INI", which == 0 ? L"scripted.ini" : L"replay.ini");
            status(text);  // the script found (and a recording parsed) before the timing
            const double start = Now();
            for (int i = 0; i < kCalls; ++i) {
                if (status(text) != 0)
                    std::printf("round %d: the call failed: %s\n", round, text);
            }
            took[which] = (Now() - start) / kCalls;
        }
        scripted.push_back(took[0]);
        replayed.push_back(took[1]);
        ratios.push_back(took[1] / took[0]);
    }
    std::printf("getDeviceStatus, microseconds a call (median of %d rounds of %d calls):\n", rounds, kCalls);
    std::printf("  scripted %.1f, replayed %.1f, replayed/scripted %.2f\n", Median(scripted), Median(replayed),
                Median(ratios));
    return 0;
}

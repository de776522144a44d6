// What a recorded call costs the recorder as the distinct answers add up: feeds a
// recording writer getDeviceStatus calls whose text is new every time (a status
// with a counter, as the stand-in's vary_every=1 gives), and prints the time a
// call took in blocks of 10,000 at the start, up to the millionth answer and past
// the cap on remembered answers, with the median of the blocks' per-call times
// and the memory the writer holds.
//
// Usage: recording_writer_bench [answers]   (default 1,100,000)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Mervik.h"
#include "RecordingWriter.h"

namespace {

char g_text[mervik::kTextBufferSize];

}  // namespace

int main(int argc, char** argv)
{
    const unsigned long answers = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1100000ul;
    constexpr unsigned long kBlock = 10000;
    const std::size_t heldBefore = growing::HeldBytes().load();
    RecordingWriter writer(936);
    GrowingText entry;
    CallRecord call;
    call.operation = Operation::getDeviceStatus;
    call.buffers[call.bufferCount++] = {BufferRole::Text, g_text, sizeof g_text};
    const CallOutcome outcome = CallOutcome::Returned(0);
    std::vector<double> block;  // nanoseconds a call, per 10 calls' lap
    std::printf("%-24s %12s %12s\n", "answers", "median ns", "held MB");
    for (unsigned long i = 1; i <= answers; ++i) {
        std::memset(g_text, 0, 64);
        call.outcome = nullptr;
        writer.Before(call);
        const std::string text = "Device ready on USB port 1001, waiting for a card (varied " + std::to_string(i) + ")";
        std::memcpy(g_text, text.data(), text.size());
        call.outcome = &outcome;
        const auto start = std::chrono::steady_clock::now();
        if (!writer.Entry(call, entry)) {
            std::printf("out of memory at answer %lu\n", i);
            return 1;
        }
        const auto took = std::chrono::steady_clock::now() - start;
        block.push_back(static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(took).count()));
        if (i % kBlock == 0) {
            const bool shown = i <= 3 * kBlock || i % (100 * kBlock) == 0 || i == answers ||
                               (i > kRememberedAnswers && i <= kRememberedAnswers + kBlock);
            if (shown) {
                std::nth_element(block.begin(), block.begin() + block.size() / 2, block.end());
                char range[32];
                std::snprintf(range, sizeof range, "%lu-%lu", i - kBlock + 1, i);
                std::printf("%-24s %12.0f %12.1f\n", range, block[block.size() / 2],
                            static_cast<double>(growing::HeldBytes().load() - heldBefore) / 1048576.0);
            }
            block.clear();
        }
    }
    std::printf("answers written %u, remembered %zu\n", writer.Answers(), writer.Remembered());
    return 0;
}

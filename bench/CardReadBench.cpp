// One card-information read against a reader that answers at once, beside a
// bare write of the same zp.jpg, in one run. The read's cost beyond the write
// is the console's own: zero-filling the buffers, one scan of the photo text,
// the decode, and the buffers' allocation. Built natively and for Windows (run
// under Wine), without Google Benchmark, which has no Windows build here.
//
//   card_read_bench [ROUNDS]   in the current folder (put it on tmpfs)
//
// Prints the median time of each, over ROUNDS rounds (default 21) of a batch
// of operations, and their ratio.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "CardInfoCommand.h"
#include "standin/Base64.h"
#include "GuardedPages.h"
#ifdef _WIN32
#include "CallLog.h"
#include "ObservedReader.h"
#include "LibraryIdentity.h"
#endif
#include "Median.h"
#include "Mervik.h"
#include "OutputFile.h"

namespace {

// The largest photo the console meets: 102396 characters, 76797 bytes.
constexpr std::size_t kPhotoBytes = 76797;
constexpr int kBatch = 100;

// Answers every field at once, as a well-behaved library does.
class InstantReader final : public Reader {
public:
    explicit InstantReader(std::string photo) : m_photo(std::move(photo)) {}
    CallOutcome OpenDevice(std::int32_t, char*) override { return CallOutcome::Returned(0); }
    CallOutcome CloseDevice(char*) override { return CallOutcome::Returned(0); }
    CallOutcome getDeviceStatus(char*) override { return CallOutcome::Returned(0); }
    CallOutcome readCard(char*) override { return CallOutcome::Returned(0); }
    CallOutcome GetCardInfo(std::int32_t index, char* value, char*) override
    {
        if (index == mervik::kFieldPhoto)
            std::memcpy(value, m_photo.c_str(), m_photo.size() + 1);
        else
            std::memcpy(value, "20301231", 9);
        return CallOutcome::Returned(0);
    }

private:
    std::string m_photo;
};

// Takes the boxes' texts and fails the run on any message.
class QuietHost final : public CommandHost {
public:
    void GetControlText(int, char* text, std::size_t) override { text[0] = '\0'; }
    void SetControlText(int, const char* text) override { m_last = text; }
    void ShowMessage(const wchar_t*) override
    {
        std::fprintf(stderr, "card_read_bench: the read showed a message\n");
        std::exit(1);
    }
    const std::string& Last() const { return m_last; }

private:
    std::string m_last;
};

using Clock = std::chrono::steady_clock;

template <class Operation>
double NanosecondsPerOperation(Operation operation)
{
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < kBatch; ++i) operation();
    return std::chrono::duration<double, std::nano>(Clock::now() - start).count() / kBatch;
}

std::vector<unsigned char> ReadBack()
{
    std::vector<unsigned char> bytes;
    if (std::FILE* file = std::fopen("zp.jpg", "rb")) {
        unsigned char chunk[4096];
        std::size_t got;
        while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
        std::fclose(file);
    }
    return bytes;
}

}  // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 21;

    std::vector<unsigned char> photo(kPhotoBytes);
    std::mt19937 random(7);
    for (unsigned char& byte : photo) byte = static_cast<unsigned char>(random());
    InstantReader reader(standin::EncodeBase64(photo.data(), photo.size()));
    QuietHost host;

    const auto cardRead = [&] { RunReadCardInfo(host, reader, GuardedPages()); };
    const auto bareWrite = [&] {
        OutputFile file("zp.jpg");
        if (!file.Write(photo.data(), static_cast<std::uint32_t>(photo.size())) || !file.Close()) {
            std::fprintf(stderr, "card_read_bench: cannot write zp.jpg here\n");
            std::exit(1);
        }
    };

    cardRead();
    if (ReadBack() != photo || host.Last() != "102396") {
        std::fprintf(stderr, "card_read_bench: the read did not write the photo\n");
        return 1;
    }

#ifdef _WIN32
    // The same read with the call log on: eleven lines to the debugger's output
    // and to a file beside zp.jpg.
    CallLog log;
    static const LibraryIdentity library{};
    if (log.OpenFile(L"calls.log", library) != 0) {
        std::fprintf(stderr, "card_read_bench: cannot open calls.log here\n");
        return 1;
    }
    ObservedReader observed(reader, log, GuardedPages().guardBytes);
    const auto loggedRead = [&] { RunReadCardInfo(host, observed, GuardedPages()); };
#endif

    // Alternating rounds, so that all see the same machine.
    std::vector<double> reads;
    std::vector<double> writes;
    std::vector<double> loggedReads;
    for (int round = 0; round < rounds; ++round) {
        reads.push_back(NanosecondsPerOperation(cardRead));
        writes.push_back(NanosecondsPerOperation(bareWrite));
#ifdef _WIN32
        loggedReads.push_back(NanosecondsPerOperation(loggedRead));
#endif
    }
    const double read = Median(reads);
    const double write = Median(writes);
    std::printf("%-34s %10.1f us\n", "card-information read (median)", read / 1000);
    std::printf("%-34s %10.1f us\n", "bare write of zp.jpg (median)", write / 1000);
    std::printf("%-34s %10.2f x\n", "ratio", read / write);
    if (!loggedReads.empty()) {
        const double logged = Median(loggedReads);
        std::printf("%-34s %10.1f us\n", "read with the call log (median)", logged / 1000);
        std::printf("%-34s %10.2f x\n", "ratio to the bare write", logged / write);
    }
    return 0;
}

// Decoding a photo-sized base64 text: ours (as DecodeBase64 runs it, and at each
// level) against OpenSSL's and modp's decoders, with memcpy of the output as the
// yardstick. Every row counts its throughput in output bytes (102399 a run).
#include <benchmark/benchmark.h>
#include <modp_b64.h>
#include <openssl/evp.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "Base64.h"
#include "Base64Levels.h"
#include "standin/Base64.h"

namespace {

constexpr std::size_t kDecodedSize = 102399;  // 136532 characters, no padding

struct Input {
    std::string text;
    std::vector<unsigned char> bytes;
};

const Input& Photo()
{
    static const Input input = [] {
        Input in;
        std::mt19937 rng(1);
        in.bytes.resize(kDecodedSize);
        for (auto& b : in.bytes) b = static_cast<unsigned char>(rng());
        in.text = standin::EncodeBase64(in.bytes.data(), in.bytes.size());
        return in;
    }();
    return input;
}

// Stops the run if a decoder does not give back the photo's bytes.
void Check(const char* name, const unsigned char* out, std::size_t size)
{
    const Input& in = Photo();
    if (size != in.bytes.size() || std::memcmp(out, in.bytes.data(), size) != 0) {
        std::fprintf(stderr, "%s decoded the photo wrongly\n", name);
        std::exit(1);
    }
}

void Ours(benchmark::State& state)
{
    const Input& in = Photo();
    std::vector<unsigned char> out(kMaxDecodedSize);
    std::uint32_t size = 0;
    for (auto _ : state) {
        size = DecodeBase64(static_cast<std::uint32_t>(in.text.size()), in.text.data(), out.data());
        benchmark::DoNotOptimize(size);
        benchmark::ClobberMemory();
    }
    Check("DecodeBase64", out.data(), size);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kDecodedSize));
    state.SetLabel(DecodeLevelName(BestDecodeLevel()));
}

void AtLevel(benchmark::State& state, DecodeLevel level)
{
    if (!DecodeLevelAvailable(level)) {
        state.SkipWithError((std::string("this processor has no ") + DecodeLevelName(level)).c_str());
        for (auto _ : state) {
        }
        return;
    }
    const Input& in = Photo();
    std::vector<unsigned char> out(kMaxDecodedSize);
    std::uint32_t size = 0;
    for (auto _ : state) {
        size = DecodeBase64At(level, static_cast<std::uint32_t>(in.text.size()), in.text.data(), out.data());
        benchmark::DoNotOptimize(size);
        benchmark::ClobberMemory();
    }
    Check(DecodeLevelName(level), out.data(), size);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kDecodedSize));
}

void OpenSsl(benchmark::State& state)
{
    const Input& in = Photo();
    std::vector<unsigned char> out(in.text.size());
    int size = 0;
    for (auto _ : state) {
        size = EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(in.text.data()),
                               static_cast<int>(in.text.size()));
        benchmark::DoNotOptimize(size);
        benchmark::ClobberMemory();
    }
    Check("EVP_DecodeBlock", out.data(), static_cast<std::size_t>(size));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kDecodedSize));
}

void Modp(benchmark::State& state)
{
    const Input& in = Photo();
    std::vector<char> out(modp_b64_decode_len(in.text.size()));
    std::size_t size = 0;
    for (auto _ : state) {
        size = modp_b64_decode(out.data(), in.text.data(), in.text.size());
        benchmark::DoNotOptimize(size);
        benchmark::ClobberMemory();
    }
    Check("modp_b64_decode", reinterpret_cast<const unsigned char*>(out.data()), size);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kDecodedSize));
}

void Memcpy(benchmark::State& state)
{
    const Input& in = Photo();
    std::vector<unsigned char> out(kMaxDecodedSize);
    // The destination escapes and memory is clobbered each time, or the copy,
    // whose result is never read, may be deleted (clang does).
    for (auto _ : state) {
        std::memcpy(out.data(), in.bytes.data(), kDecodedSize);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    Check("memcpy", out.data(), kDecodedSize);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kDecodedSize));
}

} // namespace

BENCHMARK(Memcpy)->Name("memcpy_output");
BENCHMARK(Ours)->Name("DecodeBase64");
BENCHMARK_CAPTURE(AtLevel, scalar, DecodeLevel::Scalar)->Name("DecodeBase64At/scalar");
BENCHMARK_CAPTURE(AtLevel, ssse3, DecodeLevel::Ssse3)->Name("DecodeBase64At/ssse3");
BENCHMARK_CAPTURE(AtLevel, avx2, DecodeLevel::Avx2)->Name("DecodeBase64At/avx2");
BENCHMARK(OpenSsl)->Name("EVP_DecodeBlock");
BENCHMARK(Modp)->Name("modp_b64_decode");

BENCHMARK_MAIN();

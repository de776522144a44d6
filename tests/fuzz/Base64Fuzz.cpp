// libFuzzer target: the decoder against the plain reference decoder, on any
// bytes, and nothing written past the size it reports.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "Base64.h"
#include "../photo/ReferenceBase64.h"

namespace {

constexpr unsigned char kUntouched = 0xA5;
constexpr std::size_t kGuard = 64;
// Texts near the size limit (102400 bytes out) are too long for the fuzzer to
// grow by itself. Input layout: one mode byte, then the text; the mode byte
// kNearLimitMark asks instead for a text of kNearLimit + (next byte % 32)
// characters, tiled from the rest.
constexpr std::uint8_t kNearLimitMark = 0xFF;
constexpr std::size_t kNearLimit = 136536 - 16;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    std::vector<unsigned char> text(data + 1, data + size);
    if (data[0] == kNearLimitMark && text.size() > 1 && text.size() <= kNearLimit) {
        const std::size_t length = kNearLimit + text[0] % 32;
        text.erase(text.begin());
        std::vector<unsigned char> tiled(length);
        for (std::size_t at = 0; at < length; at += text.size())
            std::memcpy(tiled.data() + at, text.data(), std::min(text.size(), length - at));
        // Keep the input's own ending, so that its padding is what is counted.
        std::memcpy(tiled.data() + length - text.size(), text.data(), text.size());
        text.swap(tiled);
    }

    // Everything past the previous result was checked untouched, so only the
    // previous result needs resetting.
    static std::vector<unsigned char> output(kMaxDecodedSize + kGuard, kUntouched);
    static const std::vector<unsigned char> pristine(kMaxDecodedSize + kGuard, kUntouched);
    static std::size_t previous = 0;
    std::memset(output.data(), kUntouched, previous);
    const std::uint32_t decoded = DecodeBase64(static_cast<std::uint32_t>(text.size()),
                                               reinterpret_cast<const char*>(text.data()), output.data());
    previous = decoded;

    const std::vector<unsigned char> expected = ReferenceDecode(text.data(), text.size());
    if (decoded != expected.size()) __builtin_trap();
    if (decoded != 0 && std::memcmp(output.data(), expected.data(), decoded) != 0) __builtin_trap();
    if (std::memcmp(output.data() + decoded, pristine.data() + decoded, output.size() - decoded) != 0)
        __builtin_trap();
    return 0;
}

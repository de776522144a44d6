#include "Anonymizer.h"

#include <cstring>
#include <new>

#include "Mervik.h"
#include "TextLength.h"
#include "Utf8.h"

namespace {

// A plain grey 102 x 126 JPEG, the size of a card's photo, made with ImageMagick:
// convert -size 102x126 xc:'#808080' -strip -quality 75 -sampling-factor 1x1 -colorspace Gray grey.jpg
constexpr unsigned char kGreyJpeg[] = {
    0xff, 0xd8, 0xff, 0xe0, 0x00, 0x10, 0x4a, 0x46, 0x49, 0x46, 0x00, 0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x01,
    0x00, 0x00, 0xff, 0xdb, 0x00, 0x43, 0x00, 0x08, 0x06, 0x06, 0x07, 0x06, 0x05, 0x08, 0x07, 0x07, 0x07, 0x09,
    0x09, 0x08, 0x0a, 0x0c, 0x14, 0x0d, 0x0c, 0x0b, 0x0b, 0x0c, 0x19, 0x12, 0x13, 0x0f, 0x14, 0x1d, 0x1a, 0x1f,
    0x1e, 0x1d, 0x1a, 0x1c, 0x1c, 0x20, 0x24, 0x2e, 0x27, 0x20, 0x22, 0x2c, 0x23, 0x1c, 0x1c, 0x28, 0x37, 0x29,
    0x2c, 0x30, 0x31, 0x34, 0x34, 0x34, 0x1f, 0x27, 0x39, 0x3d, 0x38, 0x32, 0x3c, 0x2e, 0x33, 0x34, 0x32, 0xff,
    0xc0, 0x00, 0x0b, 0x08, 0x00, 0x7e, 0x00, 0x66, 0x01, 0x01, 0x11, 0x00, 0xff, 0xc4, 0x00, 0x14, 0x00, 0x01,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0xc4,
    0x00, 0x14, 0x10, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0xff, 0xda, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3f, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0xd9};

// The most bytes a photo text of the contract's size decodes to.
constexpr std::size_t kLargestJpeg = (mervik::kPhotoTextBufferSize - 1) / 4 * 3;

std::uint64_t Mix(std::uint64_t x)
{
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// The session key, the field and every byte of its value, as one number.
std::uint64_t Seed(std::uint64_t key, std::int32_t index, const char* bytes, std::size_t length)
{
    std::uint64_t h = Mix(key ^ static_cast<std::uint64_t>(index));
    for (std::size_t i = 0; i < length; ++i)
        h = (h ^ static_cast<unsigned char>(bytes[i])) * 0x100000001B3ull;
    return Mix(h ^ key);
}

// The generator drawn from, one number a character.
class Draw {
public:
    explicit Draw(std::uint64_t seed) : m_state(seed) {}
    unsigned Below(unsigned n)
    {
        m_state += 0x9E3779B97F4A7C15ull;
        return static_cast<unsigned>(Mix(m_state) % n);
    }

private:
    std::uint64_t m_state;
};

bool IsDoubleByteCodePage(unsigned codePage)
{
    return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950;
}

bool IsLead(unsigned codePage, unsigned char c)
{
    if (codePage == 932)
        return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    return c >= 0x81 && c <= 0xFE;
}

bool IsTrail(unsigned codePage, unsigned char c)
{
    return c >= 0x40 && c != 0x7F && c <= (codePage == 932 ? 0xFC : 0xFE);
}

// A common two-byte character of the code page: a Chinese one (GB2312 level 1),
// a hiragana, a Hangul syllable or a Big5 common character. The lead byte is
// drawn first (a single lead byte is not drawn at all), then the trail byte.
struct TwoByteRange {
    unsigned codePage;
    unsigned char lead, leads, trail, trails;
};
constexpr TwoByteRange kTwoByteRanges[] = {
    {932, 0x82, 1, 0x9F, 83},
    {949, 0xB0, 25, 0xA1, 94},
    {950, 0xA4, 34, 0x40, 63},
    {936, 0xB0, 39, 0xA1, 94},  // and any other
};

void TwoByteCharacter(unsigned codePage, Draw& draw, char* out)
{
    const TwoByteRange* range = kTwoByteRanges;
    while (range->codePage != codePage && range->codePage != 936)
        ++range;
    out[0] = static_cast<char>(range->lead + (range->leads > 1 ? draw.Below(range->leads) : 0));
    out[1] = static_cast<char>(range->trail + draw.Below(range->trails));
}

void EncodeBase64(const unsigned char* bytes, std::size_t count, char* out)
{
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (std::size_t i = 0; i + 2 < count; i += 3, out += 4) {
        const std::uint32_t triple = static_cast<std::uint32_t>(bytes[i]) << 16 | bytes[i + 1] << 8 | bytes[i + 2];
        out[0] = kAlphabet[triple >> 18];
        out[1] = kAlphabet[(triple >> 12) & 63];
        out[2] = kAlphabet[(triple >> 6) & 63];
        out[3] = kAlphabet[triple & 63];
    }
}

}  // namespace

void Anonymizer::Replace(std::int32_t index, char* bytes, std::size_t length) const
{
    const bool textField = (index >= mervik::kFieldName && index <= mervik::kFieldValidTo) ||
                           index == mervik::kFieldPhotoName;
    if (index != mervik::kFieldPhoto && !textField)
        return;
    const std::uint64_t seed = Seed(m_key, index, bytes, length);
    if (index == mervik::kFieldPhoto)
        ReplacePhoto(bytes, length, seed);
    else
        ReplaceText(bytes, length, seed);
}

void Anonymizer::ReplaceText(char* bytes, std::size_t length, std::uint64_t seed) const
{
    Draw draw(seed);
    std::size_t i = 0;
    while (i < length) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) {
            // A digit, an upper-case or a lower-case letter: another of its kind.
            static constexpr char kKinds[][2] = {{'0', 10}, {'A', 26}, {'a', 26}};
            for (const auto& kind : kKinds) {
                if (c >= kind[0] && c < kind[0] + kind[1])
                    bytes[i] = static_cast<char>(kind[0] + draw.Below(static_cast<unsigned>(kind[1])));
            }
            ++i;
            continue;
        }
        if (m_codePage == 65001) {
            std::size_t skip = 0;
            const std::size_t n = ValidUtf8Length(reinterpret_cast<const unsigned char*>(bytes) + i, length - i, skip);
            if (n == 0) {
                std::memset(bytes + i, '?', skip);
                i += skip;
                continue;
            }
            // A letter (U+00C0 to U+00D6), a Chinese character, or one of the extension B.
            static constexpr char32_t kFirst[] = {0xC0, 0x4E00, 0x20000};
            static constexpr unsigned kCount[] = {23, 0x51A6, 0xA6D7};
            const char32_t replacement = kFirst[n - 2] + draw.Below(kCount[n - 2]);
            char encoded[4];
            EncodeUtf8(replacement, encoded);
            std::memcpy(bytes + i, encoded, n);
            i += n;
            continue;
        }
        if (IsDoubleByteCodePage(m_codePage)) {
            if (IsLead(m_codePage, c) && i + 1 < length && IsTrail(m_codePage, static_cast<unsigned char>(bytes[i + 1]))) {
                TwoByteCharacter(m_codePage, draw, bytes + i);
                i += 2;
            } else {
                bytes[i++] = '?';  // no character of the code page
            }
            continue;
        }
        // A single-byte code page's upper half: a letter there (0xC0 to 0xD6).
        bytes[i++] = static_cast<char>(0xC0 + draw.Below(23));
    }
}

void Anonymizer::ReplaceRegister(std::uint64_t (&value)[2]) const
{
    unsigned char bytes[sizeof value];
    std::memcpy(bytes, value, sizeof bytes);
    Draw draw(Seed(m_key, -1, reinterpret_cast<const char*>(bytes), sizeof bytes));
    for (unsigned char& c : bytes) {
        if (c >= 0x80)
            c = static_cast<unsigned char>(0x80 + draw.Below(0x80));
        else if (c >= '0' && c <= '9')
            c = static_cast<unsigned char>('0' + draw.Below(10));
        else if (c >= 'A' && c <= 'Z')
            c = static_cast<unsigned char>('A' + draw.Below(26));
        else if (c >= 'a' && c <= 'z')
            c = static_cast<unsigned char>('a' + draw.Below(26));
    }
    std::memcpy(value, bytes, sizeof bytes);
}

void Anonymizer::ReplacePhoto(char* bytes, std::size_t length, std::uint64_t seed) const
{
    const std::size_t size = length / 4 * 3;
    if (length % 4 != 0 || size < sizeof kGreyJpeg || size > kLargestJpeg) {
        std::memset(bytes, 'A', length);
        return;
    }
    // The grey image, its start of image first, then the room left over as comment
    // segments (the first carrying the keyed hash) and fill bytes before the next
    // marker, which every decoder skips.
    static unsigned char jpeg[kLargestJpeg];
    std::size_t at = 0;
    jpeg[at++] = kGreyJpeg[0];
    jpeg[at++] = kGreyJpeg[1];
    std::size_t room = size - sizeof kGreyJpeg;
    bool first = true;
    while (room >= 4) {
        std::size_t segment = room < 65537 ? room : 65537;
        if (room - segment != 0 && room - segment < 4)
            segment -= 4;
        const std::size_t stated = segment - 2;  // the length field counts itself and the data
        jpeg[at++] = 0xFF;
        jpeg[at++] = 0xFE;
        jpeg[at++] = static_cast<unsigned char>(stated >> 8);
        jpeg[at++] = static_cast<unsigned char>(stated & 0xFF);
        std::memset(jpeg + at, 0, segment - 4);
        if (first) {
            const std::uint64_t mark[2] = {seed, Mix(seed)};
            std::memcpy(jpeg + at, mark, segment - 4 < sizeof mark ? segment - 4 : sizeof mark);
            first = false;
        }
        at += segment - 4;
        room -= segment;
    }
    std::memset(jpeg + at, 0xFF, room);
    at += room;
    std::memcpy(jpeg + at, kGreyJpeg + 2, sizeof kGreyJpeg - 2);
    EncodeBase64(jpeg, size, bytes);
}

void AnonymizingObserver::OnCall(const CallRecord& call)
{
    if (call.operation != Operation::GetCardInfo || call.bufferCount == 0 || !call.hasArgument) {
        m_inner.OnCall(call);
        return;
    }
    // A copy of the value buffer, replaced; the library's own stays for the form.
    // Whatever the library left after the text's NUL (a stale copy, a second
    // field) goes no further: the copy holds zeros there, as it was handed over.
    static char copy[mervik::kPhotoTextBufferSize];
    const CallBuffer& value = call.buffers[0];
    const std::size_t size = value.size < sizeof copy ? value.size : sizeof copy;
    const std::size_t length = BoundedLength(value.data, size);
    std::memcpy(copy, value.data, length);
    std::memset(copy + length, 0, size - length);
    m_anonymizer.Replace(call.argument, copy, length);
    CallRecord replaced = call;
    replaced.buffers[0].data = copy;
    replaced.buffers[0].size = size;
    // The registers' values too, in the rare call that breaks the contract (a
    // copy of the outcome, which is large, only then).
    const CallOutcome& outcome = *call.outcome;
    bool registers = false;
    for (std::size_t i = 0; i < outcome.breachCount && i < CallOutcome::kMaxBreaches; ++i)
        registers = registers || outcome.breaches[i].rule == ContractRule::Register;
    if (registers) {
        // Room that takes no space in the program's file (a static outcome with its
        // initialisers would), copied into as the call comes.
        alignas(CallOutcome) static unsigned char room[sizeof(CallOutcome)];
        auto* changed = new (room) CallOutcome(outcome);
        for (std::size_t i = 0; i < changed->breachCount && i < CallOutcome::kMaxBreaches; ++i) {
            if (changed->breaches[i].rule == ContractRule::Register) {
                m_anonymizer.ReplaceRegister(changed->breaches[i].before);
                m_anonymizer.ReplaceRegister(changed->breaches[i].after);
            }
        }
        replaced.outcome = changed;
    }
    m_inner.OnCall(replaced);
}

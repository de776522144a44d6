#include <iconv.h>

#include <cerrno>
#include <cstring>

#include "CodePageText.h"
#include "Utf8.h"

namespace {

bool HasControl(const unsigned char* utf8, std::size_t size)
{
    for (std::size_t i = 0; i < size; ++i) {
        const unsigned char c = utf8[i];
        if ((c < 0x20 && c != '\t') || c == 0x7F)
            return true;
        // U+0080 to U+009F: C2 80 to C2 9F.
        if (c == 0xC2 && i + 1 < size && utf8[i + 1] <= 0x9F)
            return true;
    }
    return false;
}

// The bytes through iconv from `from` to `to`; false when any is not converted.
bool Convert(const char* from, const char* to, const char* bytes, std::size_t size, GrowingText& out)
{
    const iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    char chunk[4 * 1024];
    char* in = const_cast<char*>(bytes);
    std::size_t inLeft = size;
    bool ok = true;
    while (inLeft > 0 && ok) {
        char* o = chunk;
        std::size_t oLeft = sizeof chunk;
        const std::size_t done = iconv(cd, &in, &inLeft, &o, &oLeft);
        out.Append(chunk, sizeof chunk - oLeft);
        ok = done != static_cast<std::size_t>(-1) || errno == E2BIG;
    }
    iconv_close(cd);
    return ok && inLeft == 0;
}

}  // namespace

bool AppendExactUtf8(GrowingText& out, const char* bytes, std::size_t size, unsigned codePage)
{
    GrowingText utf8;
    if (codePage == 65001) {
        std::size_t i = 0;
        while (i < size) {
            std::size_t skip = 0;
            const std::size_t length =
                ValidUtf8Length(reinterpret_cast<const unsigned char*>(bytes) + i, size - i, skip);
            if (length == 0)
                return false;
            i += length;
        }
        utf8.Append(bytes, size);
    } else if (codePage == 936) {
        GrowingText back;
        if (!Convert("GBK", "UTF-8", bytes, size, utf8) || !Convert("UTF-8", "GBK", utf8.data(), utf8.size(), back) ||
            back.size() != size || std::memcmp(back.data(), bytes, size) != 0)
            return false;
    } else {
        return false;
    }
    if (HasControl(reinterpret_cast<const unsigned char*>(utf8.data()), utf8.size()))
        return false;
    out.Append(utf8);
    return !out.failed();
}

unsigned ProcessCodePage()
{
    return 936;
}

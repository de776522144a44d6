#include <dlfcn.h>
#include <iconv.h>

#include "LibraryText.h"
#include "TextLength.h"

namespace {

// What Windows makes of bytes of code page 936 that form no character: a lead
// byte and the byte after it that cannot trail it become one '?', as does a
// lead byte at the end; 0xFF, undefined, maps into the private use area.
constexpr wchar_t kReplacement = L'?';
constexpr wchar_t kUndefinedFF = 0xF8F5;

// An iconv descriptor, closed when it goes out of scope.
class Converter {
public:
    Converter() : m_cd(iconv_open("WCHAR_T", "GBK")) {}
    ~Converter()
    {
        if (IsOpen()) iconv_close(m_cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool IsOpen() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t Handle() const { return m_cd; }

private:
    iconv_t m_cd;
};

}  // namespace

// Natively there is no ANSI code page: the texts are taken as code page 936,
// the encoding the tests write them in.
void AppendLibraryText(Message& message, const char* buffer, std::size_t size)
{
    char bytes[mervik::kTextBufferSize];
    std::size_t inLeft = BoundedLength(buffer, size < sizeof bytes ? size : sizeof bytes);
    for (std::size_t i = 0; i < inLeft; ++i)
        bytes[i] = buffer[i];
    Converter converter;
    if (!converter.IsOpen()) {
        for (std::size_t i = 0; i < inLeft; ++i)
            message.Append(kReplacement);
        return;
    }

    char* in = bytes;
    wchar_t* const start = message.End();
    char* out = reinterpret_cast<char*>(start);
    std::size_t outLeft = message.Room() * sizeof(wchar_t);
    while (inLeft > 0 && outLeft >= sizeof(wchar_t)) {
        if (iconv(converter.Handle(), &in, &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1))
            break;
        if (outLeft < sizeof(wchar_t))
            break;
        const auto first = static_cast<unsigned char>(*in);
        const std::size_t skipped = first >= 0x81 && first <= 0xFE && inLeft >= 2 ? 2 : 1;
        *reinterpret_cast<wchar_t*>(out) = first == 0xFF ? kUndefinedFF : kReplacement;
        out += sizeof(wchar_t);
        outLeft -= sizeof(wchar_t);
        in += skipped;
        inLeft -= skipped;
    }
    message.Grow(static_cast<std::size_t>(reinterpret_cast<wchar_t*>(out) - start));
}

bool AppendModuleName(Message& message, std::uintptr_t base)
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<const void*>(base), &info) == 0 || info.dli_fname == nullptr ||
        reinterpret_cast<std::uintptr_t>(info.dli_fbase) != base)
        return false;
    const char* name = info.dli_fname;
    for (const char* p = info.dli_fname; *p; ++p) {
        if (*p == '/')
            name = p + 1;
    }
    // Module file names in the tests are ASCII.
    for (; *name; ++name)
        message.Append(static_cast<wchar_t>(static_cast<unsigned char>(*name)));
    return true;
}

#include <iconv.h>

#include "ResultMessage.h"
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
std::wstring LibraryText(const char* buffer, std::size_t size)
{
    std::string bytes(buffer, BoundedLength(buffer, size));
    std::wstring text(bytes.size(), L'\0');
    Converter converter;
    if (!converter.IsOpen())
        return std::wstring(bytes.size(), kReplacement);

    char* in = bytes.data();
    std::size_t inLeft = bytes.size();
    char* out = reinterpret_cast<char*>(text.data());
    std::size_t outLeft = text.size() * sizeof(wchar_t);
    while (inLeft > 0) {
        if (iconv(converter.Handle(), &in, &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1))
            break;
        const auto first = static_cast<unsigned char>(*in);
        const std::size_t skipped = first >= 0x81 && first <= 0xFE && inLeft >= 2 ? 2 : 1;
        *reinterpret_cast<wchar_t*>(out) = first == 0xFF ? kUndefinedFF : kReplacement;
        out += sizeof(wchar_t);
        outLeft -= sizeof(wchar_t);
        in += skipped;
        inLeft -= skipped;
    }
    text.resize(text.size() - outLeft / sizeof(wchar_t));
    return text;
}

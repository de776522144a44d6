#include "Utf8.h"

#include "LibraryText.h"
#include "ResultMessage.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendCodePoint(std::string& out, char32_t c)
{
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        c = kReplacement;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

void AppendUtf8(std::string& out, const wchar_t* text, std::size_t length)
{
    for (std::size_t i = 0; i < length; ++i) {
        auto c = static_cast<char32_t>(text[i]);
        if constexpr (sizeof(wchar_t) == 2) {
            c &= 0xFFFF;
            if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length) {
                const auto low = static_cast<char32_t>(text[i + 1]) & 0xFFFF;
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                    ++i;
                }
            }
        }
        AppendCodePoint(out, c);
    }
}

std::string Utf8FromWide(const wchar_t* text)
{
    std::size_t length = 0;
    while (text[length] != 0)
        ++length;
    std::string out;
    AppendUtf8(out, text, length);
    return out;
}

std::string LibraryTextUtf8(const char* buffer, std::size_t size)
{
    Message decoded;
    AppendLibraryText(decoded, buffer, size);
    std::string out;
    AppendUtf8(out, decoded.c_str(), decoded.size());
    return out;
}

void AppendValidUtf8(std::string& out, const std::string& text)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    std::size_t i = 0;
    while (i < size) {
        const unsigned char lead = bytes[i];
        if (lead < 0x80) {
            out += static_cast<char>(lead);
            ++i;
            continue;
        }
        std::size_t length = 0;
        char32_t c = 0, least = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2, c = lead & 0x1Fu, least = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3, c = lead & 0x0Fu, least = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4, c = lead & 0x07u, least = 0x10000;
        }
        std::size_t taken = 1;
        while (length != 0 && taken < length && i + taken < size && (bytes[i + taken] & 0xC0) == 0x80) {
            c = (c << 6) | (bytes[i + taken] & 0x3Fu);
            ++taken;
        }
        if (length == 0 || taken < length || c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            // One replacement per maximal bad prefix, as decoders usually do.
            AppendCodePoint(out, kReplacement);
            i += length == 0 ? 1 : taken;
            continue;
        }
        out.append(text, i, length);
        i += length;
    }
}

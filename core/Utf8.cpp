#include "Utf8.h"

std::size_t EncodeUtf8(char32_t c, char (&bytes)[4])
{
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        c = 0xFFFD;
    if (c < 0x80) {
        bytes[0] = static_cast<char>(c);
        return 1;
    }
    if (c < 0x800) {
        bytes[0] = static_cast<char>(0xC0 | (c >> 6));
        bytes[1] = static_cast<char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        bytes[0] = static_cast<char>(0xE0 | (c >> 12));
        bytes[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        bytes[2] = static_cast<char>(0x80 | (c & 0x3F));
        return 3;
    }
    bytes[0] = static_cast<char>(0xF0 | (c >> 18));
    bytes[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    bytes[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    bytes[3] = static_cast<char>(0x80 | (c & 0x3F));
    return 4;
}

std::size_t ValidUtf8Length(const unsigned char* text, std::size_t size, std::size_t& skip)
{
    const unsigned char lead = text[0];
    if (lead < 0x80)
        return 1;
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
    while (length != 0 && taken < length && taken < size && (text[taken] & 0xC0) == 0x80) {
        c = (c << 6) | (text[taken] & 0x3Fu);
        ++taken;
    }
    if (length == 0 || taken < length || c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        skip = length == 0 ? 1 : taken;
        return 0;
    }
    return length;
}

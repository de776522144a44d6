#include "Base64.h"

namespace standin {

std::string EncodeBase64(const unsigned char* data, std::size_t size)
{
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((size + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= size; i += 3) {
        const unsigned group = (data[i] << 16) | (data[i + 1] << 8) | data[i + 2];
        out += kAlphabet[group >> 18];
        out += kAlphabet[(group >> 12) & 63];
        out += kAlphabet[(group >> 6) & 63];
        out += kAlphabet[group & 63];
    }
    if (size - i == 1) {
        const unsigned group = data[i] << 16;
        out += kAlphabet[group >> 18];
        out += kAlphabet[(group >> 12) & 63];
        out += "==";
    } else if (size - i == 2) {
        const unsigned group = (data[i] << 16) | (data[i + 1] << 8);
        out += kAlphabet[group >> 18];
        out += kAlphabet[(group >> 12) & 63];
        out += kAlphabet[(group >> 6) & 63];
        out += '=';
    }
    return out;
}

std::string EncodeBase64(const std::string& bytes)
{
    return EncodeBase64(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

}  // namespace standin

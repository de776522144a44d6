// Base64 encoding (standard alphabet, "=" padding) of the photos the benchmarks
// decode.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

inline std::string EncodeBase64(const std::vector<unsigned char>& bytes)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::uint32_t b1 = i + 1 < bytes.size() ? bytes[i + 1] : 0u;
        const std::uint32_t b2 = i + 2 < bytes.size() ? bytes[i + 2] : 0u;
        const std::uint32_t word = (std::uint32_t{bytes[i]} << 16) | (b1 << 8) | b2;
        text += alphabet[word >> 18];
        text += alphabet[(word >> 12) & 63];
        text += i + 1 < bytes.size() ? alphabet[(word >> 6) & 63] : '=';
        text += i + 2 < bytes.size() ? alphabet[word & 63] : '=';
    }
    return text;
}

// Expected texts are written in UTF-8 in the tests and converted to code page 936
// here, independently of the compiler's execution character set.
#pragma once

#include <string>

#ifdef _WIN32
#include <windows.h>

inline std::string Gbk(const char* utf8)
{
    const int wideLength = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    std::wstring wide(wideLength, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide.data(), wideLength);
    const int length = WideCharToMultiByte(936, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string result(length, '\0');
    WideCharToMultiByte(936, 0, wide.c_str(), -1, result.data(), length, nullptr, nullptr);
    result.resize(length - 1);
    return result;
}
#else
#include <iconv.h>

#include <cstring>
#include <stdexcept>

inline std::string Gbk(const char* utf8)
{
    iconv_t cd = iconv_open("GBK", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw std::runtime_error("iconv_open");
    std::string in(utf8);
    std::string out(in.size() * 2 + 1, '\0');
    char* inPtr = in.data();
    char* outPtr = out.data();
    std::size_t inLeft = in.size();
    std::size_t outLeft = out.size();
    const std::size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (rc == static_cast<std::size_t>(-1))
        throw std::runtime_error("iconv");
    out.resize(out.size() - outLeft);
    return out;
}
#endif

// How the commands turn a reader's answer into the text the operator sees.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The text a library wrote into `buffer`: up to its NUL, and never past `size`
// bytes even if the library left it unterminated.
std::string TextFromBuffer(const char* buffer, std::size_t size);

// prefix + library text + " 错误码：" + code in signed decimal.
std::string FailureMessage(const char* prefix, const char* libraryText, std::size_t bufferSize,
                           std::int32_t code);

// library text + " 状态码：" + code in signed decimal.
std::string StatusMessage(const char* libraryText, std::size_t bufferSize, std::int32_t code);

// The port typed by the operator, read as atoi does (leading white space, an
// optional sign, digits up to the first other character; 0 when there are none),
// except that a number outside the 32-bit range saturates to its nearer end.
std::int32_t ParsePort(const std::string& text);

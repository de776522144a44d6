// How the commands turn a reader's answer into the text the operator sees.
//
// Zantor's own texts are wide (UTF-16 on Windows), so they read the same on
// every code page. The library's texts are narrow, in the process's ANSI code
// page: each is decoded on its own before it joins a message, so a broken last
// character stays within the library's text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

#include "Reader.h"

// The bytes a library wrote into `buffer`: up to its NUL, and never past `size`
// bytes even if the library left it unterminated.
std::string TextFromBuffer(const char* buffer, std::size_t size);

// The same text as characters, decoded from the ANSI code page as the narrow
// Windows functions decode it (natively, where there is none, as code page 936).
// Bytes that form no character are replaced within the library's text, so they
// never take a character of Zantor's with them.
std::wstring LibraryText(const char* buffer, std::size_t size);

// `value` in signed decimal: a minus sign when negative, no leading zeros.
std::string Decimal(std::int64_t value);

// prefix + library text + " 错误码：" + code in signed decimal.
std::wstring FailureMessage(const wchar_t* prefix, const char* libraryText, std::size_t bufferSize,
                            std::int32_t code);

// library text + " 状态码：" + code in signed decimal.
std::wstring StatusMessage(const char* libraryText, std::size_t bufferSize, std::int32_t code);

// A buffer the console handed to the library for one call.
struct LibraryBuffer {
    const char* data;
    std::size_t size;
};

// The message for a call of `operation` that raised instead of returning: a
// write into the page just past one of `buffers` is an overrun of that buffer,
// anything else is named by its exception code and address.
std::wstring FaultMessage(const wchar_t* operation, const CallOutcome& outcome,
                          std::initializer_list<LibraryBuffer> buffers);

// The port typed by the operator, read as atoi does (leading white space, an
// optional sign, digits up to the first other character; 0 when there are none),
// except that a number outside the 32-bit range saturates to its nearer end.
std::int32_t ParsePort(const std::string& text);

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

#include "Buffers.h"
#include "Message.h"
#include "Mervik.h"
#include "Reader.h"

// Shown when a buffer for the library or the photo cannot be had.
inline constexpr wchar_t kNoMemoryMessage[] = L"无法分配足够的内存空间";

// A library text as a form's box receives it: the buffer's bytes and a NUL.
using BoxText = NarrowText<mervik::kTextBufferSize + 1>;

// The bytes a library wrote into `buffer`: up to its NUL, and never past `size`
// bytes even if the library left it unterminated (at most 1024).
BoxText TextFromBuffer(const char* buffer, std::size_t size);

// prefix + library text + " 错误码：" + code in signed decimal.
Message FailureMessage(const wchar_t* prefix, const char* libraryText, std::size_t bufferSize, std::int32_t code);

// library text + " 状态码：" + code in signed decimal.
Message StatusMessage(const char* libraryText, std::size_t bufferSize, std::int32_t code);

// The message for a call of `operation` that raised instead of returning: a
// write into the guard just past one of `buffers` is an overrun of that buffer,
// anything else is named by its exception code and address, as module+offset
// when the address lies in a loaded module. A software exception placed at its
// return address into the library names where it was raised after it:
// "（地址 Mervik.dll+0x1A2B，引发于 KERNELBASE.dll+0x3C4D）".
Message FaultMessage(const wchar_t* operation, const CallOutcome& outcome,
                     std::initializer_list<LibraryBuffer> buffers);

// The port typed by the operator, read as atoi does (leading white space, an
// optional sign, digits up to the first other character; 0 when there are none),
// except that a number outside the 32-bit range saturates to its nearer end.
std::int32_t ParsePort(const char* text);

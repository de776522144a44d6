// The text of one message the console shows, built in a fixed buffer.
#pragma once

#include <cstddef>

#include "BoundedText.h"
#include "Mervik.h"

// Every message fits: the longest is the failure form with the longest prefix,
// "信息读取失败！" (7 characters), a library text of 1023 bytes (no code page
// decodes a byte to more than one UTF-16 unit), " 错误码：" (5), "-2147483648"
// (11) and the NUL. A fault message is shorter: its two module names (where the
// fault is placed, and where a software exception was raised) are file names of
// at most 255 characters each. After it come the notes of the calling-contract rules
// the command's calls broke (ContractNotes.h), within their own share.
constexpr std::size_t kNotesCapacity = 4096;
constexpr std::size_t kMessageCapacity = 7 + (mervik::kTextBufferSize - 1) + 5 + 11 + 1 + kNotesCapacity;
using Message = WideText<kMessageCapacity>;

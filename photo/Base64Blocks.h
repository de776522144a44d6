// Internal to the decoder (Base64.cpp, Base64Simd.cpp): the block decoders that
// the levels are made of. Every function decodes whole groups of four characters
// from the start of `in` into `out`; none looks at padding or length, which
// DecodeBase64At has checked.
#pragma once

#include <cstddef>

namespace base64_blocks {

// The table decoder for `groups` groups. Writes 3 * groups + 1 bytes: each group
// is stored as four bytes whose last one the next group overwrites.
void DecodeGroupsTable(const unsigned char* in, std::size_t groups, unsigned char* out);

#if defined(__x86_64__) || defined(__i386__)
#define ZANTOR_BASE64_X86 1

// Vector decoders: decode blocks from the start while a whole block lies within
// the first `groups` groups and every byte the block's store touches lies within
// the first `room` bytes of `out`; return the number of groups decoded (a
// multiple of the block size). A block with a byte outside the alphabet ("="
// included) is decoded by DecodeGroupsTable. Call only when the processor has
// the instruction set.
std::size_t DecodeBlocksSsse3(const unsigned char* in, std::size_t groups, std::size_t room, unsigned char* out);
std::size_t DecodeBlocksAvx2(const unsigned char* in, std::size_t groups, std::size_t room, unsigned char* out);
#endif

} // namespace base64_blocks

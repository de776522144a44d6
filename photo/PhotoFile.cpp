#include "PhotoFile.h"

#include <algorithm>
#include <cstdint>

#include "Base64.h"
#include "OutputFile.h"

PhotoResult SavePhoto(const char* text, std::size_t length, const Allocator& heap)
{
    // A length beyond 32 bits is no photo: clamped to 2^32 - 1, which is no
    // multiple of 4, the decoder refuses it like any text of the wrong shape.
    const auto clamped = static_cast<std::uint32_t>(std::min<std::uint64_t>(length, UINT32_MAX));
    // As much as this text can decode to, and a byte, so that no block is
    // empty: 76,801 bytes for the largest photo text, not the 102,400 the
    // decoder may write at most.
    OwnedBlock decoded(DecodedCapacity(clamped) + std::size_t{1}, heap);
    if (!decoded)
        return PhotoResult::kNoMemory;
    const std::uint32_t size = DecodeBase64(clamped, text, decoded.bytes());

    OutputFile file("zp.jpg");
    if (!file.IsOpen())
        return PhotoResult::kCannotOpen;
    bool written = size == 0 || file.Write(decoded.bytes(), size);
    // A close that fails may have lost buffered data: that is a failed write too.
    if (!file.Close()) written = false;
    return written ? PhotoResult::kSaved : PhotoResult::kWriteFailed;
}

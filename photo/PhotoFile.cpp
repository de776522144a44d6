#include "PhotoFile.h"

#include <cstring>

#include "Base64.h"
#include "OutputFile.h"

void SavePhoto(const char* text, MessageOwner& owner, const Allocator& heap)
{
    HeapBuffer decoded(kMaxDecodedSize, heap);
    if (!decoded) {
        owner.ShowMessage("无法分配足够的内存空间");
        return;
    }

    // A reader that left the buffer unterminated is not read past it.
    const void* nul = std::memchr(text, '\0', kPhotoTextSize);
    const std::size_t length = nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - text)
                                   : kPhotoTextSize;
    const std::uint32_t size = DecodeBase64(static_cast<std::uint32_t>(length), text, decoded.bytes());

    OutputFile file("zp.jpg");
    if (!file.IsOpen()) {
        owner.ShowMessage("无法打开文件");
        return;
    }
    bool written = size == 0 || file.Write(decoded.bytes(), size);
    // A close that fails may have lost buffered data: that is a failed write too.
    if (!file.Close()) written = false;
    if (!written) owner.ShowMessage("写入文件失败");
}

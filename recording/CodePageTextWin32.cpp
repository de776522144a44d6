#include <windows.h>

#include <cstring>

#include "CodePageText.h"
#include "Mervik.h"
#include "Utf8.h"

namespace {

// Characters no text of the recording may hold as such: C0 controls but the tab,
// DEL, and the C1 controls (what 1252 makes of its undefined bytes).
bool IsControl(wchar_t c)
{
    return (c < 0x20 && c != L'\t') || (c >= 0x7F && c <= 0x9F);
}

}  // namespace

bool AppendExactUtf8(GrowingText& out, const char* bytes, std::size_t size, unsigned codePage)
{
    // The longest buffer the library fills; one program thread uses them.
    static wchar_t wide[mervik::kPhotoTextBufferSize];
    static char back[mervik::kPhotoTextBufferSize];
    if (size == 0)
        return true;
    if (size > mervik::kPhotoTextBufferSize)
        return false;
    const int count = static_cast<int>(size);
    const int units = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes, count, wide,
                                          static_cast<int>(mervik::kPhotoTextBufferSize));
    if (units <= 0)
        return false;
    for (int i = 0; i < units; ++i) {
        if (IsControl(wide[i]))
            return false;
    }
    const int again = WideCharToMultiByte(codePage, 0, wide, units, back, count, nullptr, nullptr);
    if (again != count || std::memcmp(back, bytes, size) != 0)
        return false;
    AppendUtf8(out, wide, static_cast<std::size_t>(units));
    return !out.failed();
}

unsigned ProcessCodePage()
{
    return GetACP();
}

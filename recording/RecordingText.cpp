#include "RecordingText.h"

#include "LibraryText.h"
#include "Utf8.h"

namespace {

void AppendWideUtf8(GrowingText& out, const wchar_t* text)
{
    AppendUtf8(out, text);
}

}  // namespace

void AppendRecordingHeader(GrowingText& out, const RecordingHeader& header)
{
    const bool anonymized = header.anonymized;
    out.AppendFormat("%s%s%s%s[Recording]\r\nformat=zantor-recording 1\r\nzantor=%s %u-bit\r\nlibrary=",
                     u8"; Zantor 录制的读卡器库会话，同时是模拟读卡器 Mervik.dll 的脚本，可回放。\r\n"
                     u8"; 警告：其中有读卡器库返回的每个字节，包括身份证上的个人信息（姓名、号码、住址、照片），",
                     anonymized ? u8"已以 /anonymize 替换。\r\n" : u8"未经替换。\r\n",
                     "; A Zantor recording of a reader library session, and a stand-in script that replays it.\r\n"
                     "; WARNING: it holds every byte the library returned, including the personal data on an identity\r\n",
                     anonymized ? "; card (name, number, address, photo), here replaced (/anonymize).\r\n"
                                : "; card (name, number, address, photo). Treat it as you would the card itself.\r\n",
                     header.zantorVersion, header.bits);
    const LibraryIdentity* library = header.library;
    if (library && library->found)
        AppendWideUtf8(out, library->path);
    out.Append("\r\nversion=");
    WideText<32> version;
    NarrowText<65> sha;
    if (library) {
        AppendVersion(version, *library);
        AppendUtf8(out, version.c_str(), version.size());
        AppendSha256(sha, *library);
    }
    out.AppendFormat("\r\nsha256=%s\r\ndate=%.*s\r\ncodepage=%u\r\nanonymized=%s\r\n", sha.c_str(),
                     static_cast<int>(kLogTimeSeconds), LogTimeString(header.date).c_str(), header.codePage,
                     anonymized ? "yes" : "no");
}

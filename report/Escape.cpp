#include "Escape.h"

#include "Decimal.h"
#include "Utf8.h"

void AppendHtmlEscaped(GrowingText& out, const char* text, std::size_t size)
{
    ForEachValidUtf8(text, size, [&out](const char* bytes, std::size_t count) {
        if (count > 1) {
            out.Append(bytes, count);
            return;
        }
        const char c = bytes[0];
        switch (c) {
        case '&': out.Append("&amp;"); break;
        case '<': out.Append("&lt;"); break;
        case '>': out.Append("&gt;"); break;
        case '"': out.Append("&quot;"); break;
        case '\'': out.Append("&#39;"); break;
        case '\t':
        case '\n': out.Append(c); break;
        default:
            if ((static_cast<unsigned char>(c) < 0x20) || c == 0x7F)
                out.Append("\xEF\xBF\xBD");
            else
                out.Append(c);
        }
    });
}

void AppendJsonEscaped(GrowingText& out, const char* text, std::size_t size)
{
    ForEachValidUtf8(text, size, [&out](const char* bytes, std::size_t count) {
        const char c = bytes[0];
        const auto byte = static_cast<unsigned char>(c);
        if (count > 1) {
            out.Append(bytes, count);
        } else if (c == '"' || c == '\\') {
            out.Append('\\').Append(c);
        } else if (byte < 0x20) {
            out.Append("\\u00").Append(decimal::kHexDigits[byte >> 4]).Append(decimal::kHexDigits[byte & 0xF]);
        } else {
            out.Append(c);
        }
    });
}

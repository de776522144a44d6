#include "Escape.h"

#include "Utf8.h"

void AppendHtmlEscaped(std::string& out, const std::string& text)
{
    std::string valid;
    AppendValidUtf8(valid, text);
    for (const char c : valid) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        case '\t':
        case '\n': out += c; break;
        default:
            if ((static_cast<unsigned char>(c) < 0x20) || c == 0x7F)
                out += "\xEF\xBF\xBD";
            else
                out += c;
        }
    }
}

void AppendJsonEscaped(std::string& out, const std::string& text)
{
    std::string valid;
    AppendValidUtf8(valid, text);
    for (const char c : valid) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            out += "\\u00";
            out += "0123456789abcdef"[byte >> 4];
            out += "0123456789abcdef"[byte & 0xF];
        } else {
            out += c;
        }
    }
}

#include "LibraryIdentity.h"

void AppendVersion(WideText<32>& text, const LibraryIdentity& identity)
{
    if (!identity.versioned)
        return;
    for (int i = 0; i < 4; ++i) {
        if (i > 0)
            text.Append(L'.');
        text.AppendDecimal(identity.version[i]);
    }
}

void AppendSha256(NarrowText<65>& text, const LibraryIdentity& identity)
{
    if (!identity.hashed)
        return;
    for (unsigned char byte : identity.sha256) {
        text.Append("0123456789abcdef"[byte >> 4]);
        text.Append("0123456789abcdef"[byte & 15]);
    }
}

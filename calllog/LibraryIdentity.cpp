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
    char digits[65];
    FormatSha256(identity.sha256, digits);
    text.Append(digits);
}

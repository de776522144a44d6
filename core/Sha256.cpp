#include "Sha256.h"

bool ComputeSha256(const void* data, std::size_t size, Sha256Digest& digest)
{
    Sha256 hash;
    return hash.Add(data, size) && hash.Finish(digest);
}

void FormatSha256(const Sha256Digest& digest, char (&text)[65])
{
    for (int i = 0; i < 32; ++i) {
        text[2 * i] = "0123456789abcdef"[digest.bytes[i] >> 4];
        text[2 * i + 1] = "0123456789abcdef"[digest.bytes[i] & 0xF];
    }
    text[64] = 0;
}

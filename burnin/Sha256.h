// SHA-256 from the platform: BCrypt on Windows, OpenSSL natively.
#pragma once

#include <cstddef>

struct Sha256Digest {
    unsigned char bytes[32] = {};
};

// Hashes `size` bytes at `data` into `digest`; false when the platform's hash failed.
bool ComputeSha256(const void* data, std::size_t size, Sha256Digest& digest);

// The digest as 64 lower-case hexadecimal digits and a NUL.
void FormatSha256(const Sha256Digest& digest, char (&text)[65]);

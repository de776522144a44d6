// SHA-256 from the platform: BCrypt on Windows, OpenSSL natively (for the tests).
// It hashes the library's file for its identity and the burn-in's photo texts.
#pragma once

#include <cstddef>

struct Sha256Digest {
    unsigned char bytes[32] = {};
};

// A hash fed in pieces; the platform's state is released with it.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    // Feeds `size` bytes at `data`; false once the platform has failed.
    bool Add(const void* data, std::size_t size);
    // The digest of everything fed; false when the platform failed.
    bool Finish(Sha256Digest& digest);

private:
    void* m_state = nullptr;      // Windows: the hash object; natively: the digest context
    bool m_ok = false;
};

// Hashes `size` bytes at `data` into `digest`; false when the platform's hash failed.
bool ComputeSha256(const void* data, std::size_t size, Sha256Digest& digest);

// The digest as 64 lower-case hexadecimal digits and a NUL.
void FormatSha256(const Sha256Digest& digest, char (&text)[65]);

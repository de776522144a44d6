#include <openssl/sha.h>

#include "Sha256.h"

bool ComputeSha256(const void* data, std::size_t size, Sha256Digest& digest)
{
    return SHA256(static_cast<const unsigned char*>(data), size, digest.bytes) != nullptr;
}

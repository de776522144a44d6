#include <windows.h>
#include <bcrypt.h>

#include "Sha256.h"

// The provider is opened per hash: the library is hashed once, a burn-in's photo
// once a cycle, and the open costs little beside a 100 KB hash. No object buffer:
// the provider keeps the hash's state itself (Windows 7 on).
Sha256::Sha256()
{
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0)
        return;
    m_algorithm = algorithm;
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) < 0)
        return;
    m_state = hash;
    m_ok = true;
}

Sha256::~Sha256()
{
    if (m_state != nullptr)
        BCryptDestroyHash(m_state);
    if (m_algorithm != nullptr)
        BCryptCloseAlgorithmProvider(m_algorithm, 0);
}

bool Sha256::Add(const void* data, std::size_t size)
{
    // BCryptHashData takes at most 4 GB at a time.
    auto bytes = static_cast<PUCHAR>(const_cast<void*>(data));
    while (m_ok && size > 0) {
        const ULONG chunk = size > 0x40000000u ? 0x40000000u : static_cast<ULONG>(size);
        m_ok = BCryptHashData(m_state, bytes, chunk, 0) >= 0;
        bytes += chunk;
        size -= chunk;
    }
    return m_ok;
}

bool Sha256::Finish(Sha256Digest& digest)
{
    m_ok = m_ok && BCryptFinishHash(m_state, digest.bytes, sizeof digest.bytes, 0) >= 0;
    return m_ok;
}

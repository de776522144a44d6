#include <windows.h>
#include <bcrypt.h>

#include "Sha256.h"

namespace {

// The SHA-256 provider, opened at the first hash and kept for the process's life
// (a burn-in hashes a photo every cycle), closed at exit. Null when the system
// has none; every hash then fails.
class Provider {
public:
    Provider()
    {
        if (BCryptOpenAlgorithmProvider(&m_handle, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0)
            m_handle = nullptr;
    }
    ~Provider()
    {
        if (m_handle != nullptr)
            BCryptCloseAlgorithmProvider(m_handle, 0);
    }
    Provider(const Provider&) = delete;
    Provider& operator=(const Provider&) = delete;
    BCRYPT_ALG_HANDLE Get() const { return m_handle; }

private:
    BCRYPT_ALG_HANDLE m_handle = nullptr;
};

BCRYPT_ALG_HANDLE Sha256Provider()
{
    static const Provider provider;
    return provider.Get();
}

}  // namespace

// No object buffer: the provider keeps each hash's state itself (Windows 7 on).
Sha256::Sha256()
{
    BCRYPT_HASH_HANDLE hash = nullptr;
    const BCRYPT_ALG_HANDLE algorithm = Sha256Provider();
    if (algorithm == nullptr || BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) < 0)
        return;
    m_state = hash;
    m_ok = true;
}

Sha256::~Sha256()
{
    if (m_state != nullptr)
        BCryptDestroyHash(m_state);
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

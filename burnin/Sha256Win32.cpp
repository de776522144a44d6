#include <windows.h>
#include <bcrypt.h>

#include "Sha256.h"

namespace {

class AlgorithmProvider {
public:
    AlgorithmProvider() : m_ok(BCryptOpenAlgorithmProvider(&m_handle, BCRYPT_SHA256_ALGORITHM, nullptr, 0) >= 0) {}
    ~AlgorithmProvider()
    {
        if (m_ok) BCryptCloseAlgorithmProvider(m_handle, 0);
    }
    AlgorithmProvider(const AlgorithmProvider&) = delete;
    AlgorithmProvider& operator=(const AlgorithmProvider&) = delete;
    bool ok() const { return m_ok; }
    BCRYPT_ALG_HANDLE handle() const { return m_handle; }

private:
    BCRYPT_ALG_HANDLE m_handle = nullptr;
    bool m_ok;
};

class HashObject {
public:
    explicit HashObject(BCRYPT_ALG_HANDLE algorithm)
        : m_ok(BCryptCreateHash(algorithm, &m_handle, nullptr, 0, nullptr, 0, 0) >= 0) {}
    ~HashObject()
    {
        if (m_ok) BCryptDestroyHash(m_handle);
    }
    HashObject(const HashObject&) = delete;
    HashObject& operator=(const HashObject&) = delete;
    bool ok() const { return m_ok; }
    BCRYPT_HASH_HANDLE handle() const { return m_handle; }

private:
    BCRYPT_HASH_HANDLE m_handle = nullptr;
    bool m_ok;
};

}  // namespace

bool ComputeSha256(const void* data, std::size_t size, Sha256Digest& digest)
{
    // The provider is opened per hash: a burn-in hashes one photo per cycle, and
    // the open costs little beside a 100 KB hash.
    AlgorithmProvider provider;
    if (!provider.ok())
        return false;
    HashObject hash(provider.handle());
    if (!hash.ok())
        return false;
    // BCryptHashData takes at most 4 GB at a time.
    auto bytes = static_cast<PUCHAR>(const_cast<void*>(data));
    while (size > 0) {
        const ULONG chunk = size > 0x40000000u ? 0x40000000u : static_cast<ULONG>(size);
        if (BCryptHashData(hash.handle(), bytes, chunk, 0) < 0)
            return false;
        bytes += chunk;
        size -= chunk;
    }
    return BCryptFinishHash(hash.handle(), digest.bytes, sizeof digest.bytes, 0) >= 0;
}

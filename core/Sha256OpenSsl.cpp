#include <openssl/evp.h>

#include "Sha256.h"

Sha256::Sha256()
{
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    m_state = context;
    m_ok = context != nullptr && EVP_DigestInit_ex(context, EVP_sha256(), nullptr) == 1;
}

Sha256::~Sha256()
{
    EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(m_state));
}

bool Sha256::Add(const void* data, std::size_t size)
{
    m_ok = m_ok && EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(m_state), data, size) == 1;
    return m_ok;
}

bool Sha256::Finish(Sha256Digest& digest)
{
    m_ok = m_ok && EVP_DigestFinal_ex(static_cast<EVP_MD_CTX*>(m_state), digest.bytes, nullptr) == 1;
    return m_ok;
}

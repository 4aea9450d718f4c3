#include "textfile/sha256.h"

#include <cstdlib>

#if defined(_WIN32)
#include <windows.h>

#include <bcrypt.h>

// A digest that cannot be computed would make a record that lies: stop instead.
struct CSha256::State {
    BCRYPT_ALG_HANDLE alg = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;

    State()
    {
        if (BCryptOpenAlgorithmProvider(&alg, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0 ||
            BCryptCreateHash(alg, &hash, nullptr, 0, nullptr, 0, 0) < 0)
            std::abort();
    }
    ~State()
    {
        if (hash != nullptr)
            BCryptDestroyHash(hash);
        if (alg != nullptr)
            BCryptCloseAlgorithmProvider(alg, 0);
    }
    void Update(const unsigned char* data, std::size_t size)
    {
        // BCrypt takes at most 4 GiB a call.
        while (size > 0) {
            const ULONG piece = size > 0x40000000 ? 0x40000000 : static_cast<ULONG>(size);
            if (BCryptHashData(hash, const_cast<PUCHAR>(data), piece, 0) < 0)
                std::abort();
            data += piece;
            size -= piece;
        }
    }
    void Final(Digest& digest)
    {
        if (BCryptFinishHash(hash, digest.data(), static_cast<ULONG>(digest.size()), 0) < 0)
            std::abort();
    }
};
#else
#include <openssl/evp.h>

// A digest that cannot be computed would make a record that lies: stop instead.
struct CSha256::State {
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();

    State()
    {
        if (ctx == nullptr || EVP_DigestInit_ex(ctx, EVP_sha256(), nullptr) != 1)
            std::abort();
    }
    ~State() { EVP_MD_CTX_free(ctx); }
    void Update(const unsigned char* data, std::size_t size)
    {
        if (EVP_DigestUpdate(ctx, data, size) != 1)
            std::abort();
    }
    void Final(Digest& digest)
    {
        unsigned int length = 0;
        if (EVP_DigestFinal_ex(ctx, digest.data(), &length) != 1 || length != digest.size())
            std::abort();
    }
};
#endif

CSha256::CSha256() : m_pState(std::make_unique<State>())
{
}

CSha256::~CSha256() = default;

void CSha256::Update(const void* data, std::size_t size)
{
    if (size > 0)
        m_pState->Update(static_cast<const unsigned char*>(data), size);
}

CSha256::Digest CSha256::Final()
{
    Digest digest{};
    m_pState->Final(digest);
    return digest;
}

std::string CSha256::Hex(const Digest& digest)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(2 * digest.size());
    for (const unsigned char b : digest) {
        out.push_back(kHex[b >> 4]);
        out.push_back(kHex[b & 15]);
    }
    return out;
}

CSha256::Digest CSha256::Of(const void* data, std::size_t size)
{
    CSha256 sha;
    sha.Update(data, size);
    return sha.Final();
}

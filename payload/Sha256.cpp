#include "payload/Sha256.h"

#include <bcrypt.h>

namespace {

bool Succeeded(NTSTATUS status) { return status >= 0; }

class AlgorithmProvider {
public:
    AlgorithmProvider() {
        if (!Succeeded(BCryptOpenAlgorithmProvider(&m_handle, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
            m_handle = nullptr;
    }
    ~AlgorithmProvider() {
        if (m_handle) BCryptCloseAlgorithmProvider(m_handle, 0);
    }
    AlgorithmProvider(const AlgorithmProvider&) = delete;
    AlgorithmProvider& operator=(const AlgorithmProvider&) = delete;
    BCRYPT_ALG_HANDLE Get() const { return m_handle; }

private:
    BCRYPT_ALG_HANDLE m_handle = nullptr;
};

class HashObject {
public:
    explicit HashObject(BCRYPT_ALG_HANDLE algorithm) {
        // No object buffer: the provider allocates and frees its own (Windows 7 on).
        if (!algorithm || !Succeeded(BCryptCreateHash(algorithm, &m_handle, nullptr, 0, nullptr, 0, 0)))
            m_handle = nullptr;
    }
    ~HashObject() {
        if (m_handle) BCryptDestroyHash(m_handle);
    }
    HashObject(const HashObject&) = delete;
    HashObject& operator=(const HashObject&) = delete;
    BCRYPT_HASH_HANDLE Get() const { return m_handle; }

private:
    BCRYPT_HASH_HANDLE m_handle = nullptr;
};

// BCryptHashData takes a ULONG count; the payload is fed in pieces well below it.
constexpr size_t kPiece = 1u << 24;

} // namespace

bool Sha256(const unsigned char* data, size_t size, unsigned char (&out)[kSha256Size]) {
    AlgorithmProvider provider;
    HashObject hash(provider.Get());
    if (!hash.Get()) return false;
    for (size_t done = 0; done < size;) {
        size_t n = size - done < kPiece ? size - done : kPiece;
        if (!Succeeded(BCryptHashData(hash.Get(), const_cast<PUCHAR>(data + done), static_cast<ULONG>(n), 0)))
            return false;
        done += n;
    }
    return Succeeded(BCryptFinishHash(hash.Get(), out, kSha256Size, 0));
}

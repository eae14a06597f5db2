#pragma once

#include "foundation/LoadedLibrary.h"

#include <openssl/evp.h>

namespace tvi {

// libcrypto, loaded on first use: only an update's signature check needs it, and linking it
// costs every start about 1.4 MB of resident memory for its relocations alone.
class CryptoLibrary {
public:
    // The loaded library, or nullptr when it cannot be loaded.
    static const CryptoLibrary* shared();

    EVP_PKEY* (*pkey_new_raw_public_key)(int type, ENGINE* engine, const unsigned char* key, size_t length) = nullptr;
    void (*pkey_free)(EVP_PKEY* key) = nullptr;
    EVP_MD_CTX* (*md_ctx_new)() = nullptr;
    void (*md_ctx_free)(EVP_MD_CTX* context) = nullptr;
    int (*digest_verify_init)(EVP_MD_CTX* context, EVP_PKEY_CTX** pkeyContext, const EVP_MD* type, ENGINE* engine,
                              EVP_PKEY* key) = nullptr;
    int (*digest_verify)(EVP_MD_CTX* context, const unsigned char* signature, size_t signatureLength,
                         const unsigned char* data, size_t dataLength) = nullptr;

private:
    friend const CryptoLibrary* LoadedLibrary::shared<CryptoLibrary>();
    CryptoLibrary() = default;
    bool load();
};

}

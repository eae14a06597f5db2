#include "update/CryptoLibrary.h"

#include <openssl/opensslv.h>

#include <dlfcn.h>

#include <string>

namespace tvi {

namespace {

template <typename Function>
bool resolve(void* library, const char* name, Function& function)
{
    function = reinterpret_cast<Function>(dlsym(library, name));
    return function != nullptr;
}

}

const CryptoLibrary* CryptoLibrary::shared()
{
    // Loaded once and kept for the life of the process.
    static CryptoLibrary* library = [] {
        auto* candidate = new CryptoLibrary;
        if (candidate->load()) return candidate;
        delete candidate;
        return static_cast<CryptoLibrary*>(nullptr);
    }();
    return library;
}

bool CryptoLibrary::load()
{
    // The major version the headers are of: its library keeps their binary interface.
    const std::string name = "libcrypto.so." + std::to_string(OPENSSL_VERSION_MAJOR);
    void* library = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) return false;
    const bool complete = resolve(library, "EVP_PKEY_new_raw_public_key", pkey_new_raw_public_key) &&
                          resolve(library, "EVP_PKEY_free", pkey_free) &&
                          resolve(library, "EVP_MD_CTX_new", md_ctx_new) &&
                          resolve(library, "EVP_MD_CTX_free", md_ctx_free) &&
                          resolve(library, "EVP_DigestVerifyInit", digest_verify_init) &&
                          resolve(library, "EVP_DigestVerify", digest_verify);
    if (!complete) dlclose(library);
    return complete;
}

}

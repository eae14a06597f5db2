#include "update/CryptoLibrary.h"

#include <openssl/opensslv.h>

#include "foundation/LoadedLibrary.h"

#include <dlfcn.h>

#include <string>

namespace tvi {

using LoadedLibrary::resolve;

const CryptoLibrary* CryptoLibrary::shared() { return LoadedLibrary::shared<CryptoLibrary>(); }

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

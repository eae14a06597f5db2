#include "support/UpdateSigningKey.h"

#include <openssl/evp.h>

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

namespace tvi::test {

struct UpdateSigningKey::Pair {
    EVP_PKEY* key = nullptr;
    ~Pair() { EVP_PKEY_free(key); }
};

UpdateSigningKey::UpdateSigningKey() : pair_(std::make_unique<Pair>())
{
    pair_->key = EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519");
    unsigned char raw[32];
    std::size_t length = sizeof raw;
    if (!pair_->key || EVP_PKEY_get_raw_public_key(pair_->key, raw, &length) != 1)
        throw std::runtime_error("no Ed25519 key");
    publicKey_ = base64(std::string_view(reinterpret_cast<const char*>(raw), length));
}

UpdateSigningKey::~UpdateSigningKey() = default;

std::string UpdateSigningKey::sign(std::string_view data) const
{
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    unsigned char signature[64];
    std::size_t length = sizeof signature;
    if (EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, pair_->key) != 1 ||
        EVP_DigestSign(context.get(), signature, &length, reinterpret_cast<const unsigned char*>(data.data()),
                       data.size()) != 1)
        throw std::runtime_error("Ed25519 signing failed");
    return base64(std::string_view(reinterpret_cast<const char*>(signature), length));
}

std::string UpdateSigningKey::signFile(const std::string& path) const
{
    std::ifstream in(path, std::ios::binary);
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return sign(data);
}

std::string UpdateSigningKey::base64(std::string_view bytes)
{
    std::vector<unsigned char> out(4 * ((bytes.size() + 2) / 3) + 1);
    const int n = EVP_EncodeBlock(out.data(), reinterpret_cast<const unsigned char*>(bytes.data()),
                                  static_cast<int>(bytes.size()));
    return std::string(reinterpret_cast<const char*>(out.data()), static_cast<std::size_t>(n));
}

}

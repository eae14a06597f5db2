#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace tvi::test {

// A fresh Ed25519 key pair for signing test updates, as the maker signs releases: the public
// key and signatures in base64 (the forms the bundle and the feed carry).
class UpdateSigningKey {
public:
    UpdateSigningKey();
    ~UpdateSigningKey();
    UpdateSigningKey(const UpdateSigningKey&) = delete;
    UpdateSigningKey& operator=(const UpdateSigningKey&) = delete;

    const std::string& publicKeyBase64() const { return publicKey_; }
    std::string sign(std::string_view data) const;
    std::string signFile(const std::string& path) const;

    static std::string base64(std::string_view bytes);

private:
    struct Pair;
    std::unique_ptr<Pair> pair_;
    std::string publicKey_;
};

}

#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tvi {

// Checks Ed25519 signatures of downloaded updates (OpenSSL's libcrypto). Keys and signatures
// are written in base64, as the feed and the bundle's Info.plist carry them: a key is the
// 32 raw bytes of the public key, a signature the 64 bytes of the signature of the whole file.
// Thread-safe once made.
class SUSignatureVerifier {
public:
    // The Info.plist key that holds the maker's public key in the bundle.
    static constexpr const char* kPublicKeyInfoKey = "SUPublicEDKey";

    // nullopt, with the reason in `error`, for text that is no base64 Ed25519 public key.
    static std::optional<SUSignatureVerifier> withPublicKey(std::string_view base64Key, std::string* error = nullptr);

    // True when `base64Signature` is this key's signature of `data`.
    bool verifyData(std::string_view data, std::string_view base64Signature, std::string* error = nullptr) const;
    // The same for the whole content of the file at `path` (read through a mapping).
    bool verifyFile(const std::string& path, std::string_view base64Signature, std::string* error = nullptr) const;

    // Standard base64 (with or without padding, white space ignored); nullopt for other text.
    static std::optional<std::string> decodeBase64(std::string_view text);

private:
    struct Key;
    explicit SUSignatureVerifier(std::shared_ptr<Key> key);
    std::shared_ptr<Key> key_;
};

}

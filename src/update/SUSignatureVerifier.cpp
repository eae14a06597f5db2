#include "update/SUSignatureVerifier.h"

#include "foundation/Format.h"
#include "update/CryptoLibrary.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace tvi {

namespace {

constexpr std::size_t kPublicKeyLength = 32;
constexpr std::size_t kSignatureLength = 64;

int base64Value(char c)
{
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// A read-only mapping of a whole file; an empty file maps to nothing.
class MappedFile {
public:
    explicit MappedFile(const std::string& path)
    {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            error_ = std::strerror(errno);
            return;
        }
        struct stat info {};
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            error_ = "not a regular file";
        } else if (info.st_size > 0) {
            size_ = static_cast<std::size_t>(info.st_size);
            void* data = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0);
            if (data == MAP_FAILED) error_ = std::strerror(errno);
            else data_ = data;
        }
        ::close(fd);
        ok_ = error_.empty();
    }
    ~MappedFile()
    {
        if (data_) ::munmap(data_, size_);
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    bool ok() const { return ok_; }
    const std::string& error() const { return error_; }
    std::string_view contents() const { return data_ ? std::string_view(static_cast<const char*>(data_), size_) : ""; }

private:
    void* data_ = nullptr;
    std::size_t size_ = 0;
    bool ok_ = false;
    std::string error_;
};

void setError(std::string* error, std::string text)
{
    if (error) *error = std::move(text);
}

}

struct SUSignatureVerifier::Key {
    const CryptoLibrary* crypto = nullptr;
    EVP_PKEY* pkey = nullptr;
    ~Key()
    {
        if (pkey) crypto->pkey_free(pkey);
    }
};

SUSignatureVerifier::SUSignatureVerifier(std::shared_ptr<Key> key) : key_(std::move(key)) {}

std::optional<std::string> SUSignatureVerifier::decodeBase64(std::string_view text)
{
    std::string out;
    unsigned int buffer = 0;
    int bits = 0;
    std::size_t padding = 0;
    for (char c : text) {
        if (isSpace(c)) continue;
        if (c == '=') {
            ++padding;
            continue;
        }
        const int value = base64Value(c);
        if (value < 0 || padding > 0) return std::nullopt; // nothing may follow the padding
        buffer = (buffer << 6) | static_cast<unsigned int>(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<char>((buffer >> bits) & 0xff));
        }
    }
    // Six leftover bits cannot come from whole bytes; at most two padding characters.
    if (bits >= 6 || padding > 2) return std::nullopt;
    return out;
}

std::optional<SUSignatureVerifier> SUSignatureVerifier::withPublicKey(std::string_view base64Key, std::string* error)
{
    const auto raw = decodeBase64(base64Key);
    if (!raw || raw->size() != kPublicKeyLength) {
        setError(error, "The update signing key is no base64 text of a 32-byte Ed25519 public key.");
        return std::nullopt;
    }
    auto key = std::make_shared<Key>();
    // Without libcrypto no key is read, and so nothing is installed.
    key->crypto = CryptoLibrary::shared();
    if (key->crypto)
        key->pkey = key->crypto->pkey_new_raw_public_key(EVP_PKEY_ED25519, nullptr,
                                                         reinterpret_cast<const unsigned char*>(raw->data()), raw->size());
    if (!key->pkey) {
        setError(error, "The update signing key could not be read.");
        return std::nullopt;
    }
    return SUSignatureVerifier(std::move(key));
}

bool SUSignatureVerifier::verifyData(std::string_view data, std::string_view base64Signature, std::string* error) const
{
    const auto signature = decodeBase64(base64Signature);
    if (!signature || signature->size() != kSignatureLength) {
        setError(error, "The update's signature is no base64 text of a 64-byte Ed25519 signature.");
        return false;
    }
    const CryptoLibrary& crypto = *key_->crypto;
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context(crypto.md_ctx_new(), crypto.md_ctx_free);
    // Ed25519 signs the whole message at once: no digest is named.
    if (!context || crypto.digest_verify_init(context.get(), nullptr, nullptr, nullptr, key_->pkey) != 1) {
        setError(error, "The signature could not be checked (libcrypto).");
        return false;
    }
    const int verdict = crypto.digest_verify(context.get(), reinterpret_cast<const unsigned char*>(signature->data()),
                                             signature->size(), reinterpret_cast<const unsigned char*>(data.data()),
                                             data.size());
    if (verdict != 1) {
        setError(error, "The update's signature does not match: the file is not the one the maker signed.");
        return false;
    }
    return true;
}

bool SUSignatureVerifier::verifyFile(const std::string& path, std::string_view base64Signature,
                                     std::string* error) const
{
    MappedFile file(path);
    if (!file.ok()) {
        setError(error, format("The downloaded update %@ could not be read: %@", path, file.error()));
        return false;
    }
    return verifyData(file.contents(), base64Signature, error);
}

}

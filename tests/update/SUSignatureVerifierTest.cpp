#include "update/SUSignatureVerifier.h"

#include "support/UpdateSigningKey.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace tvi {
namespace {

using test::UpdateSigningKey;

TEST(SUSignatureVerifierTest, AcceptsOnlyTheMakersSignatureOfTheWholeUnchangedFile)
{
    const UpdateSigningKey maker;
    const UpdateSigningKey stranger;
    const auto verifier = SUSignatureVerifier::withPublicKey(maker.publicKeyBase64());
    ASSERT_TRUE(verifier);

    std::string file(100000, '\0');
    for (std::size_t i = 0; i < file.size(); ++i) file[i] = static_cast<char>(i * 7);
    const std::string path = std::string(std::getenv("HOME")) + "/update.tar.gz";
    std::ofstream(path, std::ios::binary) << file;
    const std::string signature = maker.sign(file);

    std::string why;
    EXPECT_TRUE(verifier->verifyFile(path, signature, &why)) << why;

    std::string flipped = file;
    flipped[50000] ^= 0x01;
    EXPECT_FALSE(verifier->verifyData(flipped, signature, &why));
    EXPECT_NE(why.find("does not match"), std::string::npos) << why;
    EXPECT_FALSE(verifier->verifyData(file.substr(0, file.size() - 1), signature));
    EXPECT_FALSE(verifier->verifyData(file, stranger.sign(file)));
    // No signature, or text that is none, is refused with its own reason.
    EXPECT_FALSE(verifier->verifyData(file, "", &why));
    EXPECT_NE(why.find("64-byte"), std::string::npos) << why;
    EXPECT_FALSE(verifier->verifyData(file, "not base64!"));
    EXPECT_FALSE(verifier->verifyFile(path + ".missing", signature, &why));
}

TEST(SUSignatureVerifierTest, RefusesKeysThatAreNoEd25519PublicKey)
{
    EXPECT_FALSE(SUSignatureVerifier::withPublicKey(""));
    EXPECT_FALSE(SUSignatureVerifier::withPublicKey(UpdateSigningKey::base64(std::string(31, 'k'))));
    EXPECT_FALSE(SUSignatureVerifier::withPublicKey("@@@@"));
    // Base64 as the feed and Info.plist may wrap it: white space and padding are fine, text after padding is not.
    EXPECT_EQ(SUSignatureVerifier::decodeBase64("aGV sbG8=\n"), "hello");
    EXPECT_EQ(SUSignatureVerifier::decodeBase64("aGVsbG8"), "hello");
    EXPECT_FALSE(SUSignatureVerifier::decodeBase64("aGVsbG8=x"));
    EXPECT_FALSE(SUSignatureVerifier::decodeBase64("a"));
}

}
}

#include "security/Crypto.h"

#include <cstring>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "orvanpush/TextError.h"
#include "orvanpush/platform/Console.h"
#include "platform/SecKey.h"
#include "security/CryptoExportImportManager.h"
#include "security/CryptoPendingKeyPair.h"
#include "security/KeyChainUtil.h"
#include "support/OpensslOracle.h"

namespace orvanpush::detail {
namespace {

using namespace platform;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using testing::opensslBase64Decode;
using testing::opensslVerifies;

const std::string kAlgorithm = kSecKeyAlgorithmRSASignatureMessagePKCS1v15SHA1;

// The lines of the key code written to the console while the object lives (a logger's own
// complaints aside).
class ConsoleLines {
  public:
    ConsoleLines() {
        Console::redirect([this](std::string_view line) {
            if (line.starts_with("Generating") || line.starts_with("Error generating") ||
                line.starts_with("Exporting")) {
                lines.emplace_back(line);
            }
        });
    }
    ~ConsoleLines() { Console::redirect({}); }
    std::vector<std::string> lines;
};

std::string thrownText(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const TextError& error) {
        return error.what();
    }
    return "nothing thrown";
}

// Every key item under `tag` in the access group of `identifier`.
std::size_t keysUnder(const std::string& identifier, const std::string& tag) {
    Json items;
    SecItemCopyMatching({{kSecClass, kSecClassKey},
                         {kSecAttrAccessGroup, KeyChain::getKeychainGroup(identifier)},
                         {kSecAttrApplicationTag, Json::binary(Bytes(tag.begin(), tag.end()))},
                         {kSecReturnAttributes, true},
                         {kSecMatchLimit, kSecMatchLimitAll}},
                        &items);
    return items.is_array() ? items.size() : 0;
}

TEST(CryptoTest, AnRsaPairExportsSignsAndVerifiesWithOpenssl) {
    ConsoleLines console;
    generateKeyPair("rsa", "rsa.public", "rsa.private", kSecAttrKeyTypeRSA, 1024);
    EXPECT_THAT(console.lines, ElementsAre("Generating Key Pair successfully completed"));
    const std::string publicKey =
        getPublicKeyString("rsa", "rsa.public", "rsa.private", kSecAttrKeyTypeRSA, 1024);
    const Bytes der = opensslBase64Decode(publicKey);
    EXPECT_EQ(publicKey.size(), 216u);
    ASSERT_EQ(der.size(), 162u);
    EXPECT_THAT(
        Bytes(der.begin(), der.begin() + 22),
        ElementsAreArray({0x30, 0x81, 0x9f, 0x30, 0x0d, 0x06, 0x09, 0x2a, 0x86, 0x48, 0x86,
                          0xf7, 0x0d, 0x01, 0x01, 0x01, 0x05, 0x00, 0x03, 0x81, 0x8d, 0x00}));
    for (const std::string text : {"address.token", "", "Grüße \xEF\xBF\xBD"}) {
        const std::string signature = signString("rsa", "rsa.private", kAlgorithm, text);
        EXPECT_EQ(signature.size(), 172u);
        EXPECT_TRUE(signature.ends_with("=") && !signature.ends_with("=="));
        EXPECT_TRUE(opensslVerifies(publicKey, signature, text)) << text;
        EXPECT_FALSE(opensslVerifies(publicKey, signature, text + "x"));
    }
}

TEST(CryptoTest, EcKeysTakeTheExportPathByTheTextOfTheirType) {
    ConsoleLines console;
    const std::string ecType(kSecAttrKeyTypeEC);  // equal text, another object
    generateKeyPair("ec", "ec.public", "ec.private", ecType, 256);
    const std::string publicKey = getPublicKeyString("ec", "ec.public", "ec.private", ecType, 256);
    EXPECT_THAT(console.lines, ElementsAre("Generating Key Pair successfully completed",
                                           "Exporting EC raw key: 65 bytes"));
    EXPECT_EQ(opensslBase64Decode(publicKey).size(), 91u);
    EXPECT_TRUE(testing::opensslReadsPublicKey(publicKey));
    // The key cannot make the RSA signature.
    EXPECT_EQ(thrownText([] { signString("ec", "ec.private", kAlgorithm, "x"); }),
              "Algorithm \"" + kAlgorithm + "\" is not supported");
}

TEST(CryptoTest, DerHeadersFollowTheKeyLength) {
    ConsoleLines console;
    const CryptoExportImportManager manager;
    const auto rsa2048 = manager.exportRSAPublicKeyToDER(Bytes(270, 0xAB));
    EXPECT_EQ(rsa2048.size(), 294u);
    EXPECT_THAT(Bytes(rsa2048.begin(), rsa2048.begin() + 4), ElementsAre(0x30, 0x82, 0x01, 0x22));
    EXPECT_THAT(Bytes(rsa2048.begin() + 19, rsa2048.begin() + 24),
                ElementsAre(0x03, 0x82, 0x01, 0x0f, 0x00));
    const auto tiny = manager.exportRSAPublicKeyToDER(Bytes(10, 1));
    EXPECT_THAT(Bytes(tiny.begin(), tiny.begin() + 2), ElementsAre(0x30, 28));
    for (const auto& [size, prefix] :
         std::vector<std::pair<int, std::size_t>>{{256, 26}, {384, 23}, {521, 25}, {224, 0}}) {
        const Bytes point(65, 0x04);
        EXPECT_EQ(manager.exportECPublicKeyToDER(point, size).size(), prefix + 65) << size;
    }
    EXPECT_EQ(console.lines.size(), 4u);
}

TEST(CryptoTest, FailuresThrowTheirTexts) {
    ConsoleLines console;
    generateKeyPair("errors", "errors.public", "errors.private", kSecAttrKeyTypeRSA, 100);
    EXPECT_THAT(console.lines, ElementsAre("Error generating key pair: -50"));
    EXPECT_EQ(thrownText([] {
                  getPublicKeyString("errors", "errors.public", "errors.private",
                                     kSecAttrKeyTypeRSA, 1024);
              }),
              "Public key not found");
    EXPECT_EQ(thrownText([] { signString("errors", "errors.private", kAlgorithm, "x"); }),
              "An error occured during the private key copy process");

    generateKeyPair("errors", "errors.public", "errors.private", kSecAttrKeyTypeRSA, 1024);
    EXPECT_EQ(thrownText([] {
                  getPublicKeyString("errors", "errors.public", "errors.private", "DSA", 1024);
              }),
              "An error occured during the public key export process");
    EXPECT_EQ(thrownText([] {
                  signString("errors", "errors.private", "algid:sign:ECDSA:message-X962:SHA256",
                             "x");
              }),
              "Algorithm \"algid:sign:ECDSA:message-X962:SHA256\" is not supported");
    // Another instance's group holds no key of this one.
    EXPECT_EQ(thrownText([] { signString("elsewhere", "errors.private", kAlgorithm, "x"); }),
              "An error occured during the private key copy process");
    // A key item whose material cannot be read.
    ASSERT_EQ(SecItemAdd({{kSecClass, kSecClassKey},
                          {kSecAttrAccessGroup, KeyChain::getKeychainGroup("broken")},
                          {kSecAttrApplicationTag, Json::binary(Bytes{'b'})},
                          {kSecAttrKeyClass, kSecAttrKeyClassPrivate},
                          {kSecValueData, Json::binary(Bytes{1, 2, 3})}},
                         nullptr),
              errSecSuccess);
    EXPECT_EQ(thrownText([] { signString("broken", "b", kAlgorithm, "x"); }),
              "Private key not found");
}

TEST(CryptoTest, AKeyAddedWithTheOtherAccessibilityStillSigns) {
    const char* other = KeyChain::accessibility() == std::string(kSecAttrAccessibleAlways)
                            ? kSecAttrAccessibleAfterFirstUnlock
                            : kSecAttrAccessibleAlways;
    const std::string group = KeyChain::getKeychainGroup("other");
    auto half = [&](const char* tag) {
        return Json{{kSecAttrIsPermanent, true},
                    {kSecAttrApplicationTag, Json::binary(Bytes(tag, tag + std::strlen(tag)))},
                    {kSecAttrAccessible, other},
                    {kSecAttrAccessGroup, group}};
    };
    std::optional<SecKey> publicKey;
    std::optional<SecKey> privateKey;
    ASSERT_EQ(SecKeyGeneratePair({{kSecAttrKeyType, kSecAttrKeyTypeRSA},
                                  {kSecAttrKeySizeInBits, 1024},
                                  {kSecPublicKeyAttrs, half("other.public")},
                                  {kSecPrivateKeyAttrs, half("other.private")}},
                                 &publicKey, &privateKey),
              errSecSuccess);
    const auto key =
        getPublicKeyString("other", "other.public", "other.private", kSecAttrKeyTypeRSA, 1024);
    EXPECT_TRUE(opensslVerifies(key, signString("other", "other.private", kAlgorithm, "a"), "a"));
}

TEST(CryptoTest, APendingPairReplacesTheCommittedOneOnlyWhenCommitted) {
    const std::string id = "pending";
    generateKeyPair(id, publicKeyTag(id), privateKeyTag(id), kSecAttrKeyTypeRSA, 1024);
    generateKeyPair(id, publicKeyTag(id), privateKeyTag(id), kSecAttrKeyTypeRSA, 1024);
    const auto committedKey = [&] {
        return getPublicKeyString(id, publicKeyTag(id), privateKeyTag(id), kSecAttrKeyTypeRSA,
                                  1024);
    };
    const std::string before = committedKey();

    // A refused subscription: its pair goes, the committed one stays.
    auto refused = PendingKeyPair::make(id);
    EXPECT_THAT(refused.publicTag,
                ::testing::MatchesRegex("pending\\.pending-[0-9A-F-]{36}\\.public"));
    EXPECT_EQ(refused.privateTag,
              refused.publicTag.substr(0, refused.publicTag.size() - 6) + "private");
    generateKeyPair(id, refused.publicTag, refused.privateTag, kSecAttrKeyTypeRSA, 1024);
    EXPECT_EQ(refused.remove(), errSecSuccess);
    EXPECT_EQ(keysUnder(id, refused.publicTag) + keysUnder(id, refused.privateTag), 0u);
    EXPECT_EQ(refused.remove(), errSecItemNotFound);
    EXPECT_EQ(committedKey(), before);

    // An accepted one: both earlier pairs go, the pending pair takes the instance's tags.
    auto accepted = PendingKeyPair::make(id);
    generateKeyPair(id, accepted.publicTag, accepted.privateTag, kSecAttrKeyTypeRSA, 1024);
    const std::string sent =
        getPublicKeyString(id, accepted.publicTag, accepted.privateTag, kSecAttrKeyTypeRSA, 1024);
    ASSERT_EQ(accepted.commit(), errSecSuccess);
    EXPECT_EQ(committedKey(), sent);
    EXPECT_EQ(keysUnder(id, publicKeyTag(id)), 1u);
    EXPECT_EQ(keysUnder(id, privateKeyTag(id)), 1u);
    EXPECT_EQ(keysUnder(id, accepted.publicTag) + keysUnder(id, accepted.privateTag), 0u);
    EXPECT_TRUE(opensslVerifies(sent, signString(id, privateKeyTag(id), kAlgorithm, "t"), "t"));

    // Committing a pair that is gone changes nothing.
    EXPECT_EQ(accepted.commit(), errSecItemNotFound);
    EXPECT_EQ(committedKey(), sent);
}

}  // namespace
}  // namespace orvanpush::detail

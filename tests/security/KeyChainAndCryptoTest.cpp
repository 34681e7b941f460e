// The keychain items of the library (saved values, key pairs, the probes that find the default
// access group) and what the keys sign, judged by openssl.

#include <atomic>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "orvanpush/KeyChainAccessGroupHelper.h"
#include "orvanpush/TextError.h"
#include "platform/FileSystem.h"
#include "platform/SecItem.h"
#include "platform/SecKey.h"
#include "security/Crypto.h"
#include "security/CryptoExportImportManager.h"
#include "security/CryptoPendingKeyPair.h"
#include "security/KeyChainUtil.h"
#include "support/OpensslOracle.h"
#include "support/TestHome.h"
#include "utils/logger/log_manager/LogManager.h"
#include "utils/logger/log_manager/LogSettings.h"

namespace orvanpush::detail {
namespace {

using namespace platform;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using testing::opensslBase64Decode;
using testing::opensslVerifies;
using ::testing::ThrowsMessage;
using Info = KeyChainAccessGroupInfo;

Bytes bytes(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// The probe items through which the default access group is learnt.
Json prefixProbe() {
    return {{kSecClass, kSecClassGenericPassword},
            {kSecAttrAccount, "bundleSeedID"},
            {kSecAttrService, ""},
            {kSecAttrAccessible, kSecAttrAccessibleAlways}};
}

Json detectionProbe() {
    Json probe = prefixProbe();
    probe[kSecAttrAccount] = "detectAppIdentifierForKeyChainGroupIdUsage";
    probe[kSecAttrSynchronizable] = true;
    return probe;
}

// Every item matching `query` as attribute dictionaries, newest first.
Json itemsLike(Json query) {
    query[kSecReturnAttributes] = true;
    query[kSecMatchLimit] = kSecMatchLimitAll;
    Json items;
    SecItemCopyMatching(query, &items);
    return items.is_array() ? items : Json::array();
}

Json itemsOf(const std::string& account) {
    return itemsLike({{kSecClass, kSecClassGenericPassword}, {kSecAttrAccount, account}});
}

// Each test starts without probe items, as on a fresh installation.
class KeyChainTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SecItemDelete(detectionProbe());
        SecItemDelete(prefixProbe());
    }
};

TEST_F(KeyChainTest, SaveReplacesAnEarlierItemGroupsKeepTheirOwnItemsAndNoneIsLogged) {
    ASSERT_EQ(KeyChain::save("grouped", bytes("first"), "groupA"), errSecSuccess);
    ASSERT_EQ(KeyChain::save("grouped", bytes("in a"), "groupA"), errSecSuccess);
    ASSERT_EQ(KeyChain::save("grouped", bytes("in b"), "groupB"), errSecSuccess);
    EXPECT_EQ(KeyChain::load("grouped", "groupA"), bytes("in a"));
    // Without a group, only the groups the process is entitled to are seen.
    EXPECT_EQ(KeyChain::load("grouped", std::nullopt), std::nullopt);
    EXPECT_EQ(KeyChain::deleteItem("grouped", std::nullopt), errSecItemNotFound);

    const testing::ScopedPlatformConfig entitled([](PlatformConfig& config) {
        config.keychainAccessGroups = {"LOCALAPP00.groupA", "LOCALAPP00.groupB"};
    });
    Json items = itemsOf("grouped");
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[1][kSecAttrAccessGroup], "LOCALAPP00.groupA");
    EXPECT_EQ(items[1][kSecAttrAccessible], KeyChain::accessibility());
    EXPECT_EQ(KeyChain::load("grouped", std::nullopt), bytes("in b"));
    EXPECT_EQ(KeyChain::deleteItem("grouped", std::nullopt), errSecSuccess);
    EXPECT_EQ(KeyChain::load("grouped", "groupB"), std::nullopt);
    EXPECT_EQ(KeyChain::deleteItem("grouped", "groupA"), errSecItemNotFound);

    // A replacement is one keychain transaction: a reader never finds the key missing.
    ASSERT_EQ(KeyChain::save("replaced", bytes("0"), "myInstance"), errSecSuccess);
    std::atomic<bool> done{false};
    std::atomic<int> missing{0};
    std::thread reader([&] {
        while (!done) {
            missing += KeyChain::load("replaced", "myInstance") ? 0 : 1;
        }
    });
    for (int round = 1; round <= 100; ++round) {
        KeyChain::save("replaced", bytes(std::to_string(round)), "myInstance");
    }
    done = true;
    reader.join();
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(KeyChain::load("replaced", "myInstance"), bytes("100"));

    // Statuses are logged, stored bytes never are.
    LogManager::enableLogging();
    LogSettings::setLogLevel("trace");
    ASSERT_EQ(KeyChain::save("logged", bytes("top-secret-value"), "myInstance"), errSecSuccess);
    EXPECT_EQ(KeyChain::load("logged", "myInstance"), bytes("top-secret-value"));
    EXPECT_EQ(KeyChain::load("never saved", std::nullopt), std::nullopt);
    LogSettings::setLogLevel(LogSettings::defaultLogLevel);

    std::string logs;
    for (const auto& file : LogManager::getLogFiles()) {
        logs += FileSystem::readFile(file).value_or("");
    }
    EXPECT_THAT(logs, HasSubstr(";Crypto;OSStatus: -25300 [KeyChainUtil.cpp:"));
    EXPECT_THAT(logs, Not(HasSubstr("top-secret-value")));
}

TEST(KeyChainAccessibilityTest, IsAfterFirstUnlockFromVersion13) {
    for (const char* version : {"13.0.0", "13", "17.2.1", "13.0-rc1"}) {
        EXPECT_STREQ(KeyChain::accessibilityFor(version), kSecAttrAccessibleAfterFirstUnlock);
    }
    for (const char* version : {"12.5.7", "6.1.0-18-amd64", "1.13.0", "", "unknown"}) {
        EXPECT_STREQ(KeyChain::accessibilityFor(version), kSecAttrAccessibleAlways);
    }
}

// Operations without an access group make no probe query; each look-up creates its own probe
// once and reuses it.
TEST_F(KeyChainTest, ProbesAreMadeOnlyForAGroupAndOnceEach) {
    ASSERT_EQ(KeyChain::save("ungrouped", bytes("value"), std::nullopt), errSecSuccess);
    EXPECT_EQ(itemsOf("ungrouped")[0][kSecAttrAccessGroup], "LOCALAPP00.orvanpush.tests");
    EXPECT_EQ(KeyChain::load("ungrouped", std::nullopt), bytes("value"));
    EXPECT_EQ(KeyChain::deleteItem("ungrouped", std::nullopt), errSecSuccess);
    EXPECT_TRUE(itemsOf("ungrouped").empty());
    EXPECT_TRUE(itemsLike(detectionProbe()).empty());
    EXPECT_TRUE(itemsLike(prefixProbe()).empty());

    const Info prefix{"LOCALAPP00", "LOCALAPP00.orvanpush.tests", "LOCALAPP00.orvanpush.tests"};
    EXPECT_EQ(KeyChainAccessGroupHelper::applicationPrefix(), prefix);
    EXPECT_EQ(KeyChainAccessGroupHelper::applicationPrefix(), prefix);
    EXPECT_TRUE(itemsLike(detectionProbe()).empty());
    EXPECT_EQ(itemsLike(prefixProbe())[0][kSecAttrSynchronizable], false);

    // Concurrent first detections all succeed with one probe.
    const Info detected{"LOCALAPP00", "orvanpush.tests", "LOCALAPP00.orvanpush.tests"};
    std::atomic<int> agreeing{0};
    {
        std::vector<std::jthread> workers;
        for (int i = 0; i < 8; ++i) {
            workers.emplace_back([&] {
                agreeing += KeyChainAccessGroupHelper::getAccessGroupInfo() == detected ? 1 : 0;
            });
        }
    }
    EXPECT_EQ(agreeing, 8);
    EXPECT_EQ(KeyChainAccessGroupHelper::getAccessGroupInfo(), detected);
    Json expected = detectionProbe();
    expected[kSecAttrAccessGroup] = "LOCALAPP00.orvanpush.tests";
    EXPECT_EQ(itemsLike(detectionProbe()), Json::array({expected}));
    EXPECT_EQ(itemsLike(prefixProbe()).size(), 1u);
}

// The application and its extension each learn their own default group from a probe of their
// own, and so agree on the prefix.
TEST_F(KeyChainTest, EachProcessDetectsItsOwnDefaultGroup) {
    const auto detectedAs = [](const std::string& prefix, const std::string& bundle) {
        const testing::ScopedPlatformConfig process([&](PlatformConfig& config) {
            config.appIdentifierPrefix = prefix;
            config.bundleIdentifier = bundle;
        });
        return KeyChainAccessGroupHelper::getAccessGroupInfo();
    };
    for (const std::string bundle : {"com.example.app", "com.example.app.extension"}) {
        EXPECT_EQ(detectedAs("ABCDE12345", bundle),
                  Info({"ABCDE12345", bundle, "ABCDE12345." + bundle}));
    }
    // Every component equal to the prefix is left out.
    EXPECT_EQ(detectedAs("X", "b.X.d"), Info({"X", "b.d", "X.b.X.d"}));

    const testing::ScopedPlatformConfig application([](PlatformConfig& config) {
        config.appIdentifierPrefix = "ABCDE12345";
        config.bundleIdentifier = "com.example.app";
    });
    EXPECT_EQ(KeyChain::getKeychainGroup("myInstance"), "ABCDE12345.myInstance");
}

const std::string kAlgorithm = kSecKeyAlgorithmRSASignatureMessagePKCS1v15SHA1;

// Whether a console line is the key code's (and not a logger's own complaint).
bool keyLine(std::string_view line) {
    return line.starts_with("Generating") || line.starts_with("Error generating") ||
           line.starts_with("Exporting");
}

// Every key item under `tag` in the access group of `identifier`.
std::size_t keysUnder(const std::string& identifier, const std::string& tag) {
    return itemsLike({{kSecClass, kSecClassKey},
                      {kSecAttrAccessGroup, KeyChain::getKeychainGroup(identifier)},
                      {kSecAttrApplicationTag, Json::binary(bytes(tag))}})
        .size();
}

TEST(CryptoTest, AnRsaPairExportsSignsAndVerifiesWithOpenssl) {
    testing::ConsoleCapture console(keyLine);
    generateKeyPair("rsa", "rsa.public", "rsa.private", kSecAttrKeyTypeRSA, 1024);
    EXPECT_THAT(console.lines(), ElementsAre("Generating Key Pair successfully completed"));
    const std::string publicKey =
        getPublicKeyString("rsa", "rsa.public", "rsa.private", kSecAttrKeyTypeRSA, 1024);
    // A DER public key of 162 bytes, which openssl reads below.
    EXPECT_EQ(publicKey.size(), 216u);
    for (const std::string text : {"address.token", "", "Grüße \xEF\xBF\xBD"}) {
        const std::string signature = signString("rsa", "rsa.private", kAlgorithm, text);
        EXPECT_EQ(signature.size(), 172u);
        EXPECT_TRUE(signature.ends_with("=") && !signature.ends_with("=="));
        EXPECT_TRUE(opensslVerifies(publicKey, signature, text)) << text;
        EXPECT_FALSE(opensslVerifies(publicKey, signature, text + "x"));
    }
}

TEST(CryptoTest, EcKeysTakeTheExportPathByTheTextOfTheirType) {
    testing::ConsoleCapture console(keyLine);
    const std::string ecType(kSecAttrKeyTypeEC);  // equal text, another object
    generateKeyPair("ec", "ec.public", "ec.private", ecType, 256);
    const std::string publicKey = getPublicKeyString("ec", "ec.public", "ec.private", ecType, 256);
    EXPECT_THAT(console.lines(), ElementsAre("Generating Key Pair successfully completed",
                                             "Exporting EC raw key: 65 bytes"));
    EXPECT_EQ(opensslBase64Decode(publicKey).size(), 91u);
    EXPECT_TRUE(testing::opensslReadsPublicKey(publicKey));
    // The key cannot make the RSA signature.
    EXPECT_THAT([] { signString("ec", "ec.private", kAlgorithm, "x"); },
                ThrowsMessage<TextError>("Algorithm \"" + kAlgorithm + "\" is not supported"));
}

TEST(CryptoTest, DerHeadersFollowTheKeyLength) {
    testing::ConsoleCapture console(keyLine);
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
    EXPECT_EQ(console.lines().size(), 4u);
}

TEST(CryptoTest, FailuresThrowTheirTexts) {
    testing::ConsoleCapture console(keyLine);
    generateKeyPair("errors", "errors.public", "errors.private", kSecAttrKeyTypeRSA, 100);
    EXPECT_THAT(console.lines(), ElementsAre("Error generating key pair: -50"));
    EXPECT_THAT(
        [] {
            getPublicKeyString("errors", "errors.public", "errors.private", kSecAttrKeyTypeRSA,
                               1024);
        },
        ThrowsMessage<TextError>("Public key not found"));
    EXPECT_THAT([] { signString("errors", "errors.private", kAlgorithm, "x"); },
                ThrowsMessage<TextError>("An error occured during the private key copy process"));

    generateKeyPair("errors", "errors.public", "errors.private", kSecAttrKeyTypeRSA, 1024);
    EXPECT_THAT(
        [] { getPublicKeyString("errors", "errors.public", "errors.private", "DSA", 1024); },
        ThrowsMessage<TextError>("An error occured during the public key export process"));
    EXPECT_THAT(
        [] { signString("errors", "errors.private", "algid:sign:ECDSA:message-X962:SHA256", "x"); },
        ThrowsMessage<TextError>(
            "Algorithm \"algid:sign:ECDSA:message-X962:SHA256\" is not supported"));
    // Another instance's group holds no key of this one.
    EXPECT_THAT([] { signString("elsewhere", "errors.private", kAlgorithm, "x"); },
                ThrowsMessage<TextError>("An error occured during the private key copy process"));
    // A key item whose material cannot be read.
    ASSERT_EQ(SecItemAdd({{kSecClass, kSecClassKey},
                          {kSecAttrAccessGroup, KeyChain::getKeychainGroup("broken")},
                          {kSecAttrApplicationTag, Json::binary(Bytes{'b'})},
                          {kSecAttrKeyClass, kSecAttrKeyClassPrivate},
                          {kSecValueData, Json::binary(Bytes{1, 2, 3})}},
                         nullptr),
              errSecSuccess);
    EXPECT_THAT([] { signString("broken", "b", kAlgorithm, "x"); },
                ThrowsMessage<TextError>("Private key not found"));
}

// Each signature is made with the key the keychain holds then, from any thread.
TEST(CryptoTest, EachSignatureUsesTheKeyTheKeychainHoldsThen) {
    const auto newPair = [] {
        generateKeyPair("turns", "turns.public", "turns.private", kSecAttrKeyTypeRSA, 1024);
        return getPublicKeyString("turns", "turns.public", "turns.private", kSecAttrKeyTypeRSA,
                                  1024);
    };
    const auto sign = [](const std::string& text) {
        return signString("turns", "turns.private", kAlgorithm, text);
    };
    const std::string first = newPair();
    std::vector<std::future<std::string>> signatures;
    for (int i = 0; i < 4; ++i) {
        signatures.push_back(std::async(std::launch::async, sign, std::to_string(i)));
    }
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(opensslVerifies(first, signatures[i].get(), std::to_string(i))) << i;
    }
    ASSERT_EQ(SecItemAdd({{kSecClass, kSecClassKey},
                          {kSecAttrAccessGroup, KeyChain::getKeychainGroup("turns")},
                          {kSecAttrApplicationTag, Json::binary(bytes("unreadable"))},
                          {kSecAttrKeyClass, kSecAttrKeyClassPrivate},
                          {kSecValueData, Json::binary(Bytes{0x30, 0x03, 0x02, 0x01, 0x00})}},
                         nullptr),
              errSecSuccess);
    EXPECT_THAT([] { signString("turns", "unreadable", kAlgorithm, "x"); },
                ThrowsMessage<TextError>("Private key not found"));
    const std::string second = newPair();
    EXPECT_TRUE(opensslVerifies(second, sign("after"), "after"));
    EXPECT_FALSE(opensslVerifies(first, sign("after"), "after"));
}

TEST(CryptoTest, AKeyAddedWithTheOtherAccessibilityStillSigns) {
    const char* other = KeyChain::accessibility() == std::string(kSecAttrAccessibleAlways)
                            ? kSecAttrAccessibleAfterFirstUnlock
                            : kSecAttrAccessibleAlways;
    const std::string group = KeyChain::getKeychainGroup("other");
    auto half = [&](const char* tag) {
        return Json{{kSecAttrIsPermanent, true},
                    {kSecAttrApplicationTag, Json::binary(bytes(tag))},
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
    EXPECT_EQ(std::pair(keysUnder(id, publicKeyTag(id)), keysUnder(id, privateKeyTag(id))),
              std::pair(std::size_t{1}, std::size_t{1}));
    EXPECT_EQ(keysUnder(id, accepted.publicTag) + keysUnder(id, accepted.privateTag), 0u);
    EXPECT_TRUE(opensslVerifies(sent, signString(id, privateKeyTag(id), kAlgorithm, "t"), "t"));

    // Committing a pair that is gone changes nothing.
    EXPECT_EQ(accepted.commit(), errSecItemNotFound);
    EXPECT_EQ(committedKey(), sent);
}

}  // namespace
}  // namespace orvanpush::detail

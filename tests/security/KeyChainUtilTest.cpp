#include "security/KeyChainUtil.h"

#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "orvanpush/KeyChainAccessGroupHelper.h"
#include "platform/FileSystem.h"
#include "platform/SecItem.h"
#include "support/TestHome.h"
#include "utils/logger/log_manager/LogManager.h"
#include "utils/logger/log_manager/LogSettings.h"

namespace orvanpush::detail {
namespace {

using namespace platform;
using ::testing::HasSubstr;
using ::testing::Not;
using Info = KeyChainAccessGroupInfo;

Bytes bytes(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// The probe items through which the default access group is learnt.
Json detectionProbe() {
    return {{kSecClass, kSecClassGenericPassword},
            {kSecAttrAccount, "detectAppIdentifierForKeyChainGroupIdUsage"},
            {kSecAttrService, ""},
            {kSecAttrAccessible, kSecAttrAccessibleAlways},
            {kSecAttrSynchronizable, true}};
}

Json prefixProbe() {
    return {{kSecClass, kSecClassGenericPassword},
            {kSecAttrAccount, "bundleSeedID"},
            {kSecAttrService, ""},
            {kSecAttrAccessible, kSecAttrAccessibleAlways}};
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

TEST_F(KeyChainTest, SaveReplacesAnEarlierItemAndGroupsKeepTheirOwnItems) {
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
}

// A replacement is one keychain transaction: a reader never finds the key missing.
TEST_F(KeyChainTest, ASavedKeyIsNeverSeenMissingWhileItIsReplaced) {
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
}

TEST_F(KeyChainTest, StatusesAreLoggedButStoredBytesNeverAre) {
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

    const Info detected{"LOCALAPP00", "orvanpush.tests", "LOCALAPP00.orvanpush.tests"};
    EXPECT_EQ(KeyChainAccessGroupHelper::getAccessGroupInfo(), detected);
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
        return std::pair(KeyChainAccessGroupHelper::getAccessGroupInfo(),
                         KeyChainAccessGroupHelper::applicationPrefix());
    };
    EXPECT_EQ(detectedAs("ABCDE12345", "com.example.app"),
              std::pair(std::optional(
                            Info{"ABCDE12345", "com.example.app", "ABCDE12345.com.example.app"}),
                        std::optional(Info{"ABCDE12345", "ABCDE12345.com.example.app",
                                           "ABCDE12345.com.example.app"})));
    EXPECT_EQ(
        detectedAs("ABCDE12345", "com.example.app.extension").first,
        Info({"ABCDE12345", "com.example.app.extension", "ABCDE12345.com.example.app.extension"}));
    for (const char* group :
         {"ABCDE12345.com.example.app", "ABCDE12345.com.example.app.extension"}) {
        Json probe = detectionProbe();
        probe[kSecAttrAccessGroup] = group;
        EXPECT_EQ(itemsLike(probe).size(), 1u) << group;
    }
    // Every component equal to the prefix is left out.
    EXPECT_EQ(detectedAs("X", "b.X.d").first, Info({"X", "b.d", "X.b.X.d"}));

    const testing::ScopedPlatformConfig application([](PlatformConfig& config) {
        config.appIdentifierPrefix = "ABCDE12345";
        config.bundleIdentifier = "com.example.app";
    });
    EXPECT_EQ(KeyChain::getKeychainGroup("myInstance"), "ABCDE12345.myInstance");
}

TEST_F(KeyChainTest, ConcurrentFirstDetectionsAllSucceedWithOneProbe) {
    constexpr int threads = 8;
    std::atomic<int> detected{0};
    std::vector<std::thread> workers;
    for (int i = 0; i < threads; ++i) {
        workers.emplace_back(
            [&] { detected += KeyChainAccessGroupHelper::getAccessGroupInfo() ? 1 : 0; });
    }
    for (auto& worker : workers) {
        worker.join();
    }
    EXPECT_EQ(detected, threads);
    EXPECT_EQ(itemsLike(detectionProbe()).size(), 1u);
}

}  // namespace
}  // namespace orvanpush::detail

#include "security/KeyChainUtil.h"

#include <sstream>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/FileSystem.h"
#include "platform/SecItem.h"
#include "utils/logger/log_manager/LogManager.h"
#include "utils/logger/log_manager/LogSettings.h"

namespace orvanpush::detail {
namespace {

using namespace platform;
using ::testing::Contains;
using ::testing::Each;
using ::testing::HasSubstr;
using ::testing::Not;

Bytes bytes(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// Every item stored under `account`, newest first, as attribute dictionaries.
Json itemsOf(const std::string& account) {
    Json items;
    SecItemCopyMatching({{kSecClass, kSecClassGenericPassword},
                         {kSecAttrAccount, account},
                         {kSecReturnAttributes, true},
                         {kSecMatchLimit, kSecMatchLimitAll}},
                        &items);
    return items.is_array() ? items : Json::array();
}

bool probeItemsExist() {
    Json detection = {{kSecClass, kSecClassGenericPassword},
                      {kSecAttrAccount, "detectAppIdentifierForKeyChainGroupIdUsage"},
                      {kSecAttrSynchronizable, true}};
    Json prefix = {{kSecClass, kSecClassGenericPassword}, {kSecAttrAccount, "bundleSeedID"}};
    return SecItemCopyMatching(detection, nullptr) != errSecItemNotFound ||
           SecItemCopyMatching(prefix, nullptr) != errSecItemNotFound;
}

void removeProbeItems() {
    SecItemDelete({{kSecClass, kSecClassGenericPassword},
                   {kSecAttrAccount, "detectAppIdentifierForKeyChainGroupIdUsage"},
                   {kSecAttrSynchronizable, true}});
    SecItemDelete({{kSecClass, kSecClassGenericPassword}, {kSecAttrAccount, "bundleSeedID"}});
}

TEST(KeyChainTest, SaveReplacesAnEarlierItemOfTheSameKeyAndGroup) {
    ASSERT_EQ(KeyChain::save("replaced", bytes("first"), "myInstance"), errSecSuccess);
    ASSERT_EQ(KeyChain::save("replaced", bytes("second"), "myInstance"), errSecSuccess);
    EXPECT_EQ(KeyChain::load("replaced", "myInstance"), bytes("second"));

    Json items = itemsOf("replaced");
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0][kSecAttrAccessGroup], "LOCALAPP00.myInstance");
    EXPECT_EQ(items[0][kSecAttrAccessible], KeyChain::accessibility());
}

TEST(KeyChainTest, GroupsKeepTheirOwnItemsAndNoGroupMeansAnyGroup) {
    ASSERT_EQ(KeyChain::save("grouped", bytes("in a"), "groupA"), errSecSuccess);
    ASSERT_EQ(KeyChain::save("grouped", bytes("in b"), "groupB"), errSecSuccess);
    EXPECT_EQ(KeyChain::load("grouped", "groupA"), bytes("in a"));
    EXPECT_EQ(KeyChain::load("grouped", "groupB"), bytes("in b"));
    EXPECT_EQ(KeyChain::load("grouped", std::nullopt), bytes("in b"));

    EXPECT_EQ(KeyChain::deleteItem("grouped", std::nullopt), errSecSuccess);
    EXPECT_EQ(KeyChain::load("grouped", "groupA"), std::nullopt);
    EXPECT_EQ(KeyChain::load("grouped", "groupB"), std::nullopt);
    EXPECT_EQ(KeyChain::deleteItem("grouped", "groupA"), errSecItemNotFound);
}

TEST(KeyChainTest, LoadOfAKeyNeverSavedYieldsNothing) {
    EXPECT_EQ(KeyChain::load("never saved", "myInstance"), std::nullopt);
    EXPECT_EQ(KeyChain::load("never saved", std::nullopt), std::nullopt);
}

// The lines of every SDK log file.
std::vector<std::string> sdkLogLines() {
    std::vector<std::string> lines;
    for (const auto& file : LogManager::getLogFiles()) {
        std::istringstream text(FileSystem::readFile(file).value_or(""));
        for (std::string line; std::getline(text, line);) {
            lines.push_back(line);
        }
    }
    return lines;
}

TEST(KeyChainTest, StatusesAreLoggedButStoredBytesNeverAre) {
    LogManager::enableLogging();
    auto previousLevel = LogSettings::logLevel();
    LogSettings::setLogLevel("trace");
    ASSERT_EQ(KeyChain::save("logged", bytes("top-secret-value"), "myInstance"), errSecSuccess);
    EXPECT_EQ(KeyChain::load("logged", "myInstance"), bytes("top-secret-value"));
    EXPECT_EQ(KeyChain::load("never saved", std::nullopt), std::nullopt);
    LogSettings::setLogLevel(previousLevel);

    auto lines = sdkLogLines();
    EXPECT_THAT(lines, Contains(HasSubstr(";Crypto;OSStatus: -25300 [KeyChainUtil.cpp:")));
    EXPECT_THAT(lines, Each(Not(HasSubstr("top-secret-value"))));
}

TEST(KeyChainTest, OperationsWithoutAccessGroupMakeNoProbeQuery) {
    removeProbeItems();
    ASSERT_EQ(KeyChain::save("ungrouped", bytes("value"), std::nullopt), errSecSuccess);
    EXPECT_EQ(KeyChain::load("ungrouped", std::nullopt), bytes("value"));
    EXPECT_EQ(KeyChain::deleteItem("ungrouped", std::nullopt), errSecSuccess);
    EXPECT_FALSE(probeItemsExist());

    EXPECT_TRUE(itemsOf("ungrouped").empty());

    ASSERT_EQ(KeyChain::save("ungrouped", bytes("value"), std::nullopt), errSecSuccess);
    EXPECT_EQ(itemsOf("ungrouped")[0][kSecAttrAccessGroup], "LOCALAPP00.orvanpush.tests");

    KeyChain::load("ungrouped", "myInstance");
    EXPECT_TRUE(probeItemsExist());
}

TEST(KeyChainTest, AccessibilityIsAfterFirstUnlockFromVersion13) {
    for (const char* version : {"13.0.0", "13", "17.2.1", "13.0-rc1"}) {
        EXPECT_STREQ(KeyChain::accessibilityFor(version), kSecAttrAccessibleAfterFirstUnlock);
    }
    for (const char* version : {"12.5.7", "6.1.0-18-amd64", "1.13.0", "", "unknown"}) {
        EXPECT_STREQ(KeyChain::accessibilityFor(version), kSecAttrAccessibleAlways);
    }
}

}  // namespace
}  // namespace orvanpush::detail

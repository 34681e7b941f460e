#include "orvanpush/KeyChainAccessGroupHelper.h"

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/SecItem.h"
#include "security/KeyChainUtil.h"

namespace orvanpush {
namespace {

using namespace platform;

constexpr const char* detectionAccount = "detectAppIdentifierForKeyChainGroupIdUsage";
constexpr const char* prefixAccount = "bundleSeedID";

Json detectionProbe() {
    return {{kSecClass, kSecClassGenericPassword},
            {kSecAttrAccount, detectionAccount},
            {kSecAttrService, ""},
            {kSecAttrAccessible, kSecAttrAccessibleAlways},
            {kSecAttrSynchronizable, true}};
}

Json prefixProbe() {
    return {{kSecClass, kSecClassGenericPassword},
            {kSecAttrAccount, prefixAccount},
            {kSecAttrService, ""},
            {kSecAttrAccessible, kSecAttrAccessibleAlways}};
}

// Every item matching `probe` as attribute dictionaries, newest first.
Json itemsLike(Json probe) {
    probe[kSecReturnAttributes] = true;
    probe[kSecMatchLimit] = kSecMatchLimitAll;
    Json items;
    SecItemCopyMatching(probe, &items);
    return items.is_array() ? items : Json::array();
}

// Each test starts without probe items, as on a fresh installation.
class KeyChainAccessGroupHelperTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SecItemDelete(detectionProbe());
        SecItemDelete(prefixProbe());
    }
};

// A probe item of another default access group, newer than any other, so that the probe query
// finds it as if the application's default group were `accessGroup`.
void plantProbe(Json probe, const std::string& accessGroup) {
    probe[kSecAttrAccessGroup] = accessGroup;
    ASSERT_EQ(SecItemAdd(probe, nullptr), errSecSuccess);
}

TEST_F(KeyChainAccessGroupHelperTest, DetectionCreatesItsProbeOnceAndReusesIt) {
    KeyChainAccessGroupInfo expected{"LOCALAPP00", "orvanpush.tests", "LOCALAPP00.orvanpush.tests"};
    EXPECT_EQ(KeyChainAccessGroupHelper::getAccessGroupInfo(), expected);
    EXPECT_EQ(KeyChainAccessGroupHelper::getAccessGroupInfo(), expected);

    Json probes = itemsLike(detectionProbe());
    ASSERT_EQ(probes.size(), 1u);
    EXPECT_EQ(probes[0], Json({{kSecClass, kSecClassGenericPassword},
                               {kSecAttrAccount, detectionAccount},
                               {kSecAttrService, ""},
                               {kSecAttrAccessible, kSecAttrAccessibleAlways},
                               {kSecAttrSynchronizable, true},
                               {kSecAttrAccessGroup, "LOCALAPP00.orvanpush.tests"}}));
    EXPECT_TRUE(itemsLike(prefixProbe()).empty());
    EXPECT_EQ(detail::KeyChain::getKeychainGroup("myInstance"), "LOCALAPP00.myInstance");
}

TEST_F(KeyChainAccessGroupHelperTest, ApplicationPrefixCreatesItsOwnProbe) {
    KeyChainAccessGroupInfo expected{"LOCALAPP00", "LOCALAPP00.orvanpush.tests",
                                     "LOCALAPP00.orvanpush.tests"};
    EXPECT_EQ(KeyChainAccessGroupHelper::applicationPrefix(), expected);
    EXPECT_EQ(KeyChainAccessGroupHelper::applicationPrefix(), expected);

    Json probes = itemsLike(prefixProbe());
    ASSERT_EQ(probes.size(), 1u);
    EXPECT_EQ(probes[0][kSecAttrSynchronizable], false);
    EXPECT_EQ(probes[0][kSecAttrAccessGroup], "LOCALAPP00.orvanpush.tests");
    EXPECT_TRUE(itemsLike(detectionProbe()).empty());
}

TEST_F(KeyChainAccessGroupHelperTest, SplitsTheDefaultGroupAfterItsPrefix) {
    plantProbe(detectionProbe(), "ABCDE12345.com.example.app");
    plantProbe(prefixProbe(), "ABCDE12345.com.example.app");
    EXPECT_EQ(
        KeyChainAccessGroupHelper::getAccessGroupInfo(),
        KeyChainAccessGroupInfo({"ABCDE12345", "com.example.app", "ABCDE12345.com.example.app"}));
    EXPECT_EQ(KeyChainAccessGroupHelper::applicationPrefix(),
              KeyChainAccessGroupInfo(
                  {"ABCDE12345", "ABCDE12345.com.example.app", "ABCDE12345.com.example.app"}));
    EXPECT_EQ(detail::KeyChain::getKeychainGroup("myInstance"), "ABCDE12345.myInstance");
}

TEST_F(KeyChainAccessGroupHelperTest, LeavesOutEveryComponentEqualToThePrefix) {
    plantProbe(detectionProbe(), "X.b.X.d");
    EXPECT_EQ(KeyChainAccessGroupHelper::getAccessGroupInfo(),
              KeyChainAccessGroupInfo({"X", "b.d", "X.b.X.d"}));
}

TEST_F(KeyChainAccessGroupHelperTest, ConcurrentFirstDetectionsAllSucceedWithOneProbe) {
    constexpr int threads = 8;
    std::atomic<int> detected{0};
    std::vector<std::thread> workers;
    for (int i = 0; i < threads; ++i) {
        workers.emplace_back([&] {
            if (KeyChainAccessGroupHelper::getAccessGroupInfo()) {
                ++detected;
            }
        });
    }
    for (auto& worker : workers) {
        worker.join();
    }
    EXPECT_EQ(detected, threads);
    EXPECT_EQ(itemsLike(detectionProbe()).size(), 1u);
}

}  // namespace
}  // namespace orvanpush

#include "platform/SecItem.h"

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "orvanpush/platform/PlatformConfig.h"
#include "platform/Home.h"
#include "support/SqliteOracle.h"
#include "support/TestHome.h"

namespace orvanpush::platform {
namespace {

const std::string notFound = "status -25300";

Json bytesOf(const std::string& text) {
    return Json::binary(Bytes(text.begin(), text.end()));
}

Json with(Json dictionary, const char* key, Json value) {
    dictionary[key] = std::move(value);
    return dictionary;
}

Json inGroup(Json item, const std::string& group) {
    return with(std::move(item), kSecAttrAccessGroup, group);
}

Json password(const std::string& account) {
    return {{kSecClass, kSecClassGenericPassword}, {kSecAttrAccount, account}};
}

Json password(const std::string& account, const std::string& value) {
    return with(password(account), kSecValueData, bytesOf(value));
}

OSStatus add(const Json& item) {
    return SecItemAdd(item, nullptr);
}

// The data of the newest item matching `query`, or the status when there is none.
std::string dataOf(const Json& query) {
    Json result;
    OSStatus status = SecItemCopyMatching(with(query, kSecReturnData, true), &result);
    if (status != errSecSuccess) {
        return "status " + std::to_string(status);
    }
    const auto& bytes = result.get_binary();
    return std::string(bytes.begin(), bytes.end());
}

// The attributes of the newest item matching `query`; null when there is none.
Json attributesOf(const Json& query) {
    Json result;
    SecItemCopyMatching(with(query, kSecReturnAttributes, true), &result);
    return result;
}

std::string defaultGroup() {
    auto config = PlatformConfig::current();
    return config->appIdentifierPrefix + "." + config->bundleIdentifier;
}

// No test clears the keychain: each one uses names of its own, in this program's fresh home.

// Value data in a query does not restrict the match.
TEST(SecItemTest, RoundTripsVerbatimAndDuplicatesAreSameClassAccountServiceGroupAndSynchronizable) {
    const Json item = password("duplicate", "first");
    ASSERT_EQ(add(item), errSecSuccess);
    EXPECT_EQ(dataOf(password("duplicate", "something else")), "first");
    EXPECT_EQ(attributesOf(password("duplicate")), Json({{kSecClass, kSecClassGenericPassword},
                                                         {kSecAttrAccount, "duplicate"},
                                                         {kSecAttrService, ""},
                                                         {kSecAttrAccessGroup, defaultGroup()},
                                                         {kSecAttrSynchronizable, false}}));
    const std::pair<Json, OSStatus> adds[] = {
        {with(item, kSecValueData, bytesOf("second")), errSecDuplicateItem},
        {inGroup(item, defaultGroup()), errSecDuplicateItem},
        {with(item, kSecAttrService, ""), errSecDuplicateItem},
        {with(item, kSecAttrService, "other"), errSecSuccess},
        {inGroup(item, "LOCALAPP00.other"), errSecSuccess},
        {with(item, kSecAttrSynchronizable, true), errSecSuccess},
        {password("Duplicate", "x"), errSecSuccess}};
    for (const auto& [other, status] : adds) {
        EXPECT_EQ(add(other), status) << other.dump();
    }
    const Json original = with(inGroup(password("duplicate"), defaultGroup()), kSecAttrService, "");
    EXPECT_EQ(dataOf(original), "first");
    EXPECT_EQ(SecItemDelete(with(original, kSecValueData, bytesOf("other"))), errSecSuccess);
    EXPECT_EQ(SecItemDelete(original), errSecItemNotFound);

    // Accounts are stored verbatim.
    const std::vector<std::string> accounts = {
        "it's",    "\"quoted\"", "x'); DROP TABLE items; --",   "100%", "a_b",
        "ünïcødé", "a\nb",       std::string("nul\0inside", 10)};
    for (const auto& account : accounts) {
        ASSERT_EQ(add(password(account, "value of " + account)), errSecSuccess) << account;
    }
    for (const auto& account : accounts) {
        EXPECT_EQ(dataOf(password(account)), "value of " + account) << account;
        EXPECT_EQ(attributesOf(password(account))[kSecAttrAccount], account) << account;
    }
    for (const std::string near : {"100", "aXb", "nul"}) {
        EXPECT_EQ(dataOf(password(near)), notFound) << near;
    }
}

TEST(SecItemTest, NewestMatchWinsSynchronizableItemsWhenAskedForAndGroupsTheProcessIsEntitledTo) {
    const testing::ScopedPlatformConfig entitled(
        [](PlatformConfig& config) { config.keychainAccessGroups = {"LOCALAPP00.second"}; });
    const Json item = password("newest");
    const Json synced = with(item, kSecAttrSynchronizable, true);
    ASSERT_EQ(add(password("newest", "old")), errSecSuccess);
    ASSERT_EQ(add(inGroup(password("newest", "new"), "LOCALAPP00.second")), errSecSuccess);
    ASSERT_EQ(add(with(synced, kSecValueData, bytesOf("cloud"))), errSecSuccess);
    EXPECT_EQ(dataOf(item), "new");
    EXPECT_EQ(dataOf(synced), "cloud");

    Json all;
    const Json everyData =
        with(with(item, kSecReturnData, true), kSecMatchLimit, kSecMatchLimitAll);
    ASSERT_EQ(SecItemCopyMatching(everyData, &all), errSecSuccess);
    EXPECT_EQ(all, Json::array({bytesOf("new"), bytesOf("old")}));

    ASSERT_EQ(SecItemDelete(inGroup(item, "LOCALAPP00.second")), errSecSuccess);
    EXPECT_EQ(dataOf(item), "old");
    // Removing without kSecAttrSynchronizable leaves the synchronizable item alone.
    ASSERT_EQ(SecItemDelete(item), errSecSuccess);
    EXPECT_EQ(dataOf(synced), "cloud");

    // A query without access group sees the default group and the entitled groups only; naming a
    // group reaches it. Another application's items (its default group) stay out of sight, and out
    // of reach of a delete without group.
    const Json entitledItem = password("entitled");
    ASSERT_EQ(
        add(inGroup(password("entitled", "another application's"), "LOCALAPP00.com.example.other")),
        errSecSuccess);
    ASSERT_EQ(add(inGroup(password("entitled", "shared"), "LOCALAPP00.shared.entitled")),
              errSecSuccess);
    EXPECT_EQ(dataOf(entitledItem), notFound);
    EXPECT_EQ(SecItemDelete(entitledItem), errSecItemNotFound);
    EXPECT_EQ(dataOf(inGroup(entitledItem, "LOCALAPP00.shared.entitled")), "shared");
    {
        const testing::ScopedPlatformConfig sharedEntitled([](PlatformConfig& config) {
            config.keychainAccessGroups = {"LOCALAPP00.shared.entitled"};
        });
        EXPECT_EQ(dataOf(entitledItem), "shared");
        EXPECT_EQ(SecItemDelete(entitledItem), errSecSuccess);
    }
    const testing::ScopedPlatformConfig other(
        [](PlatformConfig& config) { config.bundleIdentifier = "com.example.other"; });
    EXPECT_EQ(dataOf(entitledItem), "another application's");
}

// Key lookups and deletes ignore the accessibility asked for: the stored one is kept.
TEST(SecItemTest, KeysWithOneTagKeepEveryDistinctKeyAndUpdatesRefuseWhatWouldMakeADuplicate) {
    const Json lookup = {{kSecClass, kSecClassKey},
                         {kSecAttrApplicationTag, bytesOf("instance.private")},
                         {kSecAttrAccessGroup, "LOCALAPP00.instance"}};
    Json key = with(with(lookup, kSecAttrKeyClass, kSecAttrKeyClassPrivate), kSecAttrKeyType,
                    kSecAttrKeyTypeRSA);
    key = with(with(key, kSecAttrKeySizeInBits, 1024), kSecAttrIsPermanent, true);
    key = with(key, kSecAttrAccessible, kSecAttrAccessibleAlways);
    ASSERT_EQ(add(with(key, kSecValueData, bytesOf("first key"))), errSecSuccess);
    EXPECT_EQ(add(with(key, kSecValueData, bytesOf("first key"))), errSecDuplicateItem);

    Json added;
    const Json second = with(key, kSecValueData, bytesOf("second key"));
    ASSERT_EQ(SecItemAdd(with(second, kSecReturnAttributes, true), &added), errSecSuccess);
    EXPECT_EQ(added, with(key, kSecAttrSynchronizable, false));

    EXPECT_EQ(dataOf(with(lookup, kSecAttrKeySizeInBits, 2048)), notFound);
    const Json otherChoice = with(lookup, kSecAttrAccessible, kSecAttrAccessibleAfterFirstUnlock);
    EXPECT_EQ(dataOf(otherChoice), "second key");
    EXPECT_EQ(attributesOf(otherChoice)[kSecAttrAccessible], kSecAttrAccessibleAlways);
    EXPECT_EQ(SecItemDelete(otherChoice), errSecSuccess);
    EXPECT_EQ(dataOf(lookup), notFound);

    const Json pending = {{kSecClass, kSecClassKey},
                          {kSecAttrApplicationTag, bytesOf("update.pending.private")}};
    const Json committed = with(pending, kSecAttrApplicationTag, bytesOf("update.private"));
    ASSERT_EQ(add(with(pending, kSecValueData, bytesOf("new key"))), errSecSuccess);
    ASSERT_EQ(SecItemUpdate(pending, {{kSecAttrApplicationTag, bytesOf("update.private")}}),
              errSecSuccess);
    EXPECT_EQ(dataOf(committed), "new key");
    EXPECT_EQ(dataOf(pending), notFound);
    EXPECT_EQ(SecItemUpdate(pending, {{kSecAttrApplicationTag, bytesOf("x")}}), errSecItemNotFound);

    ASSERT_EQ(add(password("update-a", "a")), errSecSuccess);
    ASSERT_EQ(add(password("update-b", "b")), errSecSuccess);
    EXPECT_EQ(SecItemUpdate(password("update-b"), {{kSecAttrAccount, "update-a"}}),
              errSecDuplicateItem);
    EXPECT_EQ(dataOf(password("update-b")), "b");
    ASSERT_EQ(SecItemUpdate(password("update-b"), {{kSecValueData, bytesOf("bb")}}), errSecSuccess);
    EXPECT_EQ(dataOf(password("update-b")), "bb");

    for (const Json& refused : {Json{{kSecClass, kSecClassKey}}, Json{{kSecReturnData, true}},
                                Json::object(), Json{{"unknown", 1}}}) {
        EXPECT_EQ(SecItemUpdate(password("update-b"), refused), errSecParam) << refused.dump();
    }
}

TEST(SecItemTest, TransactionKeepsAllOrNothing) {
    ASSERT_EQ(add(password("transaction-old", "old")), errSecSuccess);
    const OSStatus failed = SecItemTransaction([] {
        EXPECT_EQ(SecItemDelete(password("transaction-old")), errSecSuccess);
        EXPECT_EQ(add(password("transaction-new", "new")), errSecSuccess);
        EXPECT_EQ(dataOf(password("transaction-new")), "new");  // seen inside
        return add(password("transaction-new", "again"));
    });
    EXPECT_EQ(failed, errSecDuplicateItem);
    EXPECT_EQ(dataOf(password("transaction-old")), "old");
    EXPECT_EQ(dataOf(password("transaction-new")), notFound);

    const OSStatus replaced = SecItemTransaction([] {
        SecItemDelete(password("transaction-old"));
        return SecItemTransaction([] { return add(password("transaction-old", "replaced")); });
    });
    EXPECT_EQ(replaced, errSecSuccess);
    EXPECT_EQ(dataOf(password("transaction-old")), "replaced");

    EXPECT_EQ(SecItemTransaction([]() -> OSStatus { throw std::runtime_error("step failed"); }),
              errSecIO);
    EXPECT_EQ(dataOf(password("transaction-old")), "replaced");
}

constexpr int itemsPerWriter = 40;

// Adds itemsPerWriter items of service "concurrent", then tries the one item, in a group every
// application may use, that all writers contend for.
void addConcurrentItems(const std::string& writer) {
    for (int i = 0; i < itemsPerWriter; ++i) {
        auto account = "concurrent-" + writer + "-" + std::to_string(i);
        add(with(password(account, account), kSecAttrService, "concurrent"));
    }
    add(inGroup(with(password("contested"), kSecAttrService, "concurrent"), "LOCALAPP00.shared"));
}

// Runs in a forked process acting as another application of the same user (the same home and
// prefix, another bundle identifier): takes the item shared with it, answers in its own default
// group, and adds its share of the concurrent items. 0 when the shared item was seen and taken
// and the answer stored.
int otherApplication() {
    auto config = *PlatformConfig::current();
    config.bundleIdentifier = "com.example.app.extension";
    PlatformConfig::install(config);
    const Json shared = inGroup(password("shared"), "LOCALAPP00.shared.group");
    const bool seen = dataOf(shared) == "from application";
    const bool taken = SecItemDelete(shared) == errSecSuccess;
    const bool replied = add(password("shared-reply", "from extension")) == errSecSuccess;
    addConcurrentItems("process");
    return seen && taken && replied ? 0 : 1;
}

TEST(SecItemTest, AnotherApplicationSharesAGroupAndConcurrentAddsLoseNothing) {
    const Json shared = inGroup(password("shared"), "LOCALAPP00.shared.group");
    ASSERT_EQ(add(with(shared, kSecValueData, bytesOf("from application"))), errSecSuccess);
    const pid_t otherProcess = fork();
    if (otherProcess == 0) {
        _exit(otherApplication());
    }
    constexpr int threads = 8;
    std::vector<std::thread> workers;
    for (int thread = 0; thread < threads; ++thread) {
        workers.emplace_back([thread] { addConcurrentItems(std::to_string(thread)); });
    }
    for (auto& worker : workers) {
        worker.join();
    }
    int status = -1;
    waitpid(otherProcess, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    const testing::ScopedPlatformConfig entitled([](PlatformConfig& config) {
        config.keychainAccessGroups = {"LOCALAPP00.shared", "LOCALAPP00.com.example.app.extension"};
    });
    Json all;
    const Json concurrent = {{kSecClass, kSecClassGenericPassword},
                             {kSecAttrService, "concurrent"},
                             {kSecReturnAttributes, true},
                             {kSecMatchLimit, kSecMatchLimitAll}};
    ASSERT_EQ(SecItemCopyMatching(concurrent, &all), errSecSuccess);
    EXPECT_EQ(all.size(), std::size_t{(threads + 1) * itemsPerWriter + 1});  // one contested

    EXPECT_EQ(dataOf(shared), notFound);
    EXPECT_EQ(dataOf(password("shared-reply")), "from extension");
    EXPECT_EQ(dataOf(inGroup(password("shared-reply"), defaultGroup())), notFound);
    EXPECT_EQ(dataOf(inGroup(password("shared-reply"), "LOCALAPP00.com.example.app.extension")),
              "from extension");
}

// A subscription must not commit its key into a keychain file removed under it and report
// success: the call that finds the file gone fails; the next one starts the file then found.
TEST(SecItemTest, AKeychainFileRemovedWhileOpenFailsTheNextCallAndNothingGoesIntoIt) {
    ASSERT_EQ(add(password("before removal", "v")), errSecSuccess);
    const auto file = Home::keychainFile();
    for (const auto* suffix : {"", "-wal", "-shm"}) {
        std::filesystem::remove(file.string() + suffix);
    }
    EXPECT_EQ(add(password("after removal", "lost")), errSecIO);
    EXPECT_EQ(dataOf(password("before removal")), notFound);
    ASSERT_EQ(add(password("in the new file", "kept")), errSecSuccess);
    EXPECT_EQ(testing::sqliteOutput(file, "SELECT group_concat(account) FROM items"),
              "in the new file\n");
}

}  // namespace
}  // namespace orvanpush::platform

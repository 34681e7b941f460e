#include "platform/SecItem.h"

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "orvanpush/platform/PlatformConfig.h"
#include "platform/Home.h"

namespace orvanpush::platform {
namespace {

Json bytesOf(const std::string& text) {
    return Json::binary(Bytes(text.begin(), text.end()));
}

Json password(const std::string& account) {
    return {{kSecClass, kSecClassGenericPassword}, {kSecAttrAccount, account}};
}

Json password(const std::string& account, const std::string& value) {
    Json item = password(account);
    item[kSecValueData] = bytesOf(value);
    return item;
}

Json with(Json dictionary, const char* key, Json value) {
    dictionary[key] = std::move(value);
    return dictionary;
}

Json dataQuery(Json query) {
    return with(std::move(query), kSecReturnData, true);
}

// The data of the newest item matching `query`, or the status when there is none.
std::string dataOf(const Json& query) {
    Json result;
    OSStatus status = SecItemCopyMatching(dataQuery(query), &result);
    if (status != errSecSuccess) {
        return "status " + std::to_string(status);
    }
    const auto& bytes = result.get_binary();
    return std::string(bytes.begin(), bytes.end());
}

std::string defaultGroup() {
    auto config = PlatformConfig::current();
    return config->appIdentifierPrefix + "." + config->bundleIdentifier;
}

// Every test starts from an empty keychain.
class SecItemTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* itemClass : {kSecClassGenericPassword, kSecClassKey}) {
            for (bool synchronizable : {false, true}) {
                SecItemDelete({{kSecClass, itemClass}, {kSecAttrSynchronizable, synchronizable}});
            }
        }
    }
};

TEST_F(SecItemTest, AddCopyDeleteRoundTrip) {
    ASSERT_EQ(SecItemAdd(password("round-trip", "secret"), nullptr), errSecSuccess);
    EXPECT_EQ(dataOf(password("round-trip")), "secret");

    Json attributes;
    ASSERT_EQ(
        SecItemCopyMatching(with(password("round-trip"), kSecReturnAttributes, true), &attributes),
        errSecSuccess);
    EXPECT_EQ(attributes, Json({{kSecClass, kSecClassGenericPassword},
                                {kSecAttrAccount, "round-trip"},
                                {kSecAttrService, ""},
                                {kSecAttrAccessGroup, defaultGroup()},
                                {kSecAttrSynchronizable, false}}));

    EXPECT_EQ(SecItemDelete(password("round-trip")), errSecSuccess);
    EXPECT_EQ(dataOf(password("round-trip")), "status -25300");
    EXPECT_EQ(SecItemDelete(password("round-trip")), errSecItemNotFound);
}

TEST_F(SecItemTest, DuplicatesAreSameClassAccountServiceGroupAndSynchronizable) {
    Json item = password("duplicate", "first");
    ASSERT_EQ(SecItemAdd(item, nullptr), errSecSuccess);
    EXPECT_EQ(SecItemAdd(with(item, kSecValueData, bytesOf("second")), nullptr),
              errSecDuplicateItem);
    EXPECT_EQ(SecItemAdd(with(item, kSecAttrAccessGroup, defaultGroup()), nullptr),
              errSecDuplicateItem);
    EXPECT_EQ(SecItemAdd(with(item, kSecAttrService, ""), nullptr), errSecDuplicateItem);
    EXPECT_EQ(dataOf(password("duplicate")), "first");

    EXPECT_EQ(SecItemAdd(with(item, kSecAttrService, "other"), nullptr), errSecSuccess);
    EXPECT_EQ(SecItemAdd(with(item, kSecAttrAccessGroup, "LOCALAPP00.other"), nullptr),
              errSecSuccess);
    EXPECT_EQ(SecItemAdd(with(item, kSecAttrSynchronizable, true), nullptr), errSecSuccess);
    EXPECT_EQ(SecItemAdd(with(password("Duplicate", "x"), kSecAttrService, ""), nullptr),
              errSecSuccess);
}

TEST_F(SecItemTest, NewestMatchWinsAndAllMatchesComeNewestFirst) {
    Json item = password("newest");
    ASSERT_EQ(SecItemAdd(with(with(item, kSecValueData, bytesOf("old")), kSecAttrAccessGroup,
                              "LOCALAPP00.first"),
                         nullptr),
              errSecSuccess);
    ASSERT_EQ(SecItemAdd(with(with(item, kSecValueData, bytesOf("new")), kSecAttrAccessGroup,
                              "LOCALAPP00.second"),
                         nullptr),
              errSecSuccess);
    EXPECT_EQ(dataOf(item), "new");
    EXPECT_EQ(dataOf(with(item, kSecAttrAccessGroup, "LOCALAPP00.first")), "old");

    Json all;
    ASSERT_EQ(SecItemCopyMatching(with(dataQuery(item), kSecMatchLimit, kSecMatchLimitAll), &all),
              errSecSuccess);
    EXPECT_EQ(all, Json::array({bytesOf("new"), bytesOf("old")}));

    ASSERT_EQ(SecItemDelete(with(item, kSecAttrAccessGroup, "LOCALAPP00.second")), errSecSuccess);
    EXPECT_EQ(dataOf(item), "old");
}

TEST_F(SecItemTest, SynchronizableItemsAreSeenOnlyWhenAskedFor) {
    ASSERT_EQ(SecItemAdd(with(password("synced", "cloud"), kSecAttrSynchronizable, true), nullptr),
              errSecSuccess);
    EXPECT_EQ(dataOf(password("synced")), "status -25300");
    EXPECT_EQ(dataOf(with(password("synced"), kSecAttrSynchronizable, false)), "status -25300");
    EXPECT_EQ(dataOf(with(password("synced"), kSecAttrSynchronizable, true)), "cloud");

    ASSERT_EQ(SecItemAdd(password("synced", "local"), nullptr), errSecSuccess);
    EXPECT_EQ(dataOf(password("synced")), "local");
    EXPECT_EQ(SecItemDelete(password("synced")), errSecSuccess);
    EXPECT_EQ(dataOf(with(password("synced"), kSecAttrSynchronizable, true)), "cloud");
}

TEST_F(SecItemTest, ValueDataInAQueryDoesNotRestrictTheMatch) {
    ASSERT_EQ(SecItemAdd(password("replaced", "old"), nullptr), errSecSuccess);
    EXPECT_EQ(SecItemDelete(password("replaced", "new")), errSecSuccess);
    EXPECT_EQ(SecItemAdd(password("replaced", "new"), nullptr), errSecSuccess);
    EXPECT_EQ(dataOf(password("replaced", "something else")), "new");
}

TEST_F(SecItemTest, AccountsAreStoredVerbatim) {
    const std::vector<std::string> accounts = {
        "it's",    "\"quoted\"", "x'); DROP TABLE items; --",   "100%", "a_b",
        "ünïcødé", "a\nb",       std::string("nul\0inside", 10)};
    for (const auto& account : accounts) {
        ASSERT_EQ(SecItemAdd(password(account, "value of " + account), nullptr), errSecSuccess)
            << account;
    }
    for (const auto& account : accounts) {
        EXPECT_EQ(dataOf(password(account)), "value of " + account) << account;
        Json attributes;
        ASSERT_EQ(
            SecItemCopyMatching(with(password(account), kSecReturnAttributes, true), &attributes),
            errSecSuccess);
        EXPECT_EQ(attributes[kSecAttrAccount], account);
    }
    EXPECT_EQ(dataOf(password("100")), "status -25300");
    EXPECT_EQ(dataOf(password("aXb")), "status -25300");
    EXPECT_EQ(dataOf(password(std::string("nul"))), "status -25300");
}

TEST_F(SecItemTest, MalformedDictionariesAreRefusedAndChangeNothing) {
    const std::vector<Json> malformed = {
        Json::array(),
        {{kSecAttrAccount, "bad"}},
        {{kSecClass, "cert"}, {kSecAttrAccount, "bad"}},
        with(password("bad"), "unknownAttribute", "x"),
        with(password("bad"), kSecAttrService, 7),
        with(password("bad"), kSecValueData, "text instead of data"),
        with(password("bad"), kSecAttrSynchronizable, "yes"),
        with(password("bad"), kSecAttrKeySizeInBits, std::uint64_t{1} << 63),
        with(password("bad"), kSecMatchLimit, "everything"),
        {{kSecClass, kSecClassGenericPassword}, {kSecAttrAccount, nullptr}},
    };
    for (const auto& dictionary : malformed) {
        Json result = "untouched";
        EXPECT_EQ(SecItemAdd(dictionary, &result), errSecParam) << dictionary.dump();
        EXPECT_EQ(SecItemCopyMatching(dictionary, &result), errSecParam) << dictionary.dump();
        EXPECT_EQ(SecItemDelete(dictionary), errSecParam) << dictionary.dump();
        EXPECT_EQ(result, "untouched");
    }
    EXPECT_EQ(dataOf(password("bad")), "status -25300");
}

TEST_F(SecItemTest, KeysWithOneTagKeepEveryDistinctKeyAndTheNewestWins) {
    Json key = {{kSecClass, kSecClassKey},
                {kSecAttrApplicationTag, bytesOf("instance.private")},
                {kSecAttrKeyClass, kSecAttrKeyClassPrivate},
                {kSecAttrKeyType, kSecAttrKeyTypeRSA},
                {kSecAttrKeySizeInBits, 1024},
                {kSecAttrIsPermanent, true},
                {kSecAttrAccessGroup, "LOCALAPP00.instance"}};
    ASSERT_EQ(SecItemAdd(with(key, kSecValueData, bytesOf("first key")), nullptr), errSecSuccess);
    EXPECT_EQ(SecItemAdd(with(key, kSecValueData, bytesOf("first key")), nullptr),
              errSecDuplicateItem);

    Json added;
    ASSERT_EQ(SecItemAdd(
                  with(with(key, kSecValueData, bytesOf("second key")), kSecReturnAttributes, true),
                  &added),
              errSecSuccess);
    EXPECT_EQ(added, with(with(key, kSecAttrSynchronizable, false), kSecClass, kSecClassKey));

    Json lookup = {{kSecClass, kSecClassKey},
                   {kSecAttrApplicationTag, bytesOf("instance.private")},
                   {kSecAttrAccessGroup, "LOCALAPP00.instance"}};
    EXPECT_EQ(dataOf(lookup), "second key");
    EXPECT_EQ(dataOf(with(lookup, kSecAttrKeySizeInBits, 2048)), "status -25300");
    EXPECT_EQ(dataOf(with(lookup, kSecAttrApplicationTag, bytesOf("instance"))), "status -25300");
    EXPECT_EQ(dataOf(password("instance.private")), "status -25300");
}

TEST_F(SecItemTest, KeychainFileIsPrivate) {
    ASSERT_EQ(SecItemAdd(password("private-file", "x"), nullptr), errSecSuccess);
    namespace fs = std::filesystem;
    auto file = Home::keychainFile();
    EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(fs::status(file.parent_path()).permissions(), fs::perms::owner_all);
}

// Starts `body` in a forked process acting as another application of the same user: the same
// home and prefix, another bundle identifier. Its exit status is what `body` returns.
pid_t startAsOtherApplication(const std::string& bundleIdentifier, int (*body)()) {
    pid_t child = fork();
    if (child == 0) {
        auto config = *PlatformConfig::current();
        config.bundleIdentifier = bundleIdentifier;
        PlatformConfig::install(config);
        _exit(body());
    }
    return child;
}

int exitStatusOf(pid_t child) {
    int status = -1;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

constexpr int itemsPerWriter = 40;

// Adds itemsPerWriter items of service "concurrent"; the number of adds that failed.
int addConcurrentItems(const std::string& writer) {
    int failures = 0;
    for (int i = 0; i < itemsPerWriter; ++i) {
        auto account = "concurrent-" + writer + "-" + std::to_string(i);
        if (SecItemAdd(with(password(account, account), kSecAttrService, "concurrent"), nullptr) !=
            errSecSuccess) {
            ++failures;
        }
    }
    return failures;
}

TEST_F(SecItemTest, ConcurrentAddsFromThreadsAndProcessesLoseNothing) {
    constexpr int threads = 8;
    pid_t otherProcess = startAsOtherApplication("com.example.app.extension",
                                                 [] { return addConcurrentItems("process"); });
    std::atomic<int> failures{0};
    std::atomic<int> contestedWins{0};
    std::vector<std::thread> workers;
    for (int thread = 0; thread < threads; ++thread) {
        workers.emplace_back([&, thread] {
            failures += addConcurrentItems(std::to_string(thread));
            if (SecItemAdd(password("contested", std::to_string(thread)), nullptr) ==
                errSecSuccess) {
                ++contestedWins;
            }
        });
    }
    for (auto& worker : workers) {
        worker.join();
    }
    EXPECT_EQ(exitStatusOf(otherProcess), 0);
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(contestedWins, 1);

    Json all;
    Json query = {{kSecClass, kSecClassGenericPassword},
                  {kSecAttrService, "concurrent"},
                  {kSecReturnAttributes, true},
                  {kSecMatchLimit, kSecMatchLimitAll}};
    ASSERT_EQ(SecItemCopyMatching(query, &all), errSecSuccess);
    EXPECT_EQ(all.size(), std::size_t{(threads + 1) * itemsPerWriter});
}

TEST_F(SecItemTest, SharedGroupItemsAreVisibleToAnotherBundle) {
    Json shared = with(password("shared"), kSecAttrAccessGroup, "LOCALAPP00.shared.group");
    ASSERT_EQ(SecItemAdd(with(shared, kSecValueData, bytesOf("from application")), nullptr),
              errSecSuccess);

    pid_t child = startAsOtherApplication("com.example.app.extension", [] {
        Json shared = with(password("shared"), kSecAttrAccessGroup, "LOCALAPP00.shared.group");
        if (dataOf(shared) != "from application") {
            return 1;
        }
        if (SecItemAdd(password("shared-reply", "from extension"), nullptr) != errSecSuccess) {
            return 2;
        }
        return SecItemDelete(shared) == errSecSuccess ? 0 : 3;
    });
    ASSERT_EQ(exitStatusOf(child), 0);

    EXPECT_EQ(dataOf(shared), "status -25300");
    EXPECT_EQ(dataOf(password("shared-reply")), "from extension");
    EXPECT_EQ(dataOf(with(password("shared-reply"), kSecAttrAccessGroup, defaultGroup())),
              "status -25300");
    EXPECT_EQ(dataOf(with(password("shared-reply"), kSecAttrAccessGroup,
                          "LOCALAPP00.com.example.app.extension")),
              "from extension");
}

}  // namespace
}  // namespace orvanpush::platform

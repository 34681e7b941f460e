// The settings, keychain and message store files as the application and its extension share
// them: a connection of the library keeps SQLite's lock on its file for as long as it is open,
// so another process's last close never deletes the -wal and -shm files under it.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "orvanpush/platform/PlatformConfig.h"
#include "platform/Home.h"
#include "platform/MessageDatabase.h"
#include "platform/SecItem.h"
#include "platform/SqliteDatabase.h"
#include "platform/UserDefaults.h"
#include "support/ChildProcess.h"
#include "support/SqliteOracle.h"
#include "support/TestHome.h"

namespace orvanpush::platform {
namespace {

using testing::holdsPosixLock;
using testing::sqliteOutput;

constexpr const char* kSharedSuite = "group.shared-files";

Json keyQuery(const std::string& tag, const char* keyClass = kSecAttrKeyClassPrivate) {
    return {{kSecClass, kSecClassKey},
            {kSecAttrApplicationTag, Json::binary(Bytes(tag.begin(), tag.end()))},
            {kSecAttrKeyClass, keyClass}};
}

// Both halves of a pair under `name`, in one keychain transaction, as a subscription commits.
OSStatus addKeyPair(const std::string& name) {
    return SecItemTransaction([&] {
        for (const auto& [half, keyClass] : {std::pair(".public", kSecAttrKeyClassPublic),
                                             std::pair(".private", kSecAttrKeyClassPrivate)}) {
            const std::string tag = name + half;
            Json key = keyQuery(tag, keyClass);
            key[kSecValueData] = Json::binary(Bytes(tag.begin(), tag.end()));
            if (const OSStatus status = SecItemAdd(key, nullptr); status != errSecSuccess) {
                return status;
            }
        }
        return errSecSuccess;
    });
}

TEST(SharedFileLocksTest, EveryLiveConnectionOfTheLibraryHoldsALockOnItsFile) {
    testing::TempDirectory directory;
    const auto existing = directory.path() / "existing.sqlite";
    SqliteDatabase(existing).execute("CREATE TABLE t (v)");
    SqliteDatabase reopened(existing);
    SqliteDatabase created(directory.path() / "created.sqlite");
    created.execute("CREATE TABLE t (v)");  // a new file is used from its first read on
    MessageDatabase store(directory.path());
    UserDefaults::suite("locks")->set("key", std::string("value"));
    const auto settings = UserDefaults::suite("locks");
    ASSERT_EQ(settings->string("key"), "value");
    ASSERT_EQ(SecItemCopyMatching(keyQuery("no such key"), nullptr), errSecItemNotFound);

    for (const auto& file : {existing, created.path(), store.path(), Home::defaultsFile("locks"),
                             Home::keychainFile()}) {
        EXPECT_TRUE(holdsPosixLock(file, ::getpid())) << file;
    }
}

// Run by the test below in a home of its own (ORVANPUSH_CHILD_HOME), as one of three roles
// (ORVANPUSH_CHILD_ROLE): "creator" makes the keychain and the settings file and exits;
// "writer", the long-lived process, opens those existing files and commits a key pair and a
// setting for each name it reads from its input, printing "committed <name>"; "reader", a short
// process, opens them, looks for the name ORVANPUSH_CHILD_EXPECTS, prints "found: ..." and
// exits. Skipped in an ordinary run.
TEST(SharedFileChild, PlaysItsRole) {
    const char* home = std::getenv("ORVANPUSH_CHILD_HOME");
    const char* role = std::getenv("ORVANPUSH_CHILD_ROLE");
    if (home == nullptr || role == nullptr) {
        GTEST_SKIP() << "run by SharedFileProcessesTest";
    }
    auto config = *PlatformConfig::current();
    config.home = home;
    PlatformConfig::install(config);
    const auto settings = UserDefaults::suite(kSharedSuite);
    if (std::string(role) == "creator") {
        settings->set("created", std::string("by the creator"));
        EXPECT_EQ(addKeyPair("created"), errSecSuccess);
    } else if (std::string(role) == "writer") {
        ASSERT_EQ(settings->string("created"), "by the creator");
        for (std::string name; std::getline(std::cin, name);) {
            EXPECT_EQ(addKeyPair(name), errSecSuccess);
            settings->set(name, name);
            std::printf("committed %s\n", name.c_str());
            std::fflush(stdout);
        }
    } else {
        const std::string name = std::getenv("ORVANPUSH_CHILD_EXPECTS");
        const bool key = SecItemCopyMatching(keyQuery(name + ".private"), nullptr) == errSecSuccess;
        const bool setting = settings->string(name) == name;
        std::printf("found: %s %s\n", key ? "key" : "no-key", setting ? "setting" : "no-setting");
    }
}

// The long-lived process commits while short processes come and go, each opening the files
// that exist and exiting again; whatever was committed is still there for them and for an
// independent reader at the end.
TEST(SharedFileProcessesTest, ShortProcessesReadingWhileAnotherCommitsLoseNothing) {
    constexpr int rounds = 8;
    const testing::TempDirectory home;
    const auto childOf = [&](const std::string& role, const std::string& expects = "") {
        return std::make_unique<testing::ChildProcess>(
            std::vector<std::string>{testing::thisProgram(), "--gtest_filter=SharedFileChild.*"},
            std::vector<std::string>{"ORVANPUSH_CHILD_HOME=" + home.path().string(),
                                     "ORVANPUSH_CHILD_ROLE=" + role,
                                     "ORVANPUSH_CHILD_EXPECTS=" + expects});
    };
    ASSERT_EQ(childOf("creator")->wait(), 0);
    auto writer = childOf("writer");
    for (int round = 0; round < rounds; ++round) {
        const auto name = "round-" + std::to_string(round);
        writer->writeInput(name + "\n");
        auto line = writer->readLine();
        while (line && !line->starts_with("committed ")) {
            line = writer->readLine();
        }
        ASSERT_EQ(line, "committed " + name);
        auto reader = childOf("reader", name);
        std::string found;
        while (auto line = reader->readLine()) {
            if (line->starts_with("found: ")) {
                found = line->substr(7);
            }
        }
        EXPECT_EQ(reader->wait(), 0);
        EXPECT_EQ(found, "key setting") << name;
    }
    writer->closeInput();
    while (writer->readLine()) {
    }
    EXPECT_EQ(writer->wait(), 0);

    const auto keychain = home.path() / "keychain" / "keychain.sqlite";
    const auto settings = home.path() / "defaults" / (std::string(kSharedSuite) + ".sqlite");
    EXPECT_EQ(sqliteOutput(keychain,
                           "SELECT count(*) FROM items WHERE CAST(application_tag AS "
                           "TEXT) LIKE 'round-%'"),
              std::to_string(2 * rounds) + "\n");
    EXPECT_EQ(sqliteOutput(settings, "SELECT count(*) FROM defaults WHERE key LIKE 'round-%'"),
              std::to_string(rounds) + "\n");
    for (const auto& file : {keychain, settings}) {
        EXPECT_EQ(sqliteOutput(file, "PRAGMA integrity_check"), "ok\n") << file;
    }
}

}  // namespace
}  // namespace orvanpush::platform

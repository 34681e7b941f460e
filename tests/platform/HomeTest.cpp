#include "platform/Home.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "orvanpush/TextError.h"
#include "platform/FileSystem.h"
#include "platform/UserDefaults.h"
#include "support/DirectoryReadFault.h"
#include "support/TestHome.h"

namespace orvanpush::platform {
namespace {

namespace fs = std::filesystem;
using testing::ScopedPlatformConfig;
using testing::TempDirectory;

ScopedPlatformConfig homeAt(const fs::path& home) {
    return ScopedPlatformConfig([&](PlatformConfig& config) { config.home = home; });
}

TEST(HomeTest, RefusesUnsafeNamesAndLaysOutPrivateDirectoriesNarrowingLooserOnes) {
    using namespace std::string_literals;
    for (const auto& name :
         {""s, "."s, ".."s, "a/b"s, "/abs"s, "nul\0inside"s, "../up"s, std::string(256, 'x')}) {
        EXPECT_FALSE(isSafePathComponent(name)) << name;
        EXPECT_THROW(Home::defaultsFile(name), TextError) << name;
        EXPECT_THROW(Home::containerDirectory(name), TextError) << name;
    }
    EXPECT_TRUE(isSafePathComponent(std::string(255, 'x')));
    // The suite's file name, extension included, must fit.
    EXPECT_THROW(Home::defaultsFile(std::string(250, 'x')), TextError);
    EXPECT_FALSE(FileSystem::exists(Home::root() / "up"));

    TempDirectory directory;
    const auto home = directory.path() / "home";
    fs::create_directories(home / "defaults");
    fs::create_directories(home / "documents" / "orvanpush.tests");
    for (const char* looser : {"", "defaults", "documents", "documents/orvanpush.tests"}) {
        fs::permissions(home / looser, fs::perms(0755));
    }
    const auto scoped = homeAt(home);

    EXPECT_EQ(Home::defaultsFile("suite.one"), home / "defaults" / "suite.one.sqlite");
    EXPECT_EQ(Home::containerDirectory("group.shared"), home / "containers" / "group.shared");
    EXPECT_EQ(Home::documentsDirectory(), home / "documents" / "orvanpush.tests");
    EXPECT_EQ(Home::keychainFile(), home / "keychain" / "keychain.sqlite");
    EXPECT_EQ(Home::notifyFile("changed"), home / "notify" / "changed");
    for (const char* directory : {"defaults", "containers", "containers/group.shared", "keychain",
                                  "documents", "documents/orvanpush.tests", "notify"}) {
        EXPECT_EQ(fs::status(home / directory).permissions(), fs::perms::owner_all) << directory;
    }
    // The home is the user's: left as it is.
    EXPECT_EQ(fs::status(home).permissions(), fs::perms(0755));
}

// A library directory that is a link serves (so does a home behind one: see the linked-home
// scenario), and its target's mode is the user's; only the database file may not be a link.
TEST(HomeTest, StoresWorkInALinkedDirectoryLeftAsItIs) {
    TempDirectory directory;
    const auto elsewhere = directory.path() / "elsewhere";
    fs::create_directories(elsewhere);
    fs::permissions(elsewhere, fs::perms(0755));
    fs::create_directories(directory.path() / "home");
    fs::create_directory_symlink(elsewhere, directory.path() / "home" / "defaults");
    const auto scoped = homeAt(directory.path() / "home");

    UserDefaults::suite("linked")->set("key", std::string("value"));
    EXPECT_EQ(UserDefaults::suite("linked")->string("key"), "value");
    EXPECT_TRUE(fs::is_regular_file(elsewhere / "linked.sqlite"));
    EXPECT_EQ(fs::status(elsewhere).permissions(), fs::perms(0755));

    fs::create_symlink(elsewhere / "linked.sqlite", elsewhere / "alias.sqlite");
    EXPECT_EQ(UserDefaults::suite("alias"), nullptr);
}

TEST(FileSystemTest, AListingThatFailsPartWayIsReportedNotThrown) {
    TempDirectory directory;
    for (const char* name : {"a", "b", "c", "d"}) {
        std::ofstream(directory.path() / name).close();
    }
    std::vector<std::string> names;
    ASSERT_TRUE(FileSystem::listDirectory(directory.path(), names));
    EXPECT_EQ(names.size(), 4u);

    const testing::DirectoryReadFault fault(3);
    FileResult listed;
    EXPECT_NO_THROW(listed = FileSystem::listDirectory(directory.path(), names));
    EXPECT_FALSE(listed);
    EXPECT_FALSE(listed.error.empty());
    EXPECT_TRUE(names.empty());
}

}  // namespace
}  // namespace orvanpush::platform

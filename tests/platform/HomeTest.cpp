#include "platform/Home.h"

#include <gtest/gtest.h>

#include "orvanpush/TextError.h"
#include "platform/FileSystem.h"
#include "support/TestHome.h"

namespace orvanpush::platform {
namespace {

TEST(HomeTest, RefusesNamesThatAreNotASinglePathComponent) {
    using namespace std::string_literals;
    for (const auto& name : {""s, "."s, ".."s, "a/b"s, "/abs"s, "nul\0inside"s, "../up"s}) {
        EXPECT_FALSE(isSafePathComponent(name)) << name;
        EXPECT_THROW(Home::defaultsFile(name), TextError) << name;
        EXPECT_THROW(Home::containerDirectory(name), TextError) << name;
    }
    EXPECT_FALSE(FileSystem::exists(Home::root() / "up"));
}

TEST(HomeTest, LaysOutPrivateDirectoriesUnderTheHome) {
    const auto& home = testing::testHome();
    EXPECT_EQ(Home::defaultsFile("suite.one"), home / "defaults" / "suite.one.sqlite");
    EXPECT_EQ(Home::containerDirectory("group.shared"), home / "containers" / "group.shared");
    EXPECT_EQ(Home::documentsDirectory(), home / "documents" / "orvanpush.tests");
    EXPECT_EQ(Home::keychainFile(), home / "keychain" / "keychain.sqlite");
    for (const char* directory :
         {"defaults", "containers", "containers/group.shared", "keychain"}) {
        const auto mode = std::filesystem::status(home / directory).permissions();
        EXPECT_EQ(mode, std::filesystem::perms::owner_all) << directory;
    }
}

}  // namespace
}  // namespace orvanpush::platform

#include "platform/Home.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "orvanpush/TextError.h"
#include "platform/FileSystem.h"
#include "support/TestHome.h"

namespace orvanpush::platform {
namespace {

mode_t modeOf(const std::filesystem::path& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 0777;
}

TEST(HomeTest, RefusesNamesThatAreNotASinglePathComponent) {
    using namespace std::string_literals;
    for (const auto& name : {""s, "."s, ".."s, "a/b"s, "/abs"s, "nul\0inside"s, "../up"s}) {
        EXPECT_FALSE(isSafePathComponent(name)) << name;
        EXPECT_THROW(Home::defaultsFile(name), TextError) << name;
        EXPECT_THROW(Home::containerDirectory(name), TextError) << name;
    }
    for (const auto& name : {"group.x"s, "com.example.app"s, "it's"s, "..a"s}) {
        EXPECT_TRUE(isSafePathComponent(name)) << name;
    }
    EXPECT_FALSE(FileSystem::exists(Home::root() / "up"));
}

TEST(HomeTest, LaysOutPrivateDirectoriesUnderTheHome) {
    EXPECT_EQ(Home::root(), testing::testHome());
    auto defaults = Home::defaultsFile("suite.one");
    EXPECT_EQ(defaults, testing::testHome() / "defaults" / "suite.one.sqlite");
    EXPECT_EQ(modeOf(defaults.parent_path()), 0700u);
    auto container = Home::containerDirectory("group.shared");
    EXPECT_EQ(container, testing::testHome() / "containers" / "group.shared");
    EXPECT_EQ(modeOf(container), 0700u);
    EXPECT_EQ(modeOf(container.parent_path()), 0700u);
    EXPECT_EQ(Home::documentsDirectory(), testing::testHome() / "documents" / "orvanpush.tests");
    EXPECT_EQ(Home::keychainFile(), testing::testHome() / "keychain" / "keychain.sqlite");
}

TEST(FileSystemTest, AppendFilesArePrivateAndAppend) {
    testing::TempDirectory directory;
    auto path = directory.path() / "log.txt";
    {
        auto file = AppendFile::open(path);
        ASSERT_TRUE(file);
        file->write("one\n");
        file->flush();
    }
    {
        auto file = AppendFile::open(path);
        ASSERT_TRUE(file);
        file->write("two\n");
    }
    EXPECT_EQ(FileSystem::readFile(path), "one\ntwo\n");
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_FALSE(AppendFile::open(directory.path() / "missing" / "log.txt"));
}

TEST(FileSystemTest, ListingAndRemovalReportFailuresAsText) {
    testing::TempDirectory directory;
    ASSERT_TRUE(FileSystem::createDirectories(directory.path() / "a" / "b"));
    std::vector<std::string> names;
    ASSERT_TRUE(FileSystem::listDirectory(directory.path(), names));
    EXPECT_EQ(names, std::vector<std::string>{"a"});
    EXPECT_TRUE(FileSystem::removeItem(directory.path() / "a"));
    EXPECT_FALSE(FileSystem::exists(directory.path() / "a"));
    auto missing = FileSystem::listDirectory(directory.path() / "nothing", names);
    EXPECT_FALSE(missing);
    EXPECT_FALSE(missing.error.empty());
}

}  // namespace
}  // namespace orvanpush::platform

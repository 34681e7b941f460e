#include "platform/UserDefaults.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <set>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "orvanpush/TextError.h"
#include "orvanpush/platform/PlatformConfig.h"
#include "platform/Home.h"
#include "support/TestHome.h"

extern char** environ;

namespace orvanpush::platform {
namespace {

using namespace std::chrono_literals;

// A child process runs this program again with only the test below selected; the environment
// tells it which home and suite to use and which keys to write.
constexpr const char* childHomeVariable = "ORVANPUSH_TEST_CHILD_HOME";
constexpr const char* childSuiteVariable = "ORVANPUSH_TEST_CHILD_SUITE";
constexpr const char* childPrefixVariable = "ORVANPUSH_TEST_CHILD_PREFIX";
constexpr const char* childCountVariable = "ORVANPUSH_TEST_CHILD_COUNT";

std::string uniqueSuite() {
    static std::atomic<int> counter{0};
    return "suite" + std::to_string(counter++);
}

mode_t permissions(const std::filesystem::path& path) {
    struct stat status {};
    EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
    return status.st_mode & 07777;
}

std::set<std::filesystem::path> treeBelow(const std::filesystem::path& root) {
    std::set<std::filesystem::path> entries;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        entries.insert(entry.path());
    }
    return entries;
}

// Writes "<prefix><i>" = i for i in [0, count) through the suite's store, in another process
// with nothing inherited from this one but the environment.
pid_t spawnWriter(const std::string& suite, const std::string& prefix, int count) {
    std::vector<std::string> environment;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        environment.emplace_back(*variable);
    }
    environment.push_back(std::string(childHomeVariable) + "=" + testing::testHome().string());
    environment.push_back(std::string(childSuiteVariable) + "=" + suite);
    environment.push_back(std::string(childPrefixVariable) + "=" + prefix);
    environment.push_back(std::string(childCountVariable) + "=" + std::to_string(count));
    std::vector<char*> envp;
    for (auto& variable : environment) {
        envp.push_back(variable.data());
    }
    envp.push_back(nullptr);

    const auto program = std::filesystem::read_symlink("/proc/self/exe").string();
    std::string filter = "--gtest_filter=UserDefaultsChild.WritesKeys";
    std::string brief = "--gtest_brief=1";
    std::vector<char*> argv{const_cast<char*>(program.c_str()), filter.data(), brief.data(),
                            nullptr};
    // The child's own test report would only clutter this one; its exit status says enough.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    EXPECT_EQ(::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

void expectSucceeded(pid_t pid) {
    ASSERT_GT(pid, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child failed: " << status;
}

TEST(UserDefaultsChild, WritesKeys) {
    const char* home = std::getenv(childHomeVariable);
    if (home == nullptr) {
        GTEST_SKIP() << "runs only as the child process of another test";
    }
    auto config = *PlatformConfig::current();
    config.home = home;
    PlatformConfig::install(config);
    const auto defaults = UserDefaults::suite(std::getenv(childSuiteVariable));
    ASSERT_TRUE(defaults);
    const std::string prefix = std::getenv(childPrefixVariable);
    const int count = std::atoi(std::getenv(childCountVariable));
    for (int index = 0; index < count; ++index) {
        defaults->set(prefix + std::to_string(index), std::int64_t{index});
    }
}

class UserDefaultsTest : public ::testing::Test {
  protected:
    std::string suite_ = uniqueSuite();
    std::shared_ptr<UserDefaults> defaults_ = UserDefaults::suite(suite_);
};

TEST_F(UserDefaultsTest, ValuesOfEachTypeRoundTripAndOtherTypesAnswerNothing) {
    ASSERT_TRUE(defaults_);
    const std::string text("caf\xc3\xa9\0tail", 10);
    const Date date = Date(std::chrono::nanoseconds(1'700'000'000'123'456'789));
    const Date beforeEpoch = Date(-86'400s - 1ns);
    const std::vector<std::string> list{"", "a\"b", "\xf0\x9f\x93\xa8", "x', NULL); --"};

    defaults_->set("text", text);
    defaults_->set("empty", std::string());
    defaults_->set("integer", std::numeric_limits<std::int64_t>::min());
    defaults_->set("date", date);
    defaults_->set("old", beforeEpoch);
    defaults_->set("list", list);
    defaults_->set("none", std::vector<std::string>{});

    EXPECT_EQ(defaults_->string("text"), text);
    EXPECT_EQ(defaults_->string("empty"), "");
    EXPECT_EQ(defaults_->integer("integer"), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(defaults_->date("date"), date);
    EXPECT_EQ(defaults_->date("old"), beforeEpoch);
    EXPECT_EQ(defaults_->stringList("list"), list);
    EXPECT_EQ(defaults_->stringList("none"), std::vector<std::string>{});

    EXPECT_EQ(defaults_->integer("text"), std::nullopt);
    EXPECT_EQ(defaults_->stringList("text"), std::nullopt);
    EXPECT_EQ(defaults_->string("integer"), std::nullopt);
    EXPECT_EQ(defaults_->date("integer"), std::nullopt);
    EXPECT_EQ(defaults_->integer("date"), std::nullopt);
    EXPECT_EQ(defaults_->string("list"), std::nullopt);
    EXPECT_EQ(defaults_->string("missing"), std::nullopt);
}

TEST_F(UserDefaultsTest, SetReplacesAcrossTypesAndRemoveForgets) {
    ASSERT_TRUE(defaults_);
    defaults_->set("key", std::int64_t{7});
    defaults_->set("key", std::string("seven"));
    EXPECT_EQ(defaults_->string("key"), "seven");
    EXPECT_EQ(defaults_->integer("key"), std::nullopt);

    defaults_->set("key", std::vector<std::string>{"7"});
    EXPECT_EQ(defaults_->string("key"), std::nullopt);
    EXPECT_EQ(defaults_->stringList("key"), std::vector<std::string>{"7"});

    defaults_->set("other", std::string("kept"));
    defaults_->remove("key");
    defaults_->remove("never set");
    EXPECT_EQ(defaults_->stringList("key"), std::nullopt);
    EXPECT_EQ(defaults_->string("other"), "kept");
}

TEST_F(UserDefaultsTest, KeysAndValuesThatLookLikeSqlAreStoredVerbatim) {
    ASSERT_TRUE(defaults_);
    const std::string hostile = "k'); DROP TABLE defaults; --";
    const std::string percent = "%";
    defaults_->set("plain", std::string("survives"));
    defaults_->set(hostile, hostile);
    defaults_->set(percent, std::string("only the percent key"));

    EXPECT_EQ(defaults_->string(hostile), hostile);
    EXPECT_EQ(defaults_->string("%"), "only the percent key");
    EXPECT_EQ(defaults_->string("plain"), "survives");
    EXPECT_EQ(defaults_->string("%lain"), std::nullopt);
}

TEST_F(UserDefaultsTest, AStringListThatIsNotUtf8IsRefusedAndChangesNothing) {
    ASSERT_TRUE(defaults_);
    defaults_->set("list", std::vector<std::string>{"before"});
    EXPECT_THROW(defaults_->set("list", std::vector<std::string>{"\xff\xfe"}), TextError);
    EXPECT_EQ(defaults_->stringList("list"), std::vector<std::string>{"before"});
}

TEST(UserDefaultsSuite, RefusedSuitesGiveNothingAndCreateNothing) {
    UserDefaults::suite("created first");  // the defaults directory exists from here on
    const auto before = treeBelow(testing::testHome());
    const std::vector<std::string> refused{"",    ".",         "..",
                                           "a/b", "../escape", std::string("a\0b", 3)};
    for (const auto& suite : refused) {
        EXPECT_EQ(UserDefaults::suite(suite), nullptr) << suite;
    }
    EXPECT_EQ(treeBelow(testing::testHome()), before);
    EXPECT_FALSE(std::filesystem::exists(testing::testHome() / "escape.sqlite"));
}

TEST(UserDefaultsSuite, AFileThatIsNotADatabaseGivesNothing) {
    const auto suite = uniqueSuite();
    std::ofstream(Home::defaultsFile(suite)) << std::string(4096, 'x');
    EXPECT_EQ(UserDefaults::suite(suite), nullptr);
}

TEST(UserDefaultsSuite, StandardIsTheSuiteOfTheBundleIdentifierInAPrivateFile) {
    const auto standard = UserDefaults::standard();
    ASSERT_TRUE(standard);
    EXPECT_EQ(standard->suiteName(), "orvanpush.tests");
    standard->set("_log_level", std::string("trace"));

    const auto file = testing::testHome() / "defaults" / "orvanpush.tests.sqlite";
    EXPECT_EQ(permissions(file.parent_path()), 0700u);
    EXPECT_EQ(permissions(file), 0600u);
    EXPECT_EQ(permissions(file.string() + "-wal"), 0600u);
    EXPECT_EQ(UserDefaults::suite("orvanpush.tests")->string("_log_level"), "trace");
}

TEST_F(UserDefaultsTest, AWriteIsSeenAtOnceByAnotherObjectAndAnotherProcess) {
    ASSERT_TRUE(defaults_);
    const auto other = UserDefaults::suite(suite_);
    ASSERT_TRUE(other);
    EXPECT_EQ(other->string("key"), std::nullopt);
    defaults_->set("key", std::string("first"));
    EXPECT_EQ(other->string("key"), "first");
    other->remove("key");
    EXPECT_EQ(defaults_->string("key"), std::nullopt);

    EXPECT_EQ(defaults_->integer("child0"), std::nullopt);
    expectSucceeded(spawnWriter(suite_, "child", 1));
    EXPECT_EQ(defaults_->integer("child0"), 0);
}

TEST_F(UserDefaultsTest, ConcurrentWritersInThreadsAndProcessesLoseNothing) {
    ASSERT_TRUE(defaults_);
    constexpr int perWriter = 100;
    const pid_t first = spawnWriter(suite_, "p1-", perWriter);
    const pid_t second = spawnWriter(suite_, "p2-", perWriter);

    std::vector<std::thread> threads;
    for (int thread = 0; thread < 4; ++thread) {
        threads.emplace_back([this, thread] {
            // Half the threads share this object's connection, half open their own.
            const auto defaults = thread % 2 == 0 ? defaults_ : UserDefaults::suite(suite_);
            const auto prefix = "t" + std::to_string(thread) + "-";
            for (int index = 0; index < perWriter; ++index) {
                defaults->set(prefix + std::to_string(index), std::int64_t{index});
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    expectSucceeded(first);
    expectSucceeded(second);

    for (const std::string prefix : {"p1-", "p2-", "t0-", "t1-", "t2-", "t3-"}) {
        for (int index = 0; index < perWriter; ++index) {
            ASSERT_EQ(defaults_->integer(prefix + std::to_string(index)), index) << prefix << index;
        }
    }
}

}  // namespace
}  // namespace orvanpush::platform

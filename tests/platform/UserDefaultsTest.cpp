#include "platform/UserDefaults.h"

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <limits>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "orvanpush/TextError.h"
#include "support/SqliteOracle.h"
#include "support/TestHome.h"

namespace orvanpush::platform {
namespace {

namespace fs = std::filesystem;

std::string uniqueSuite() {
    static std::atomic<int> counter{0};
    return "suite" + std::to_string(counter++);
}

void writeKeys(UserDefaults& defaults, const std::string& prefix, int count) {
    for (int index = 0; index < count; ++index) {
        defaults.set(prefix + std::to_string(index), std::int64_t{index});
    }
}

// Another object of the suite sees every change at once; a list that is not UTF-8 is refused
// and changes nothing.
TEST(UserDefaultsTest, ValuesRoundTripAndAreSeenAtOnceRefusedSuitesGiveNothingAndFilesComeAndGo) {
    const std::string suite = uniqueSuite();
    const auto defaults = UserDefaults::suite(suite);
    ASSERT_TRUE(defaults);
    const std::string text("caf\xc3\xa9\0tail", 10);
    const Date date = Date(std::chrono::nanoseconds(1'700'000'000'123'456'789));
    const std::vector<std::string> list{"", "a\"b", "\xf0\x9f\x93\xa8", "x', NULL); --"};
    defaults->set("text", text);
    defaults->set("integer", std::numeric_limits<std::int64_t>::min());
    defaults->set("date", date);
    defaults->set("list", list);
    EXPECT_EQ(defaults->string("text"), text);
    EXPECT_EQ(defaults->integer("integer"), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(defaults->date("date"), date);
    EXPECT_EQ(defaults->stringList("list"), list);
    EXPECT_EQ(defaults->date("integer"), std::nullopt);
    EXPECT_EQ(defaults->integer("date"), std::nullopt);
    EXPECT_EQ(defaults->string("list"), std::nullopt);

    const auto other = UserDefaults::suite(suite);
    other->set("integer", std::string("seven"));
    EXPECT_EQ(defaults->string("integer"), "seven");
    EXPECT_EQ(defaults->integer("integer"), std::nullopt);
    other->remove("integer");
    EXPECT_EQ(defaults->string("integer"), std::nullopt);
    EXPECT_THROW(other->set("list", std::vector<std::string>{"\xff\xfe"}), TextError);
    EXPECT_EQ(defaults->stringList("list"), list);

    // A refused suite gives nothing: its caller falls back to another store. (A store that exists
    // but cannot be opened is an error instead: see the settings tests.)
    for (const auto& refused : {"", ".", "..", "a/b", "../escape"}) {
        EXPECT_EQ(UserDefaults::suite(refused), nullptr) << refused;
        EXPECT_EQ(UserDefaults::suiteChecked(refused), nullptr) << refused;
    }
    EXPECT_EQ(UserDefaults::suite(std::string("a\0b", 3)), nullptr);
    EXPECT_FALSE(fs::exists(testing::testHome() / "escape.sqlite"));

    // A file removed while open is let go: nothing is read from it or written into it any more.
    const auto file = testing::testHome() / "defaults" / "removed.sqlite";
    const auto removed = UserDefaults::suite("removed");
    removed->set("before", std::string("removed with the file"));
    for (const auto* suffix : {"", "-wal", "-shm"}) {
        fs::remove(file.string() + suffix);
    }
    EXPECT_EQ(removed->string("before"), std::nullopt);
    removed->set("after", std::string("in the new file"));
    EXPECT_EQ(testing::sqliteOutput(file, "SELECT group_concat(key) FROM defaults"), "after\n");

    // Threads that use the object while its file goes keep the file they hold until done with it.
    std::atomic<int> working{2};
    auto use = [&] {
        for (int round = 0; round < 2000; ++round) {
            try {
                removed->set("busy", std::string("yes"));
                static_cast<void>(removed->string("busy"));
            } catch (const TextError&) {  // the file went between opening and use
            }
        }
        --working;
    };
    std::thread first(use), second(use);
    while (working > 0) {
        fs::remove(file);
    }
    first.join();
    second.join();

    // A suite only read leaves no file and sees the first write of another object.
    const auto unwritten = testing::testHome() / "defaults" / "only-read.sqlite";
    const auto reader = UserDefaults::suite("only-read");
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->string("key"), std::nullopt);
    reader->remove("key");
    EXPECT_FALSE(fs::exists(unwritten));

    UserDefaults::suite("only-read")->set("key", std::string("written"));
    EXPECT_EQ(reader->string("key"), "written");

    // The standard suite is the bundle identifier's.
    UserDefaults::standard()->set("_log_level", std::string("trace"));
    EXPECT_EQ(UserDefaults::suite("orvanpush.tests")->string("_log_level"), "trace");
}

TEST(UserDefaultsSuite, WritesFromTwoThreadsAndAnotherProcessAreAllSeenAtOnceAndNoneIsLost) {
    const auto suite = uniqueSuite();
    constexpr int perWriter = 100;
    // The other process writes once the gate closes, so this one can read first. It opens the
    // suite's file only after the fork, as SQLite requires.
    int gate[2];
    ASSERT_EQ(::pipe(gate), 0);
    const pid_t writer = ::fork();
    if (writer == 0) {
        ::close(gate[1]);
        char ignored;
        const auto opened =
            ::read(gate[0], &ignored, 1) == 0 ? UserDefaults::suite(suite) : nullptr;
        if (opened) {
            writeKeys(*opened, "p-", perWriter);
        }
        ::_exit(opened ? 0 : 1);
    }
    ::close(gate[0]);
    const auto defaults = UserDefaults::suite(suite);
    ASSERT_TRUE(defaults);
    EXPECT_EQ(defaults->integer("p-0"), std::nullopt);
    ::close(gate[1]);

    // This thread writes through its object while another opens its own.
    std::thread other([&] { writeKeys(*UserDefaults::suite(suite), "t-", perWriter); });
    writeKeys(*defaults, "a-", perWriter);
    other.join();
    int status = -1;
    ASSERT_EQ(::waitpid(writer, &status, 0), writer);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "writer failed: " << status;

    for (const std::string prefix : {"p-", "t-", "a-"}) {
        for (int index = 0; index < perWriter; ++index) {
            ASSERT_EQ(defaults->integer(prefix + std::to_string(index)), index) << prefix << index;
        }
    }
}

// Another process reading the file sees a batch of strings whole or not at all.
TEST(UserDefaultsSuite, ABatchIsSeenWholeOrNotAtAll) {
    const auto suite = uniqueSuite();
    const auto defaults = UserDefaults::suite(suite);
    defaults->setStrings({{"a", "0"}, {"gone", "x"}, {"b", "0"}});
    std::atomic<bool> sampled{false};
    std::thread writer([&] {
        for (int round = 1; !sampled; ++round) {
            const auto value = std::to_string(round);
            defaults->setStrings({{"a", value}, {"gone", std::nullopt}, {"b", value}});
        }
    });
    const auto file = testing::testHome() / "defaults" / (suite + ".sqlite");
    int torn = 0;
    for (int sample = 0; sample < 100; ++sample) {
        torn += testing::sqliteOutput(file,
                                      "PRAGMA busy_timeout = 5000; SELECT count(DISTINCT value) "
                                      "FROM defaults WHERE key IN ('a', 'b')") != "5000\n1\n";
    }
    sampled = true;
    writer.join();
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(testing::sqliteOutput(file, "SELECT count(*) FROM defaults WHERE key = 'gone'"),
              "0\n");
}

}  // namespace
}  // namespace orvanpush::platform

#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "orvanpush/logger/RotatingLogFileRecorder.h"
#include "orvanpush/platform/Console.h"
#include "orvanpush/platform/PlatformConfig.h"
#include "utils/logger/LogTestSupport.h"

namespace orvanpush {
namespace {

using testing::inFreshProcess;
using testing::makeEntry;
using testing::messageFormatter;
using testing::TempDirectory;

// Local wall-clock times through the C library, independently of the recorder's formatter.
Date localTime(int year, int month, int day, int hour, int minute, int second = 0) {
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    fields.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&fields));
}

std::string nameOfDay(int year, int month, int day) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d-orvanpush.tests.log", year, month, day);
    return text;
}

std::set<std::string> namesIn(const std::filesystem::path& directory) {
    std::set<std::string> names;
    for (const auto& item : std::filesystem::directory_iterator(directory)) {
        names.insert(item.path().filename().string());
    }
    return names;
}

std::vector<std::string> linesOf(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

void touch(const std::filesystem::path& path) {
    std::ofstream(path) << "old\n";
}

// Collects the console's lines while it lives.
class CapturedConsole {
  public:
    CapturedConsole() {
        platform::Console::redirect([this](std::string_view line) {
            std::lock_guard lock(mutex_);
            lines_.emplace_back(line);
        });
    }
    ~CapturedConsole() { platform::Console::redirect({}); }
    std::vector<std::string> lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

class RotatingLogFileRecorderTest : public ::testing::Test {
  protected:
    std::shared_ptr<RotatingLogFileRecorder> makeRecorder(int daysToKeep) {
        auto recorder = std::make_shared<RotatingLogFileRecorder>(
            daysToKeep, directory.path().string(), LogFormatters{messageFormatter()},
            [this] { return now; });
        recorder->createLogDirectory();
        return recorder;
    }

    void record(RotatingLogFileRecorder& recorder, const std::string& text, Date timestamp) {
        recorder.record("not written", makeEntry(LogSeverity::info, text, timestamp),
                        *recorder.queue(), false);
    }

    TempDirectory directory;
    Date now = localTime(2024, 1, 15, 12, 0);
};

TEST_F(RotatingLogFileRecorderTest, NamesFilesWithAnyIdentifierOrNone) {
    inFreshProcess([] {
        auto config = *platform::PlatformConfig::current();
        config.bundleIdentifier = "it's.app";
        platform::PlatformConfig::install(config);
        EXPECT_EQ(RotatingLogFileRecorder::logFilename(localTime(2023, 11, 5, 14, 3)),
                  "2023-11-05-it's.app.log");
        config.bundleIdentifier.clear();
        platform::PlatformConfig::install(config);
        EXPECT_EQ(RotatingLogFileRecorder::logFilename(localTime(2023, 11, 5, 14, 3)),
                  "2023-11-05.log");
    });
}

TEST_F(RotatingLogFileRecorderTest, SwitchesFilesAtLocalMidnightAndPrunesFirst) {
    auto recorder = makeRecorder(2);
    now = localTime(2024, 1, 15, 23, 59);
    record(*recorder, "before midnight", now);
    record(*recorder, "still the 15th", localTime(2024, 1, 15, 23, 59, 59));
    touch(directory.path() / "stale.log");

    now = localTime(2024, 1, 16, 0, 1);
    record(*recorder, "after midnight", now);

    EXPECT_EQ(namesIn(directory.path()),
              (std::set<std::string>{nameOfDay(2024, 1, 15), nameOfDay(2024, 1, 16)}));
    EXPECT_EQ(linesOf(directory.path() / nameOfDay(2024, 1, 15)),
              (std::vector<std::string>{"before midnight", "still the 15th"}));
    EXPECT_EQ(linesOf(directory.path() / nameOfDay(2024, 1, 16)),
              std::vector<std::string>{"after midnight"});
    EXPECT_EQ(recorder->mostRecentLogTime(), now);
    ASSERT_NE(recorder->currentFileRecorder(), nullptr);
    EXPECT_EQ(recorder->currentFileRecorder()->filePath(),
              (directory.path() / nameOfDay(2024, 1, 16)).string());
    struct stat info {};
    ASSERT_EQ(stat((directory.path() / nameOfDay(2024, 1, 16)).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(RotatingLogFileRecorderTest, PruningKeepsTheLastDaysAndHiddenEntries) {
    auto recorder = makeRecorder(7);
    now = localTime(2024, 3, 5, 9, 30);
    std::set<std::string> kept{".hidden"};
    for (int day = 5; day >= 1; --day) {
        kept.insert(nameOfDay(2024, 3, day));
    }
    kept.insert(nameOfDay(2024, 2, 29));
    kept.insert(nameOfDay(2024, 2, 28));
    for (const auto& name : kept) {
        touch(directory.path() / name);
    }
    touch(directory.path() / nameOfDay(2024, 2, 27));
    touch(directory.path() / "notes.txt");
    std::filesystem::create_directories(directory.path() / "old" / "inner");

    recorder->prune();

    EXPECT_EQ(namesIn(directory.path()), kept);
}

TEST_F(RotatingLogFileRecorderTest, KeepingNoDaysEmptiesTheDirectoryBeforeTheNewFileOpens) {
    auto recorder = makeRecorder(0);
    touch(directory.path() / nameOfDay(2024, 1, 15));
    touch(directory.path() / "other");
    touch(directory.path() / ".keep");

    record(*recorder, "first", now);

    EXPECT_EQ(namesIn(directory.path()), (std::set<std::string>{".keep", nameOfDay(2024, 1, 15)}));
    EXPECT_EQ(linesOf(directory.path() / nameOfDay(2024, 1, 15)),
              std::vector<std::string>{"first"});
}

TEST_F(RotatingLogFileRecorderTest, EntriesForAMissingDirectoryAreDroppedUntilItExists) {
    const auto missing = directory.path() / "logs";
    RotatingLogFileRecorder recorder(7, missing.string(), {messageFormatter()},
                                     [this] { return now; });
    CapturedConsole console;

    record(recorder, "dropped", now);
    EXPECT_EQ(recorder.currentFileRecorder(), nullptr);
    EXPECT_FALSE(std::filesystem::exists(missing));
    ASSERT_FALSE(console.lines().empty());
    EXPECT_TRUE(console.lines()[0].starts_with("Error attempting to read directory at path <" +
                                               missing.string() + ">: "))
        << console.lines()[0];

    recorder.createLogDirectory();
    EXPECT_EQ(std::filesystem::status(missing).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_all);
    record(recorder, "written", now + std::chrono::seconds(1));
    EXPECT_EQ(linesOf(missing / nameOfDay(2024, 1, 15)), std::vector<std::string>{"written"});
}

TEST_F(RotatingLogFileRecorderTest, ReportsADirectoryThatCannotBeCreated) {
    touch(directory.path() / "file");
    RotatingLogFileRecorder recorder(7, (directory.path() / "file" / "logs").string(), {});
    CapturedConsole console;

    recorder.createLogDirectory();

    ASSERT_EQ(console.lines().size(), 1u);
    EXPECT_TRUE(console.lines()[0].starts_with("ERRROR LOG RECORDER: ")) << console.lines()[0];
}

TEST_F(RotatingLogFileRecorderTest, DirectRecordsFromManyThreadsLeaveWholeLines) {
    constexpr int kThreads = 8;
    constexpr int kLinesPerThread = 10000;
    auto recorder = makeRecorder(7);

    std::vector<std::thread> threads;
    for (int thread = 0; thread < kThreads; ++thread) {
        threads.emplace_back([&, thread] {
            for (int line = 0; line < kLinesPerThread; ++line) {
                record(*recorder,
                       "thread " + std::to_string(thread) + " line " + std::to_string(line), now);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }

    const auto lines = linesOf(directory.path() / nameOfDay(2024, 1, 15));
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kLinesPerThread));
    const std::regex whole("thread ([0-7]) line ([0-9]+)");
    std::vector<int> next(kThreads, 0);
    for (const auto& line : lines) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, whole)) << line;
        // Each thread's lines arrive in its own order.
        int thread = std::stoi(match[1]);
        ASSERT_EQ(std::stoi(match[2]), next[thread]++) << line;
    }
}

// Days are 23 or 25 hours long when the clocks change; Berlin changes on the last Sundays of
// March and October.
TEST_F(RotatingLogFileRecorderTest, FollowsCalendarDaysAcrossClockChanges) {
    inFreshProcess([this] {
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
        auto recorder = makeRecorder(2);
        auto recordAt = [&](const std::string& text, Date timestamp) {
            now = timestamp;
            record(*recorder, text, timestamp);
        };

        recordAt("start of a 23-hour day", localTime(2024, 3, 31, 0, 0, 30));
        recordAt("start of the next day", localTime(2024, 4, 1, 0, 0, 30));
        EXPECT_EQ(linesOf(directory.path() / nameOfDay(2024, 3, 31)),
                  std::vector<std::string>{"start of a 23-hour day"});
        EXPECT_EQ(linesOf(directory.path() / nameOfDay(2024, 4, 1)),
                  std::vector<std::string>{"start of the next day"});

        // Stepping back one day from the day after a 23-hour day lands on that day.
        touch(directory.path() / nameOfDay(2024, 3, 30));
        now = localTime(2024, 4, 1, 0, 30);
        recorder->prune();
        EXPECT_EQ(namesIn(directory.path()),
                  (std::set<std::string>{nameOfDay(2024, 3, 31), nameOfDay(2024, 4, 1)}));

        recordAt("start of a 25-hour day", localTime(2024, 10, 27, 0, 0, 30));
        recordAt("end of the 25-hour day", localTime(2024, 10, 27, 23, 59, 30));
        recordAt("after it", localTime(2024, 10, 28, 0, 0, 30));
        EXPECT_EQ(linesOf(directory.path() / nameOfDay(2024, 10, 27)),
                  (std::vector<std::string>{"start of a 25-hour day", "end of the 25-hour day"}));
        EXPECT_EQ(linesOf(directory.path() / nameOfDay(2024, 10, 28)),
                  std::vector<std::string>{"after it"});
    });
}

}  // namespace
}  // namespace orvanpush

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "orvanpush/logger/BufferedLogRecorder.h"
#include "orvanpush/logger/FileLogRecorder.h"
#include "orvanpush/logger/RotatingLogFileRecorder.h"
#include "orvanpush/logger/StandardStreamsLogRecorder.h"
#include "orvanpush/platform/Console.h"
#include "orvanpush/platform/PlatformConfig.h"
#include "support/DirectoryReadFault.h"
#include "utils/logger/LogTestSupport.h"

namespace orvanpush {
namespace {

using std::filesystem::perms;
using namespace testing;

void touch(const std::filesystem::path& path) {
    std::ofstream(path) << "old\n";
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using Stream = std::unique_ptr<std::FILE, FileCloser>;

Stream openStream(const std::filesystem::path& path) {
    return Stream(std::fopen(path.c_str(), "w"));
}

// Calls `record` on the recorder's queue, as the receptacle does.
void recordOnQueue(LogRecorder& recorder, std::string_view message, const LogEntry& entry,
                   bool synchronousMode = false) {
    recorder.queue()->sync(
        [&] { recorder.record(message, entry, *recorder.queue(), synchronousMode); });
}

// Errors and `off` go to standard error, the rest to standard output; each message ends in
// exactly one line end, and a waiting caller finds its line in the file, not in a buffer.
TEST(StandardStreamsLogRecorderTest, RoutesBySeverityEndsLinesOnceAndFlushesForAWaitingCaller) {
    TempDirectory directory;
    auto out = openStream(directory.path() / "out");
    auto err = openStream(directory.path() / "err");
    StandardStreamsLogRecorder recorder(out.get(), err.get(), {messageFormatter()});
    recordOnQueue(recorder, "trace\n", makeEntry(LogSeverity::trace, ""));
    recordOnQueue(recorder, "", makeEntry(LogSeverity::off, ""));
    recordOnQueue(recorder, "info\r", makeEntry(LogSeverity::info, ""));
    recordOnQueue(recorder, "error", makeEntry(LogSeverity::error, ""), true);

    EXPECT_EQ(readFile(directory.path() / "err"), "\nerror\n");
    std::fflush(nullptr);
    EXPECT_EQ(readFile(directory.path() / "out"), "trace\ninfo\r");
}

// Made without streams, the recorder is the console: it writes where the host sent that.
TEST(StandardStreamsLogRecorderTest, WithoutStreamsWritesWhereTheConsoleGoes) {
    StandardStreamsLogRecorder console({messageFormatter()});
    platform::Console::sendTo(platform::Console::Destination::standardError);
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    recordOnQueue(console, "info\n", makeEntry(LogSeverity::info, ""));
    recordOnQueue(console, "error", makeEntry(LogSeverity::error, ""));
    const auto out = ::testing::internal::GetCapturedStdout();
    const auto err = ::testing::internal::GetCapturedStderr();
    platform::Console::sendTo(platform::Console::Destination::standardStreams);
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "info\nerror\n");
}

// A positive limit keeps only the newest items; a limit of 0 keeps them all.
TEST(BufferedLogRecorderTest, KeepsTheNewestItemsWithinItsLimitUntilCleared) {
    BufferedMessageRecorder limited({}, 2);
    BufferedMessageRecorder unlimited({}, 0);
    for (const char* text : {"one", "two", "three"}) {
        recordOnQueue(limited, text, makeEntry(LogSeverity::info, ""));
        recordOnQueue(unlimited, text, makeEntry(LogSeverity::info, ""));
    }
    EXPECT_EQ(limited.buffer(), (std::vector<std::string>{"two", "three"}));
    EXPECT_EQ(unlimited.buffer(), (std::vector<std::string>{"one", "two", "three"}));
    limited.clear();
    EXPECT_TRUE(limited.buffer().empty());
}

// The file recorder writes its first formatter's line (nothing when that gives none), not the
// message it is given, and flushes each line as it is written.
TEST(FileLogRecorderTest, AppendsTheFirstFormattersLineWithLineBreaksEscaped) {
    TempDirectory directory;
    const auto path = directory.path() / "file.log";
    std::ofstream(path) << "kept\n";
    auto recorder =
        FileLogRecorder::open(path.string(), {messageFormatter(), fixedFormatter("second")});
    ASSERT_NE(recorder, nullptr);
    for (const char* text : {"user=a\n2023-11-05 14:03:27+0300;Error;;SDK Instance;forged\r",
                             "text ends in a line feed\n"}) {
        recordOnQueue(*recorder, "not written", makeEntry(LogSeverity::info, text));
    }
    auto trace = makeEntry(LogSeverity::info, "");
    trace.payload = LogEntry::Trace{};
    recordOnQueue(*recorder, "not written", trace);

    EXPECT_EQ(readFile(path),
              "kept\nuser=a\\n2023-11-05 14:03:27+0300;Error;;SDK Instance;forged\\r\n"
              "text ends in a line feed\\n\n");
}

// A local wall-clock time ("2024-01-15 23:59:00") through the C library, independently of the
// recorder's formatter.
Date localTime(const char* text) {
    std::tm fields{};
    strptime(text, "%Y-%m-%d %H:%M:%S", &fields);
    fields.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&fields));
}

std::string nameOfDay(const std::string& day) {
    return day + "-orvanpush.tests.log";
}

std::set<std::string> namesIn(const std::filesystem::path& directory) {
    std::set<std::string> names;
    for (const auto& item : std::filesystem::directory_iterator(directory)) {
        names.insert(item.path().filename().string());
    }
    return names;
}

// Collects the console's lines while it lives; the recorder prints on the calling thread.
struct CapturedConsole {
    CapturedConsole() {
        platform::Console::redirect([this](std::string_view line) { lines.emplace_back(line); });
    }
    ~CapturedConsole() { platform::Console::redirect({}); }
    std::vector<std::string> lines;
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

    std::string fileOfDay(const std::string& day) const {
        return readFile(directory.path() / nameOfDay(day));
    }

    TempDirectory directory;
    Date now = localTime("2024-01-15 12:00:00");
};

TEST_F(RotatingLogFileRecorderTest, NamesFilesWithAnyIdentifierOrNone) {
    inFreshProcess([] {
        auto config = *platform::PlatformConfig::current();
        config.bundleIdentifier = "it's.app";
        platform::PlatformConfig::install(config);
        EXPECT_EQ(RotatingLogFileRecorder::logFilename(localTime("2023-11-05 14:03:00")),
                  "2023-11-05-it's.app.log");
        config.bundleIdentifier.clear();
        platform::PlatformConfig::install(config);
        EXPECT_EQ(RotatingLogFileRecorder::logFilename(localTime("2023-11-05 14:03:00")),
                  "2023-11-05.log");
    });
}

TEST_F(RotatingLogFileRecorderTest, SwitchesFilesAtLocalMidnightAndPrunesFirst) {
    auto recorder = makeRecorder(2);
    now = localTime("2024-01-15 23:59:00");
    record(*recorder, "before midnight", now);
    record(*recorder, "still the 15th", localTime("2024-01-15 23:59:59"));
    touch(directory.path() / "stale.log");

    now = localTime("2024-01-16 00:01:00");
    record(*recorder, "after midnight", now);

    EXPECT_EQ(namesIn(directory.path()),
              (std::set<std::string>{nameOfDay("2024-01-15"), nameOfDay("2024-01-16")}));
    EXPECT_EQ(fileOfDay("2024-01-15"), "before midnight\nstill the 15th\n");
    EXPECT_EQ(fileOfDay("2024-01-16"), "after midnight\n");
    EXPECT_EQ(std::filesystem::status(directory.path() / nameOfDay("2024-01-16")).permissions(),
              perms::owner_read | perms::owner_write);
}

TEST_F(RotatingLogFileRecorderTest, PruningKeepsTheLastDaysAndHiddenEntries) {
    auto recorder = makeRecorder(7);
    now = localTime("2024-03-05 09:30:00");
    std::set<std::string> kept{".hidden"};
    for (const char* day : {"2024-03-05", "2024-03-04", "2024-03-03", "2024-03-02", "2024-03-01",
                            "2024-02-29", "2024-02-28"}) {
        kept.insert(nameOfDay(day));
        touch(directory.path() / nameOfDay(day));
    }
    touch(directory.path() / ".hidden");
    touch(directory.path() / nameOfDay("2024-02-27"));
    touch(directory.path() / "notes.txt");
    std::filesystem::create_directories(directory.path() / "old" / "inner");

    recorder->prune();

    EXPECT_EQ(namesIn(directory.path()), kept);
}

TEST_F(RotatingLogFileRecorderTest, KeepingNoDaysEmptiesTheDirectoryBeforeTheNewFileOpens) {
    auto recorder = makeRecorder(0);
    for (const char* name : {"2024-01-15-orvanpush.tests.log", "other", ".keep"}) {
        touch(directory.path() / name);
    }

    record(*recorder, "first", now);

    EXPECT_EQ(namesIn(directory.path()), (std::set<std::string>{".keep", nameOfDay("2024-01-15")}));
    EXPECT_EQ(fileOfDay("2024-01-15"), "first\n");
}

TEST_F(RotatingLogFileRecorderTest, EntriesAreDroppedUntilTheDirectoryExists) {
    const auto missing = directory.path() / "logs";
    RotatingLogFileRecorder recorder(7, missing.string(), {messageFormatter()},
                                     [this] { return now; });
    CapturedConsole console;

    record(recorder, "dropped", now);
    EXPECT_FALSE(std::filesystem::exists(missing));
    ASSERT_FALSE(console.lines.empty());
    EXPECT_TRUE(console.lines[0].starts_with("Error attempting to read directory at path <" +
                                             missing.string() + ">: "))
        << console.lines[0];

    // The day's file is tried again rather than the rest of the day lost.
    recorder.createLogDirectory();
    EXPECT_EQ(std::filesystem::status(missing).permissions(), perms::owner_all);
    record(recorder, "written", now + std::chrono::seconds(1));
    EXPECT_EQ(readFile(missing / nameOfDay("2024-01-15")), "written\n");
}

// Every failure of the directory work is printed and the recorder carries on: a directory that
// cannot be created, a listing that fails part-way, an entry that cannot be removed (the others
// still are).
TEST_F(RotatingLogFileRecorderTest, PrintsEachDirectoryFailureAndCarriesOn) {
    const auto logs = directory.path() / "logs";
    const auto blocked = directory.path() / "file";
    touch(blocked);
    CapturedConsole console;
    RotatingLogFileRecorder(7, (blocked / "logs").string(), {}).createLogDirectory();
    ASSERT_EQ(console.lines.size(), 1u);
    EXPECT_TRUE(console.lines[0].starts_with("ERRROR LOG RECORDER: ")) << console.lines[0];

    std::filesystem::create_directories(logs / "old");
    touch(logs / "old" / "inside");
    touch(logs / "stale.log");
    RotatingLogFileRecorder recorder(7, logs.string(), {messageFormatter()},
                                     [this] { return now; });
    {
        // The listing needs five reads (".", "..", two names, the end); the fourth fails.
        const DirectoryReadFault failingListing(3);
        EXPECT_NO_THROW(recorder.prune());
    }
    ASSERT_EQ(console.lines.size(), 2u);
    EXPECT_EQ(console.lines[1], "Error attempting to read directory at path <" + logs.string() +
                                    ">: Input/output error");
    EXPECT_EQ(namesIn(logs), (std::set<std::string>{"old", "stale.log"}));
    {
        // The listing takes its five reads; removing "old" lists that directory and fails.
        const DirectoryReadFault failingRemoval(5);
        EXPECT_NO_THROW(recorder.prune());
    }
    ASSERT_EQ(console.lines.size(), 3u);
    EXPECT_EQ(console.lines[2], "Error attempting to delete the unneeded file <" +
                                    (logs / "old").string() + ">: Input/output error");
    EXPECT_EQ(namesIn(logs), std::set<std::string>{"old"});
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

    std::istringstream lines(fileOfDay("2024-01-15"));
    const std::regex whole("thread ([0-7]) line ([0-9]+)");
    std::vector<int> next(kThreads, 0);
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, whole)) << line;
        // Each thread's lines arrive in its own order.
        ASSERT_EQ(std::stoi(match[2]), next[std::stoi(match[1])]++) << line;
    }
    EXPECT_EQ(count, kThreads * kLinesPerThread);
}

// Days are 23 hours long when the clocks go forward, as in Berlin on the last Sunday of March.
TEST_F(RotatingLogFileRecorderTest, FollowsCalendarDaysAcrossAClockChange) {
    inFreshProcess([this] {
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
        auto recorder = makeRecorder(2);
        now = localTime("2024-03-31 00:00:30");
        record(*recorder, "start of a 23-hour day", now);
        now = localTime("2024-04-01 00:00:30");
        record(*recorder, "start of the next day", now);
        EXPECT_EQ(fileOfDay("2024-03-31"), "start of a 23-hour day\n");
        EXPECT_EQ(fileOfDay("2024-04-01"), "start of the next day\n");

        // Stepping back one day from the day after a 23-hour day lands on that day.
        touch(directory.path() / nameOfDay("2024-03-30"));
        recorder->prune();
        EXPECT_EQ(namesIn(directory.path()),
                  (std::set<std::string>{nameOfDay("2024-03-31"), nameOfDay("2024-04-01")}));
    });
}

}  // namespace
}  // namespace orvanpush

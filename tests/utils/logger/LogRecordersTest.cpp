#include <ctime>
#include <set>

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
using Names = std::set<std::string>;
using namespace testing;

void touch(const std::filesystem::path& path) {
    std::ofstream(path) << "old\n";
}

// Calls `record` on the recorder's queue, as the receptacle does.
void recordOnQueue(LogRecorder& recorder, std::string_view message, LogSeverity severity,
                   bool synchronousMode = false, const std::string& text = "") {
    const auto entry = makeEntry(severity, text);
    recorder.queue()->sync(
        [&] { recorder.record(message, entry, *recorder.queue(), synchronousMode); });
}

// Errors and `off` go to standard error, the rest to standard output; each message ends in
// exactly one line end, and a waiting caller finds its line in the file, not in a buffer.
TEST(StandardStreamsLogRecorderTest, RoutesBySeverityEndsLinesOnceAndFlushesForAWaitingCaller) {
    TempDirectory directory;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(
        std::fopen((directory.path() / "out").c_str(), "w"), std::fclose);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> err(
        std::fopen((directory.path() / "err").c_str(), "w"), std::fclose);
    StandardStreamsLogRecorder recorder(out.get(), err.get(), {messageFormatter()});
    recordOnQueue(recorder, "trace\n", LogSeverity::trace);
    recordOnQueue(recorder, "", LogSeverity::off);
    recordOnQueue(recorder, "info\r", LogSeverity::info);
    recordOnQueue(recorder, "error", LogSeverity::error, true);
    EXPECT_EQ(readFile(directory.path() / "err"), "\nerror\n");
    std::fflush(nullptr);
    EXPECT_EQ(readFile(directory.path() / "out"), "trace\ninfo\r");

    // Made without streams, the recorder is the console: it writes where the host sent that.
    StandardStreamsLogRecorder console({messageFormatter()});
    platform::Console::sendTo(platform::Console::Destination::standardError);
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    recordOnQueue(console, "info\n", LogSeverity::info);
    recordOnQueue(console, "error", LogSeverity::error);
    const auto toOut = ::testing::internal::GetCapturedStdout();
    const auto toErr = ::testing::internal::GetCapturedStderr();
    platform::Console::sendTo(platform::Console::Destination::standardStreams);
    EXPECT_EQ(toOut + "|" + toErr, "|info\nerror\n");
}

// A positive limit keeps only the newest items (the other tests' recorders, without a limit,
// keep them all).
TEST(BufferedLogRecorderTest, KeepsTheNewestItemsWithinItsLimitUntilCleared) {
    BufferedMessageRecorder limited({}, 2);
    for (const char* text : {"one", "two", "three"}) {
        recordOnQueue(limited, text, LogSeverity::info);
    }
    EXPECT_EQ(limited.buffer(), (std::vector<std::string>{"two", "three"}));
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
        recordOnQueue(*recorder, "not written", LogSeverity::info, false, text);
    }
    auto trace = makeEntry(LogSeverity::info, "");
    trace.payload = LogEntry::Trace{};
    recorder->queue()->sync(
        [&] { recorder->record("not written", trace, *recorder->queue(), false); });
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

Names namesIn(const std::filesystem::path& directory) {
    Names names;
    for (const auto& item : std::filesystem::directory_iterator(directory)) {
        names.insert(item.path().filename().string());
    }
    return names;
}

class RotatingLogFileRecorderTest : public ::testing::Test {
  protected:
    std::shared_ptr<RotatingLogFileRecorder> makeRecorder(int daysToKeep,
                                                          const std::filesystem::path& path) {
        return std::make_shared<RotatingLogFileRecorder>(
            daysToKeep, path.string(), LogFormatters{messageFormatter()}, [this] { return now; });
    }
    std::shared_ptr<RotatingLogFileRecorder> makeRecorder(int daysToKeep) {
        auto recorder = makeRecorder(daysToKeep, directory.path());
        recorder->createLogDirectory();
        return recorder;
    }

    void record(RotatingLogFileRecorder& recorder, const std::string& text, Date timestamp) {
        recorder.record("not written", makeEntry(LogSeverity::info, text, timestamp),
                        *recorder.queue(), false);
    }
    void recordNow(RotatingLogFileRecorder& recorder, const std::string& day,
                   const std::string& text) {
        now = localTime((day + " 00:00:30").c_str());
        record(recorder, text, now);
    }

    std::string fileOfDay(const std::string& day) const {
        return readFile(directory.path() / nameOfDay(day));
    }

    TempDirectory directory;
    Date now = localTime("2024-01-15 12:00:00");
};

TEST_F(RotatingLogFileRecorderTest, PruningKeepsTheLastDaysAndHiddenEntries) {
    auto recorder = makeRecorder(7);
    now = localTime("2024-03-05 09:30:00");
    Names kept{".hidden"};
    for (const char* day : {"2024-03-05", "2024-03-04", "2024-03-03", "2024-03-02", "2024-03-01",
                            "2024-02-29", "2024-02-28"}) {
        kept.insert(nameOfDay(day));
    }
    for (const auto& name : kept) {
        touch(directory.path() / name);
    }
    touch(directory.path() / nameOfDay("2024-02-27"));
    touch(directory.path() / "notes.txt");
    std::filesystem::create_directories(directory.path() / "old" / "inner");

    recorder->prune();
    EXPECT_EQ(namesIn(directory.path()), kept);

    // Keeping no days empties the directory before the new file opens.
    touch(directory.path() / nameOfDay("2024-01-15"));
    now = localTime("2024-01-15 12:00:00");
    record(*makeRecorder(0), "first", now);
    EXPECT_EQ(namesIn(directory.path()), (Names{".hidden", nameOfDay("2024-01-15")}));
    EXPECT_EQ(fileOfDay("2024-01-15"), "first\n");
}

// Every failure of the directory work is printed and the recorder carries on: a directory that
// cannot be created, a missing one (entries are dropped until it exists, and then the day's file
// is tried again rather than the rest of the day lost), a listing that fails part-way, an entry
// that cannot be removed (the others still are).
TEST_F(RotatingLogFileRecorderTest, PrintsEachDirectoryFailureAndCarriesOn) {
    const auto logs = directory.path() / "logs";
    touch(directory.path() / "file");
    ConsoleCapture console;
    makeRecorder(7, directory.path() / "file" / "logs")->createLogDirectory();
    ASSERT_EQ(console.lines().size(), 1u);
    EXPECT_TRUE(console.lines()[0].starts_with("ERRROR LOG RECORDER: ")) << console.lines()[0];

    auto recorder = makeRecorder(7, logs);
    record(*recorder, "dropped", now);
    EXPECT_FALSE(std::filesystem::exists(logs));
    ASSERT_GE(console.lines().size(), 2u);
    const std::string unreadable = "Error attempting to read directory at path <" + logs.string();
    EXPECT_TRUE(console.lines()[1].starts_with(unreadable + ">: ")) << console.lines()[1];
    recorder->createLogDirectory();
    EXPECT_EQ(std::filesystem::status(logs).permissions(), perms::owner_all);
    record(*recorder, "written", now + std::chrono::seconds(1));
    const auto today = nameOfDay("2024-01-15");
    EXPECT_EQ(readFile(logs / today), "written\n");

    console.clear();
    std::filesystem::create_directories(logs / "old");
    touch(logs / "old" / "inside");
    touch(logs / "stale.log");
    {
        // The listing needs six reads (".", "..", three names, the end); the fourth fails.
        const DirectoryReadFault failingListing(3);
        EXPECT_NO_THROW(recorder->prune());
    }
    ASSERT_EQ(console.lines().size(), 1u);
    EXPECT_EQ(console.lines()[0], unreadable + ">: Input/output error");
    EXPECT_EQ(namesIn(logs), (Names{"old", "stale.log", today}));
    {
        // The listing takes its six reads; removing "old" lists that directory and fails.
        const DirectoryReadFault failingRemoval(6);
        EXPECT_NO_THROW(recorder->prune());
    }
    ASSERT_EQ(console.lines().size(), 2u);
    EXPECT_EQ(console.lines()[1], "Error attempting to delete the unneeded file <" +
                                      (logs / "old").string() + ">: Input/output error");
    EXPECT_EQ(namesIn(logs), (Names{"old", today}));
}

// Files switch at local midnight, pruning first; days are 23 hours long when the clocks go
// forward, as in Berlin on the last Sunday of March, and stepping back one day from the day after
// lands on that day.
TEST_F(RotatingLogFileRecorderTest,
       SwitchesFilesAtLocalMidnightAcrossAClockChangePrunesFirstAndNamesThemByAnyIdentifier) {
    inFreshProcess([this] {
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
        auto recorder = makeRecorder(2);
        now = localTime("2024-03-30 23:59:00");
        record(*recorder, "before midnight", now);
        record(*recorder, "still the 30th", localTime("2024-03-30 23:59:59"));
        touch(directory.path() / "stale.log");
        recordNow(*recorder, "2024-03-31", "start of a 23-hour day");
        EXPECT_EQ(namesIn(directory.path()),
                  (Names{nameOfDay("2024-03-30"), nameOfDay("2024-03-31")}));
        EXPECT_EQ(fileOfDay("2024-03-30"), "before midnight\nstill the 30th\n");
        EXPECT_EQ(std::filesystem::status(directory.path() / nameOfDay("2024-03-31")).permissions(),
                  perms::owner_read | perms::owner_write);

        recordNow(*recorder, "2024-04-01", "start of the next day");
        EXPECT_EQ(namesIn(directory.path()),
                  (Names{nameOfDay("2024-03-31"), nameOfDay("2024-04-01")}));
        EXPECT_EQ(fileOfDay("2024-03-31"), "start of a 23-hour day\n");
        EXPECT_EQ(fileOfDay("2024-04-01"), "start of the next day\n");

        // Any identifier names the files, or none.
        auto config = *platform::PlatformConfig::current();
        for (const auto& [identifier, name] :
             {std::pair<std::string, std::string>{"it's.app", "2023-11-05-it's.app.log"},
              {"", "2023-11-05.log"}}) {
            config.bundleIdentifier = identifier;
            platform::PlatformConfig::install(config);
            EXPECT_EQ(RotatingLogFileRecorder::logFilename(localTime("2023-11-05 14:03:00")), name);
        }
    });
}

}  // namespace
}  // namespace orvanpush

#include "utils/logger/log_manager/LogManager.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "orvanpush/logger/Log.h"
#include "platform/FileSystem.h"
#include "platform/Home.h"
#include "platform/ProcessInfo.h"
#include "support/TestHome.h"
#include "utils/logger/log_manager/FreshProcess.h"
#include "utils/logger/log_manager/LogSettings.h"

namespace orvanpush::detail {
namespace {

using testing::runInFreshProcess;

// TIMESTAMP;SEVERITY;THREAD;CONTEXT;MODULE;PAYLOAD [FILE:LINE]
const std::regex kLogFileLine(
    R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}[+-]\d{4};(Off|Error|Info|Trace);[0-9A-F]{8,};;)"
    R"((Crypto|Storage|SDK Instance);.* \[[^\]/]+:\d+\])");

LogEntry entryWith(const std::string& text, LogSeverity severity,
                   Date timestamp = std::chrono::system_clock::now()) {
    return LogEntry(LogEntry::Message{text}, severity, std::nullopt, LoggerModule::storage,
                    __FILE__, __LINE__, "LogManagerTest", platform::ProcessInfo::threadNumber(),
                    timestamp);
}

std::vector<std::string> linesOfLogFile(Date date = std::chrono::system_clock::now()) {
    auto file = LogManager::getLogFile(date);
    if (!file) {
        return {};
    }
    std::istringstream text(platform::FileSystem::readFile(*file).value_or(""));
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);) {
        lines.push_back(line);
    }
    return lines;
}

bool logFileHasLineEndingWith(const std::string& payload) {
    auto lines = linesOfLogFile();
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.find(";" + payload + " [") != std::string::npos;
    });
}

class SaveLogRecordTest : public ::testing::Test {
  protected:
    void SetUp() override { LogManager::logRecorder()->createLogDirectory(); }
    void TearDown() override {
        LogSettings::setLogLevel(LogSettings::defaultLogLevel);
        LogSettings::setSendLogs(LogSettings::defaultSendLogs);
    }

    // Saves one entry per severity, each with its own text, and tells which reached the file.
    std::vector<LogSeverity> writtenSeverities(const std::string& level) {
        LogSettings::setLogLevel(level);
        std::vector<LogSeverity> written;
        for (auto severity : allLogSeverities) {
            auto text = "level " + level + " entry " + toString(severity) + " #" +
                        std::to_string(++counter_);
            LogManager::saveLogRecord(entryWith(text, severity));
            if (logFileHasLineEndingWith(text)) {
                written.push_back(severity);
            }
        }
        return written;
    }

  private:
    static inline int counter_ = 0;
};

using Severities = std::vector<LogSeverity>;

TEST_F(SaveLogRecordTest, TheLogLevelDecidesWhichSeveritiesAreWritten) {
    EXPECT_EQ(writtenSeverities("info"),
              (Severities{LogSeverity::off, LogSeverity::error, LogSeverity::info}));
    EXPECT_EQ(writtenSeverities("error"), (Severities{LogSeverity::error}));
    EXPECT_EQ(writtenSeverities("trace"), (Severities{LogSeverity::off, LogSeverity::error,
                                                      LogSeverity::info, LogSeverity::trace}));
    EXPECT_EQ(writtenSeverities("off"), Severities{});
    // Levels are raw values, compared exactly.
    EXPECT_EQ(writtenSeverities("Info"), Severities{});
    EXPECT_EQ(writtenSeverities(""), Severities{});
}

TEST_F(SaveLogRecordTest, NothingIsWrittenUnlessSendLogsIsOne) {
    LogSettings::setSendLogs("0");
    EXPECT_EQ(writtenSeverities("trace"), Severities{});
    LogSettings::setSendLogs("true");
    EXPECT_EQ(writtenSeverities("trace"), Severities{});
}

TEST_F(SaveLogRecordTest, WritesTheSdkLineLayout) {
    LogSettings::setLogLevel("trace");
    LogManager::saveLogRecord(entryWith("layout check", LogSeverity::info));
    auto lines = linesOfLogFile();
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(std::regex_match(lines.back(), kLogFileLine)) << lines.back();
    EXPECT_NE(lines.back().find(";Info;"), std::string::npos);
    EXPECT_NE(lines.back().find(";;Storage;layout check [LogManagerTest.cpp:"), std::string::npos);

    auto files = LogManager::getLogFiles();
    EXPECT_NE(std::find(files.begin(), files.end(),
                        *LogManager::getLogFile(std::chrono::system_clock::now())),
              files.end());
    EXPECT_EQ(files.front().parent_path(),
              platform::Home::documentsDirectory() / "OrvanPushSDKLogs");
}

TEST_F(SaveLogRecordTest, EntriesFromManyThreadsStayWholeLines) {
    constexpr int threads = 8;
    constexpr int entriesPerThread = 10000;
    LogSettings::setLogLevel("trace");
    // One timestamp for all, so a midnight cannot split them over two files.
    const Date timestamp = std::chrono::system_clock::now();
    const std::string marker = "concurrent entry from thread ";

    std::vector<std::thread> writers;
    for (int t = 0; t < threads; ++t) {
        writers.emplace_back([&, t] {
            for (int i = 0; i < entriesPerThread; ++i) {
                LogManager::saveLogRecord(
                    entryWith(marker + std::to_string(t) + " number " + std::to_string(i),
                              i % 2 == 0 ? LogSeverity::error : LogSeverity::trace, timestamp));
            }
        });
    }
    for (auto& writer : writers) {
        writer.join();
    }

    std::vector<int> perThread(threads, 0);
    const std::regex ours(marker + R"((\d) number \d+ \[)");
    for (const auto& line : linesOfLogFile(timestamp)) {
        ASSERT_TRUE(std::regex_match(line, kLogFileLine)) << line;
        std::smatch match;
        if (std::regex_search(line, match, ours)) {
            ++perThread[std::stoi(match[1])];
        }
    }
    EXPECT_EQ(perThread, std::vector<int>(threads, entriesPerThread));
}

// Runs in a fresh process: enabling installs the console once per process.
TEST(LogManagerFreshProcessTest, DISABLED_EnableLoggingSetsUpConsoleSettingsAndDirectory) {
    if (!testing::enterFreshProcess()) {
        GTEST_SKIP();
    }
    LogSettings::set(LogSettings::logLevelKey, "Info");
    LogSettings::set(LogSettings::sendLogsKey, std::nullopt);

    LogManager::enableLogging();

    EXPECT_EQ(LogSettings::logLevel(), "Info");
    EXPECT_EQ(LogSettings::sendLogs(), "1");
    EXPECT_TRUE(std::filesystem::is_directory(*LogManager::logDirectory()));
    // The console takes info and error entries, not trace.
    ASSERT_TRUE(Log::info());
    EXPECT_TRUE(Log::error());
    EXPECT_FALSE(Log::trace());

    const auto before = linesOfLogFile();
    LogManager::saveLogRecord(entryWith("with an invalid level", LogSeverity::error));
    EXPECT_EQ(linesOfLogFile(), before);

    const auto& receptacle = Log::info()->receptacle();
    receptacle->acceptQueue()->waitUntilIdle();
    receptacle->configuration().front()->recorders().front()->queue()->waitUntilIdle();
}

TEST(LogManagerTest, EnableLoggingWritesConsoleLinesAndRefreshesSettings) {
    auto child = runInFreshProcess(
        "LogManagerFreshProcessTest."
        "DISABLED_EnableLoggingSetsUpConsoleSettingsAndDirectory");
    EXPECT_TRUE(child.passed()) << child.output;
    // DATE TIME ZONE [HEX/DECIMAL] EMOJI -> MESSAGE [FILE:LINE]
    const std::string console =
        R"((^|\n)\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2} [+-]\d{4} \[[0-9A-F]{8,}/\d+\] )"
        "\U0001F537";
    EXPECT_TRUE(std::regex_search(
        child.output, std::regex(console + R"( -> Send logs is 1 \[LogManager\.cpp:\d+\]\n)")))
        << child.output;
    EXPECT_TRUE(std::regex_search(
        child.output,
        std::regex(console + R"( -> Current log level undefined \[LogManager\.cpp:\d+\]\n)")))
        << child.output;
}

}  // namespace
}  // namespace orvanpush::detail

#include "utils/logger/log_manager/LogManager.h"

#include <regex>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "orvanpush/logger/BasicLogConfiguration.h"
#include "orvanpush/logger/BufferedLogRecorder.h"
#include "orvanpush/logger/Log.h"
#include "orvanpush/logger/LogReceptacle.h"
#include "orvanpush/platform/PlatformConfig.h"
#include "platform/FileSystem.h"
#include "platform/Home.h"
#include "platform/ProcessInfo.h"
#include "utils/LoggingControl.h"
#include "utils/logger/FunctionName.h"
#include "utils/logger/LogTestSupport.h"
#include "utils/logger/log_manager/KestFileLogger.h"
#include "utils/logger/log_manager/LogSettings.h"
#include "utils/logger/log_manager/SdkLog.h"
#include "utils/logger/log_manager/SdkVersion.h"

namespace orvanpush::detail {
namespace {

using ::testing::HasSubstr;
using testing::inFreshProcess;
using Severities = std::vector<LogSeverity>;
using Texts = std::vector<std::string>;

LogEntry entryWith(const std::string& text, LogSeverity severity,
                   Date timestamp = std::chrono::system_clock::now()) {
    return LogEntry(LogEntry::Message{text}, severity, std::nullopt, LoggerModule::storage,
                    __FILE__, __LINE__, "LogManagerTest", platform::ProcessInfo::threadNumber(),
                    timestamp);
}

std::string logFileText(Date date = std::chrono::system_clock::now()) {
    auto file = LogManager::getLogFile(date);
    return file ? platform::FileSystem::readFile(*file).value_or("") : "";
}

// Saves one entry per severity, each with its own text, and tells which reached the file.
Severities writtenSeverities(const std::string& sendLogs, const std::string& level) {
    static int counter = 0;
    LogSettings::setSendLogs(sendLogs);
    LogSettings::setLogLevel(level);
    Severities written;
    for (auto severity : allLogSeverities) {
        const auto text = "entry #" + std::to_string(++counter);
        LogManager::saveLogRecord(entryWith(text, severity));
        if (logFileText().find(";" + text + " [") != std::string::npos) {
            written.push_back(severity);
        }
    }
    return written;
}

// Each test starts with the log directory there and leaves the default settings behind.
class LogManagerTest : public ::testing::Test {
  protected:
    void SetUp() override { LogManager::logRecorder()->createLogDirectory(); }
    void TearDown() override {
        LogSettings::setLogLevel(LogSettings::defaultLogLevel);
        LogSettings::setSendLogs(LogSettings::defaultSendLogs);
    }
};

TEST_F(LogManagerTest, TheLogLevelAndSendLogsDecideWhichSeveritiesAreWritten) {
    using enum LogSeverity;
    EXPECT_EQ(writtenSeverities("1", "info"), (Severities{off, error, info}));
    EXPECT_EQ(writtenSeverities("1", "error"), (Severities{error}));
    EXPECT_EQ(writtenSeverities("1", "trace"), (Severities{off, error, info, trace}));
    // A trace names the calling function at its call site.
    const auto site = SourceLocation::current();
    SdkLog::trace(LogSeverity::error, LoggerModule::sdk);
    EXPECT_THAT(logFileText(),
                HasSubstr(";;SDK Instance;" + functionName(site) +
                          " [LogManagerTest.cpp:" + std::to_string(site.line() + 1) + "]\n"));
    // Levels are raw values, compared exactly; send-logs must be exactly "1".
    for (auto [sendLogs, level] :
         {std::pair{"1", "off"}, {"1", "Info"}, {"1", ""}, {"0", "trace"}, {"true", "trace"}}) {
        EXPECT_EQ(writtenSeverities(sendLogs, level), Severities{}) << sendLogs << " " << level;
    }
}

// The SDK's log file written from many threads at once: whole lines in the file's layout, each
// thread's in its own order.
TEST_F(LogManagerTest, EntriesFromManyThreadsStayWholeLinesInOrder) {
    constexpr int threads = 8;
    constexpr int entriesPerThread = 10000;
    LogSettings::setLogLevel("trace");
    // One timestamp for all, so a midnight cannot split them over two files.
    const Date timestamp = std::chrono::system_clock::now();
    static int run = 0;  // each run of the test counts its own entries
    const std::string marker = "concurrent entry of run " + std::to_string(++run) + " from thread ";
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

    // TIMESTAMP;SEVERITY;THREAD;CONTEXT;MODULE;PAYLOAD [FILE:LINE]
    const std::regex logFileLine(
        R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}[+-]\d{4};(Off|Error|Info|Trace);[0-9A-F]{8,};;)"
        R"((Crypto|Storage|SDK Instance);.* \[[^\]/]+:\d+\])");
    const std::regex ours(marker + R"((\d) number (\d+) \[)");
    std::vector<int> perThread(threads, 0);
    std::istringstream text(logFileText(timestamp));
    for (std::string line; std::getline(text, line);) {
        ASSERT_TRUE(std::regex_match(line, logFileLine)) << line;
        std::smatch match;
        if (std::regex_search(line, match, ours)) {
            ASSERT_EQ(std::stoi(match[2]), perThread[std::stoi(match[1])]++) << line;
        }
    }
    EXPECT_EQ(perThread, std::vector<int>(threads, entriesPerThread));
}

TEST(LogManagerEnablingTest, SetsUpConsoleSettingsAndDirectoryAndKeepsSettingsAStoreFailureLoses) {
    // In a fresh process: enabling installs the console once per process.
    inFreshProcess([] {
        const auto console = testing::testHome() / "console";
        ASSERT_TRUE(std::freopen(console.c_str(), "w", stdout));
        // A fresh home: send-logs is not stored yet.
        LogSettings::set("_log_level", "Info");

        LogManager::enableLogging();

        EXPECT_EQ(LogSettings::logLevel(), "Info");
        EXPECT_EQ(LogSettings::sendLogs(), "1");
        EXPECT_EQ(LogManager::logDirectory(),
                  platform::Home::documentsDirectory() / "OrvanPushSDKLogs");
        EXPECT_TRUE(std::filesystem::is_directory(*LogManager::logDirectory()));
        ASSERT_TRUE(Log::info());
        // An entry under an invalid level is not written, but announced.
        const auto before = logFileText();
        LogManager::saveLogRecord(entryWith("with an invalid level", LogSeverity::error));
        EXPECT_EQ(logFileText(), before);

        const auto& receptacle = Log::info()->receptacle();
        receptacle->acceptQueue()->waitUntilIdle();
        receptacle->configuration().front()->recorders().front()->queue()->waitUntilIdle();
        std::fflush(stdout);
        const auto lines = platform::FileSystem::readFile(console).value_or("");
        // Both at the places log readers know them by.
        EXPECT_THAT(lines, HasSubstr("\U0001F537 -> Send logs is 1 [LogManager.cpp:87]"));
        EXPECT_THAT(lines,
                    HasSubstr("\U0001F537 -> Current log level undefined [LogManager.cpp:98]"));

        // A store that cannot be read never turns the server's "send logs off" back on, and a
        // value that cannot be written stays in force, is logged, and reaches the store once it
        // can.
        LogSettings::set("_send_logs", "0");
        LogSettings::setLogLevel("info");
        LogManager::enableLogging();
        ASSERT_EQ(LogSettings::sendLogs(), "0");
        // The process's own store made unusable: its file replaced by a directory.
        const std::filesystem::path file =
            platform::Home::defaultsFile(platform::PlatformConfig::current()->bundleIdentifier);
        std::filesystem::rename(file, file.string() + ".saved");
        std::filesystem::create_directory(file);
        LogManager::enableLogging();
        EXPECT_EQ(LogSettings::sendLogs(), "0");
        LogSettings::setSendLogs("1");
        EXPECT_EQ(LogSettings::sendLogs(), "1");
        std::filesystem::remove(file);
        std::filesystem::rename(file.string() + ".saved", file);

        EXPECT_EQ(LogSettings::get("_send_logs"), "0");
        LogManager::enableLogging();
        EXPECT_EQ(LogSettings::sendLogs(), "1");
        EXPECT_EQ(LogSettings::get("_send_logs"), "1");
        EXPECT_THAT(logFileText(), HasSubstr(";Error;"));
        EXPECT_THAT(logFileText(),
                    HasSubstr(";SDK Instance;Logging setting _send_logs not saved: "));
    });
}

Json controlJson(const std::string& logLevel, const std::string& sendLogs, const Texts& versions) {
    return {{"log-level", logLevel},
            {"send-logs", sendLogs},
            {"vendor", Json::array({"orvan"})},
            {"ios-sdk-version", versions},
            {"android-sdk-version", Json::array()}};
}

// Applies a control with a console whose messages are kept in memory, and returns them.
Texts apply(const std::string& logLevel, const std::string& sendLogs, const Texts& versions) {
    auto recorder =
        std::make_shared<BufferedMessageRecorder>(LogFormatters{testing::messageFormatter()});
    auto configuration = std::make_shared<BasicLogConfiguration>(LogSeverity::trace, LogFilters{},
                                                                 LogRecorders{recorder}, true);
    applyLoggingControl(
        *SDKLoggingControl::fromJson(controlJson(logLevel, sendLogs, versions)),
        LogChannel(LogSeverity::info, LogReceptacle::create(LogConfigurations{configuration})));
    return recorder->buffer();
}

// Both settings, as cached and as stored.
Texts settings() {
    return {LogSettings::logLevel(), LogSettings::get("_log_level").value_or("-"),
            LogSettings::sendLogs(), LogSettings::get("_send_logs").value_or("-")};
}

TEST_F(LogManagerTest, ServerControlChangesTheLevelForThisVersionOnlyAndAnnouncesChanges) {
    // Store and cache agree before the first control.
    LogSettings::set("_log_level", "error");
    LogSettings::set("_send_logs", "1");
    LogSettings::setLogLevel("error");
    LogSettings::setSendLogs("1");
    const std::string ours = sdkVersion();

    EXPECT_EQ(apply("trace", "1", {"0.9.1", "2.0.1"}), Texts{});
    EXPECT_EQ(settings(), (Texts{"error", "error", "1", "1"}));
    // Levels compare ignoring case and are stored in lower case, so the log files know them.
    EXPECT_EQ(apply("ERROR", "1", {"0.9.1", ours}), Texts{});
    EXPECT_EQ(apply("Info", "1", {ours, ours}), Texts{"Log level parameter change to info"});
    EXPECT_EQ(settings(), (Texts{"info", "info", "1", "1"}));
    // A level the log files do not know is ignored, whatever the version list says.
    EXPECT_EQ(apply("verbose", "1", {ours}), Texts{"Unknown log level \"verbose\" ignored"});
    EXPECT_EQ(settings(), (Texts{"info", "info", "1", "1"}));
    EXPECT_EQ(apply("error", "0", {}), Texts{"Send logs is 0"});
    EXPECT_EQ(settings(), (Texts{"info", "info", "0", "0"}));
    EXPECT_EQ(apply("trace", "1", {ours}),
              (Texts{"Send logs is 1", "Log level parameter change to trace"}));
    EXPECT_EQ(settings(), (Texts{"trace", "trace", "1", "1"}));
}

TEST(SDKLoggingControlTest, DropsAControlWithAMissingKeyOrAWrongType) {
    std::vector<Json> broken{Json::array(), Json()};
    for (auto [key, value] : {std::pair<const char*, Json>{"log-level", nullptr},
                              {"send-logs", 1},
                              {"vendor", Json::array({"a", 2})},
                              {"ios-sdk-version", "1.0.1"},
                              {"android-sdk-version", nullptr}}) {
        broken.push_back(controlJson("info", "1", {"1.0.1"}));
        broken.back()[key] = value;
        broken.push_back(controlJson("info", "1", {"1.0.1"}));
        broken.back().erase(key);
    }
    for (const auto& json : broken) {
        EXPECT_FALSE(SDKLoggingControl::fromJson(json)) << json;
    }
}

TEST(KestFileLoggerTest, NamesTheFileByTheGmtDayAndAppendsCreatingItsDirectories) {
    // 2023-11-05 23:30 in GMT, already the 6th east of it.
    const Date lateEvening(std::chrono::seconds(1699227000));
    EXPECT_EQ(KestFileLogger::fileName(lateEvening), "20231105.orvanpush.tests.log");
    {
        const testing::ScopedPlatformConfig anonymous(
            [](platform::PlatformConfig& config) { config.bundleIdentifier.clear(); });
        EXPECT_EQ(KestFileLogger::fileName(lateEvening), "20231105.KestFileLogger.log");
    }
    testing::TempDirectory directory;
    const auto logs = directory.path() / "nested" / "logs";
    KestFileLogger logger(logs.string(), 3);
    logger.write("first\n");
    logger.write("second");
    EXPECT_EQ(testing::readFile(logs / KestFileLogger::fileName(std::chrono::system_clock::now())),
              "first\nsecond");
}

}  // namespace
}  // namespace orvanpush::detail

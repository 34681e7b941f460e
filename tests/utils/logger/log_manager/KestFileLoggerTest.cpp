#include "utils/logger/log_manager/KestFileLogger.h"

#include <chrono>
#include <filesystem>

#include <gtest/gtest.h>

#include "platform/FileSystem.h"
#include "support/TestHome.h"
#include "utils/logger/log_manager/RotatingLogFileConfiguration.h"

namespace orvanpush::detail {
namespace {

TEST(KestFileLoggerTest, NamesTheFileByTheGmtDayAndAppends) {
    // 2023-11-05 23:30 in GMT, already the 6th east of it.
    const Date lateEvening(std::chrono::seconds(1699227000));
    EXPECT_EQ(KestFileLogger::fileName(lateEvening), "20231105.orvanpush.tests.log");

    testing::TempDirectory directory;
    const auto logs = directory.path() / "nested" / "logs";
    KestFileLogger logger(logs.string(), 3);
    logger.write("first\n");
    logger.write("second");
    auto file = logs / KestFileLogger::fileName(std::chrono::system_clock::now());
    EXPECT_EQ(platform::FileSystem::readFile(file), "first\nsecond");
}

TEST(RotatingLogFileConfigurationTest, RecordsThroughItsOwnRotatingRecorder) {
    testing::TempDirectory directory;
    RotatingLogFileConfiguration configuration(LogSeverity::info, 7,
                                               (directory.path() / "logs").string(), true);
    ASSERT_EQ(configuration.recorders().size(), 1u);
    EXPECT_EQ(configuration.recorders().front(), configuration.logFileRecorder());
    EXPECT_TRUE(configuration.synchronousMode());
    EXPECT_EQ(configuration.logFileRecorder()->daysToKeep(), 7);
    configuration.createLogDirectory();
    EXPECT_TRUE(std::filesystem::is_directory(directory.path() / "logs"));
}

}  // namespace
}  // namespace orvanpush::detail

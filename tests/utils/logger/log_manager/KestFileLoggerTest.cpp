#include "utils/logger/log_manager/KestFileLogger.h"

#include <chrono>
#include <filesystem>

#include <gtest/gtest.h>

#include "platform/FileSystem.h"
#include "support/TestHome.h"

namespace orvanpush::detail {
namespace {

// The day is GMT's whatever the device's zone, and the name falls back without a bundle
// identifier.
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
    const auto file = logs / KestFileLogger::fileName(std::chrono::system_clock::now());
    EXPECT_EQ(platform::FileSystem::readFile(file), "first\nsecond");
}

}  // namespace
}  // namespace orvanpush::detail

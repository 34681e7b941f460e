#include "utils/logger/log_manager/LogSettings.h"

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "utils/logger/log_manager/FreshProcess.h"
#include "utils/logger/log_manager/LogService.h"

namespace orvanpush::detail {
namespace {

using testing::runInFreshProcess;

// The two halves of the persistence test, each in its own process.
TEST(LogSettingsFreshProcessTest, DISABLED_AssignsTheLogLevel) {
    if (!testing::enterFreshProcess()) {
        GTEST_SKIP();
    }
    LogSettings::setLogLevel(std::getenv("ASSIGNED_LOG_LEVEL"));
    EXPECT_EQ(LogSettings::logLevel(), std::getenv("ASSIGNED_LOG_LEVEL"));
}

TEST(LogSettingsFreshProcessTest, DISABLED_ReadsTheLogLevel) {
    if (!testing::enterFreshProcess()) {
        GTEST_SKIP();
    }
    EXPECT_EQ(LogSettings::logLevel(), std::getenv("EXPECTED_LOG_LEVEL"));
    EXPECT_EQ(LogSettings::sendLogs(), "1");
}

TEST(LogSettingsTest, AnAssignedLevelPersistsForTheNextProcess) {
    LogSettings::set(LogSettings::logLevelKey, std::nullopt);
    LogSettings::set(LogSettings::sendLogsKey, std::nullopt);
    auto reader = [](const char* expected) {
        return runInFreshProcess("LogSettingsFreshProcessTest.DISABLED_ReadsTheLogLevel",
                                 {{"EXPECTED_LOG_LEVEL", expected}});
    };
    auto fresh = reader("error");
    EXPECT_TRUE(fresh.passed()) << fresh.output;

    auto writer = runInFreshProcess("LogSettingsFreshProcessTest.DISABLED_AssignsTheLogLevel",
                                    {{"ASSIGNED_LOG_LEVEL", "trace"}});
    EXPECT_TRUE(writer.passed()) << writer.output;
    EXPECT_EQ(LogSettings::get(LogSettings::logLevelKey), "trace");

    auto next = reader("trace");
    EXPECT_TRUE(next.passed()) << next.output;
}

TEST(LogSettingsTest, AssigningTheSameValueWritesNothing) {
    LogSettings::setSendLogs("0");
    // A value changed behind the cache's back stays there until the cache changes.
    LogSettings::set(LogSettings::sendLogsKey, "changed elsewhere");
    LogSettings::setSendLogs("0");
    EXPECT_EQ(LogSettings::get(LogSettings::sendLogsKey), "changed elsewhere");
    EXPECT_EQ(LogSettings::sendLogs(), "0");
    LogSettings::setSendLogs("1");
    EXPECT_EQ(LogSettings::get(LogSettings::sendLogsKey), "1");
}

TEST(LogServiceTest, StoresTypedValuesAndRemovesOnAbsent) {
    LogService<std::string> strings;
    strings.set(std::vector<std::string>{"a", "b"}, {"first", "second"});
    EXPECT_EQ(strings.get("first"), "a");
    EXPECT_EQ(strings.get("second"), "b");
    strings.set(std::nullopt, "first");
    EXPECT_EQ(strings.get("first"), std::nullopt);

    LogService<std::int64_t> integers;
    integers.set(std::optional<std::int64_t>(7), "second");
    EXPECT_EQ(integers.get("second"), 7);
    // A value of another type reads as missing.
    EXPECT_EQ(strings.get("second"), std::nullopt);
    integers.remove("second");
    EXPECT_EQ(integers.get("second"), std::nullopt);
}

}  // namespace
}  // namespace orvanpush::detail

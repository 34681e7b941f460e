// The channels are process-wide and can be enabled only once, so each case runs in a process of
// its own.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "orvanpush/logger/BasicLogConfiguration.h"
#include "orvanpush/logger/BufferedLogRecorder.h"
#include "orvanpush/logger/Log.h"
#include "utils/logger/LogTestSupport.h"

namespace orvanpush {
namespace {

using testing::inFreshProcess;
using testing::messageFormatter;

struct BufferedSetUp {
    std::shared_ptr<BufferedMessageRecorder> recorder =
        std::make_shared<BufferedMessageRecorder>(LogFormatters{messageFormatter()}, 0);
    std::shared_ptr<LogReceptacle> receptacle;

    explicit BufferedSetUp(LogSeverity minimum)
        : receptacle(std::make_shared<LogReceptacle>(
              LogConfigurations{std::make_shared<BasicLogConfiguration>(
                  minimum, LogFilters{}, LogRecorders{recorder})})) {}

    std::vector<std::string> recorded() const {
        receptacle->acceptQueue()->waitUntilIdle();
        return recorder->buffer();
    }
};

TEST(LogEnablingTest, OnlyTheChannelsAtOrAboveTheReceptacleMinimumAreInstalled) {
    inFreshProcess([] {
        EXPECT_FALSE(Log::error() || Log::info() || Log::trace());
        BufferedSetUp console(LogSeverity::info);

        Log::enable(console.receptacle);

        ASSERT_TRUE(Log::error().has_value());
        ASSERT_TRUE(Log::info().has_value());
        EXPECT_FALSE(Log::trace().has_value());
        EXPECT_EQ(Log::error()->severity(), LogSeverity::error);
        EXPECT_EQ(Log::info()->receptacle(), console.receptacle);
        EXPECT_EQ(Log::channel(LogSeverity::info)->severity(), LogSeverity::info);
        EXPECT_FALSE(Log::channel(LogSeverity::off).has_value());

        Log::message(LogSeverity::info, "info");
        Log::message(LogSeverity::off, "off");
        Log::trace(LogSeverity::trace);
        Log::value(LogSeverity::error, LogValue(3));
        Log::message(LogSeverity::error, "error", "f()", "/f.cpp", 1);
        EXPECT_EQ(console.recorded(), (std::vector<std::string>{"info", "error"}));
    });
}

TEST(LogEnablingTest, LaterEnablingCallsChangeNothing) {
    inFreshProcess([] {
        BufferedSetUp first(LogSeverity::trace);
        BufferedSetUp second(LogSeverity::trace);

        Log::enable(first.receptacle);
        Log::enable(second.receptacle);
        Log::enable(LogConfigurations{});
        Log::neverEnable();

        ASSERT_TRUE(Log::trace().has_value());
        EXPECT_EQ(Log::trace()->receptacle(), first.receptacle);
        Log::message(LogSeverity::trace, "to the first");
        EXPECT_EQ(first.recorded(), std::vector<std::string>{"to the first"});
        EXPECT_TRUE(second.recorded().empty());
    });
}

TEST(LogEnablingTest, NeverEnableKeepsLoggingOff) {
    inFreshProcess([] {
        BufferedSetUp console(LogSeverity::trace);

        Log::neverEnable();
        Log::enable(console.receptacle);

        EXPECT_FALSE(Log::error() || Log::info() || Log::trace());
        Log::message(LogSeverity::error, "dropped");
        EXPECT_TRUE(console.recorded().empty());
    });
}

TEST(LogEnablingTest, AConfigurationListWithoutRecordersInstallsNoChannel) {
    inFreshProcess([] {
        Log::enable(std::make_shared<BasicLogConfiguration>(LogSeverity::trace));
        EXPECT_FALSE(Log::error() || Log::info() || Log::trace());
    });
}

}  // namespace
}  // namespace orvanpush

#include <cstdlib>
#include <memory>
#include <regex>

#include <gtest/gtest.h>

#include "orvanpush/logger/OrvanLogConfiguration.h"
#include "orvanpush/logger/StandardStreamsLogRecorder.h"
#include "orvanpush/logger/XcodeLogConfiguration.h"

namespace orvanpush {
namespace {

using Mode = ConsoleLogConfiguration::StandardStreamsMode;

LogEntry infoEntry() {
    return LogEntry(LogEntry::Message{"Send logs is 1"}, LogSeverity::info, std::nullopt,
                    LoggerModule::sdk, "/src/utils/logger/log_manager/LogManager.cpp", 62,
                    "LogManager::enableLogging", 0x3A1F, std::chrono::system_clock::now());
}

TEST(ConsoleLogConfigurationTest, HoldsOneStandardStreamsRecorderWhateverTheMode) {
    for (auto mode : {Mode::useAsFallback, Mode::useAlways, Mode::useExclusively}) {
        XcodeLogConfiguration configuration(LogSeverity::error, true, mode, true, false);
        EXPECT_EQ(configuration.minimumSeverity(), LogSeverity::error);
        EXPECT_FALSE(configuration.synchronousMode());
        EXPECT_FALSE(configuration.configurations());
        ASSERT_EQ(configuration.recorders().size(), 1u);
        EXPECT_TRUE(std::dynamic_pointer_cast<StandardStreamsLogRecorder>(
            configuration.recorders().front()));
    }
}

TEST(ConsoleLogConfigurationTest, XcodeLayoutShowsTimeThreadAndConsoleLine) {
    XcodeLogConfiguration configuration(LogSeverity::info, false, Mode::useExclusively, false,
                                        true);
    const auto& formatters = configuration.recorders().front()->formatters();
    ASSERT_EQ(formatters.size(), 1u);
    auto line = formatters.front()->format(infoEntry());
    ASSERT_TRUE(line);
    EXPECT_TRUE(std::regex_match(
        *line, std::regex(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2} [+-]\d{4} \[00003A1F/14879\] )"
                          "\U0001F537"
                          R"( -> Send logs is 1 \[LogManager\.cpp:62\])")))
        << *line;
}

TEST(ConsoleLogConfigurationTest, OrvanLayoutIsTheLogFileLine) {
    OrvanLogConfiguration configuration(LogSeverity::info, false, Mode::useAlways, false);
    auto line = configuration.recorders().front()->formatters().front()->format(infoEntry());
    ASSERT_TRUE(line);
    EXPECT_TRUE(std::regex_match(
        *line, std::regex(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}[+-]\d{4};Info;00003A1F;;)"
                          R"(SDK Instance;Send logs is 1)")))
        << *line;
}

TEST(ConsoleLogConfigurationTest, StandardStreamsAreUsedAsTheModeSays) {
    EXPECT_TRUE(ConsoleLogConfiguration::shouldUseStandardStreams(Mode::useAlways));
    EXPECT_TRUE(ConsoleLogConfiguration::shouldUseStandardStreams(Mode::useExclusively));
    EXPECT_FALSE(ConsoleLogConfiguration::willUseOSLog(Mode::useExclusively));
    EXPECT_TRUE(ConsoleLogConfiguration::willUseOSLog(Mode::useAsFallback));
    EXPECT_TRUE(ConsoleLogConfiguration::willUseOSLog(Mode::useAlways));

    const char* previous = std::getenv("OS_ACTIVITY_MODE");
    unsetenv("OS_ACTIVITY_MODE");
    EXPECT_FALSE(ConsoleLogConfiguration::shouldUseStandardStreams(Mode::useAsFallback));
    setenv("OS_ACTIVITY_MODE", "disable", 1);
    EXPECT_TRUE(ConsoleLogConfiguration::shouldUseStandardStreams(Mode::useAsFallback));
    if (previous != nullptr) {
        setenv("OS_ACTIVITY_MODE", previous, 1);
    } else {
        unsetenv("OS_ACTIVITY_MODE");
    }
}

}  // namespace
}  // namespace orvanpush

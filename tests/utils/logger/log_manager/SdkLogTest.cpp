#include "utils/logger/log_manager/SdkLog.h"

#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "orvanpush/logger/SourceLocation.h"
#include "platform/FileSystem.h"
#include "utils/logger/FunctionName.h"
#include "utils/logger/log_manager/LogManager.h"
#include "utils/logger/log_manager/LogSettings.h"

namespace orvanpush::detail {
namespace {

using ::testing::HasSubstr;

TEST(SdkLogTest, TraceLogsTheCallingFunctionAtItsCallSite) {
    LogManager::logRecorder()->createLogDirectory();
    LogSettings::setLogLevel("trace");
    const auto site = SourceLocation::current();
    SdkLog::trace(LogSeverity::error, LoggerModule::sdk);
    LogSettings::setLogLevel(LogSettings::defaultLogLevel);

    const auto file = LogManager::getLogFile(std::chrono::system_clock::now());
    ASSERT_TRUE(file);
    EXPECT_THAT(platform::FileSystem::readFile(*file).value_or(""),
                HasSubstr(";;SDK Instance;" + functionName(site) +
                          " [SdkLogTest.cpp:" + std::to_string(site.line() + 1) + "]\n"));
}

}  // namespace
}  // namespace orvanpush::detail

#include "utils/logger/log_manager/SDKLoggingControl.h"

#include <memory>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "orvanpush/logger/BasicLogConfiguration.h"
#include "orvanpush/logger/BufferedLogRecorder.h"
#include "orvanpush/logger/FieldLogFormatters.h"
#include "orvanpush/logger/LogReceptacle.h"
#include "utils/logger/log_manager/LogSettings.h"
#include "utils/logger/log_manager/SdkVersion.h"

namespace orvanpush::detail {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

Json controlJson(const std::string& logLevel, const std::string& sendLogs,
                 const std::vector<std::string>& versions) {
    return {{"log-level", logLevel},
            {"send-logs", sendLogs},
            {"vendor", Json::array({"orvan"})},
            {"ios-sdk-version", versions},
            {"android-sdk-version", Json::array()}};
}

SDKLoggingControl control(const std::string& logLevel, const std::string& sendLogs,
                          const std::vector<std::string>& versions) {
    return *SDKLoggingControl::fromJson(controlJson(logLevel, sendLogs, versions));
}

// Applies controls with a console whose messages are kept in memory.
class ApplyLoggingControlTest : public ::testing::Test {
  protected:
    void SetUp() override {
        LogSettings::setLogLevel("error");
        LogSettings::setSendLogs("1");
    }
    void TearDown() override { SetUp(); }

    std::vector<std::string> apply(const SDKLoggingControl& control) {
        auto recorder = std::make_shared<BufferedMessageRecorder>(
            LogFormatters{std::make_shared<PayloadMessageLogFormatter>()});
        auto configuration = std::make_shared<BasicLogConfiguration>(
            LogSeverity::trace, LogFilters{}, LogRecorders{recorder}, true);
        auto receptacle = std::make_shared<LogReceptacle>(LogConfigurations{configuration});
        applyLoggingControl(control, LogChannel(LogSeverity::info, receptacle));
        return recorder->buffer();
    }
};

TEST_F(ApplyLoggingControlTest, ChangesTheLevelOnlyForThisLibrarysVersion) {
    EXPECT_THAT(apply(control("trace", "1", {"0.9.1", "2.0.1"})), IsEmpty());
    EXPECT_EQ(LogSettings::logLevel(), "error");

    EXPECT_THAT(apply(control("trace", "1", {"0.9.1", sdkVersion()})),
                ElementsAre("Log level parameter change to trace"));
    EXPECT_EQ(LogSettings::logLevel(), "trace");
    EXPECT_EQ(LogSettings::get(LogSettings::logLevelKey), "trace");
}

TEST_F(ApplyLoggingControlTest, ComparesLevelsIgnoringCaseButStoresThemAsReceived) {
    EXPECT_THAT(apply(control("ERROR", "1", {sdkVersion()})), IsEmpty());
    EXPECT_EQ(LogSettings::logLevel(), "error");

    EXPECT_THAT(apply(control("Info", "1", {sdkVersion()})),
                ElementsAre("Log level parameter change to Info"));
    EXPECT_EQ(LogSettings::logLevel(), "Info");
}

TEST_F(ApplyLoggingControlTest, AnnouncesOnlyAChangedSendLogs) {
    EXPECT_THAT(apply(control("error", "1", {})), IsEmpty());

    EXPECT_THAT(apply(control("error", "0", {})), ElementsAre("Send logs is 0"));
    EXPECT_EQ(LogSettings::sendLogs(), "0");
    EXPECT_EQ(LogSettings::get(LogSettings::sendLogsKey), "0");

    EXPECT_THAT(apply(control("trace", "1", {sdkVersion()})),
                ElementsAre("Send logs is 1", "Log level parameter change to trace"));
}

TEST(SDKLoggingControlTest, DecodesAllFiveKeys) {
    auto decoded = SDKLoggingControl::fromJson(controlJson("info", "0", {"1.0.1"}));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->logLevel, "info");
    EXPECT_EQ(decoded->sendLogs, "0");
    EXPECT_THAT(decoded->vendor, ElementsAre("orvan"));
    EXPECT_THAT(decoded->iosSDKVersion, ElementsAre("1.0.1"));
    EXPECT_THAT(decoded->androidSDKVersion, IsEmpty());
}

TEST(SDKLoggingControlTest, DropsAControlWithAMissingKeyOrAWrongType) {
    for (const char* key :
         {"log-level", "send-logs", "vendor", "ios-sdk-version", "android-sdk-version"}) {
        auto json = controlJson("info", "1", {"1.0.1"});
        json.erase(key);
        EXPECT_FALSE(SDKLoggingControl::fromJson(json)) << "without " << key;
    }
    auto numericLevel = controlJson("info", "1", {});
    numericLevel["send-logs"] = 1;
    EXPECT_FALSE(SDKLoggingControl::fromJson(numericLevel));
    auto versionText = controlJson("info", "1", {});
    versionText["ios-sdk-version"] = "1.0.1";
    EXPECT_FALSE(SDKLoggingControl::fromJson(versionText));
    auto mixedList = controlJson("info", "1", {});
    mixedList["vendor"] = Json::array({"a", 2});
    EXPECT_FALSE(SDKLoggingControl::fromJson(mixedList));
    EXPECT_FALSE(SDKLoggingControl::fromJson(Json::array()));
    EXPECT_FALSE(SDKLoggingControl::fromJson(Json()));
}

}  // namespace
}  // namespace orvanpush::detail

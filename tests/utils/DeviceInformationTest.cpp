#include <stdlib.h>

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/UserNotificationCenter.h"
#include "support/TestHome.h"
#include "utils/ContentConverter.h"
#include "utils/DeviceInfoUtil.h"
#include "utils/PushUtils.h"

namespace orvanpush::detail {
namespace {

using platform::AuthorizationStatus;
using platform::UserNotificationCenter;
using testing::Event;

TEST(DeviceInfoUtilTest, MapsIdentifiersToProductNamesAndKeepsUnknownOnes) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"iPhone12,1", "iPhone 11"},
        {"iPad8,10", "iPad Pro (11-inch) (2nd generation)"},
        {"iPod7,1", "iPod touch (6th generation)"},
        {"AudioAccessory1,2", "HomePod"},
        {"iPhone14,5", "iPhone14,5"},
        {"iphone12,1", "iphone12,1"},
        {"", ""},
    };
    for (const auto& [identifier, name] : cases) {
        EXPECT_EQ(DeviceInfoUtil::mapToDevice(identifier), name) << identifier;
    }
}

TEST(DeviceInfoUtilTest, ASimulatorIsNamedAfterItsSimulatedModel) {
    unsetenv("SIMULATOR_MODEL_IDENTIFIER");
    EXPECT_EQ(DeviceInfoUtil::mapToDevice("x86_64"), "Simulator iOS");
    setenv("SIMULATOR_MODEL_IDENTIFIER", "iPhone13,2", 1);
    EXPECT_EQ(DeviceInfoUtil::mapToDevice("i386"), "Simulator iPhone 12");
    // A simulator simulating a simulator is named once, not for ever.
    setenv("SIMULATOR_MODEL_IDENTIFIER", "x86_64", 1);
    EXPECT_EQ(DeviceInfoUtil::mapToDevice("x86_64"), "Simulator x86_64");
    unsetenv("SIMULATOR_MODEL_IDENTIFIER");
}

TEST(DeviceInfoUtilTest, TheModelNameComesFromTheConfiguredHardwareModelOnceAProcess) {
    std::optional<testing::ScopedPlatformConfig> device(
        [](auto& config) { config.hardwareModel = std::string("iPad13,1\0junk", 13); });
    EXPECT_EQ(DeviceInfoUtil::modelName(), "iPad Air (4th generation)");
    device.reset();
    testing::ScopedPlatformConfig other([](auto& config) { config.hardwareModel = "iPhone1,1"; });
    EXPECT_EQ(DeviceInfoUtil::modelName(), "iPad Air (4th generation)");
}

// A probe with the real five-second wait over a source that answers at once.
bool probe(AuthorizationStatus status) {
    UserNotificationCenter center([status] { return status; });
    return PushUtils::isPushEnabled(
        center, [](AuthorizationAnswer& answer, auto timeout) { return answer.waitFor(timeout); });
}

TEST(PushUtilsTest, OnlyAuthorizedAndProvisionalAllowNotifications) {
    EXPECT_FALSE(probe(AuthorizationStatus::notDetermined));
    EXPECT_FALSE(probe(AuthorizationStatus::denied));
    EXPECT_TRUE(probe(AuthorizationStatus::authorized));
    EXPECT_TRUE(probe(AuthorizationStatus::provisional));
    EXPECT_FALSE(probe(AuthorizationStatus::ephemeral));
}

TEST(PushUtilsTest, TheProcessCenterAsksTheSourceConfiguredAtEachProbe) {
    for (const auto status : {AuthorizationStatus::denied, AuthorizationStatus::authorized}) {
        testing::ScopedPlatformConfig source([status](auto& config) {
            config.notificationAuthorization = [status] { return status; };
        });
        EXPECT_EQ(PushUtils::isPushEnabled(), status == AuthorizationStatus::authorized);
    }
}

TEST(PushUtilsTest, ASourceThatThrowsAnswersNotDetermined) {
    UserNotificationCenter center([]() -> AuthorizationStatus { throw std::runtime_error("x"); });
    EXPECT_FALSE(PushUtils::isPushEnabled(
        center, [](AuthorizationAnswer& answer, auto timeout) { return answer.waitFor(timeout); }));
}

// The source blocks until the test releases it; the wait "runs out" when the test says so.
TEST(PushUtilsTest, NoAnswerWithinFiveSecondsIsFalseAndTheLateAnswerTouchesNoLaterProbe) {
    Event sourceAsked;
    Event releaseSource;
    int calls = 0;
    UserNotificationCenter center([&] {
        if (++calls == 1) {
            sourceAsked.notify();
            releaseSource.wait();
            return AuthorizationStatus::authorized;
        }
        return AuthorizationStatus::denied;
    });
    std::chrono::milliseconds waited{0};
    AuthorizationAnswer* firstAnswer = nullptr;
    const bool first =
        PushUtils::isPushEnabled(center, [&](AuthorizationAnswer& answer, auto timeout) {
            waited = timeout;
            firstAnswer = &answer;
            EXPECT_TRUE(sourceAsked.wait());
            return answer.waitFor(std::chrono::milliseconds(0));  // the time has run out
        });
    EXPECT_FALSE(first);
    EXPECT_EQ(waited, std::chrono::seconds(5));

    // The late "authorized" lands in the first probe's answer, not in the second's "denied".
    const bool second =
        PushUtils::isPushEnabled(center, [&](AuthorizationAnswer& answer, auto timeout) {
            EXPECT_NE(&answer, firstAnswer);
            releaseSource.notify();
            return answer.waitFor(timeout);
        });
    EXPECT_FALSE(second);
}

TEST(ContentConverterTest, TakesTheTextMembersOfAJsonObjectAndNothingElse) {
    const auto convert = [](const std::optional<std::string>& body) {
        return ContentConverter::extraContent(
            "m1", body ? std::optional<Bytes>(Bytes(body->begin(), body->end())) : std::nullopt);
    };
    const auto both = convert(R"({"contentType":"text/html","content":"<b>Hi</b>","x":1})");
    ASSERT_TRUE(both);
    EXPECT_EQ(both->mimeType(), "text/html");
    EXPECT_EQ(both->value(), "<b>Hi</b>");
    EXPECT_EQ(both->messageId(), "m1");

    const auto onlyContent = convert(R"({"content":"hello"})");
    ASSERT_TRUE(onlyContent);
    EXPECT_EQ(onlyContent->mimeType(), std::nullopt);
    EXPECT_EQ(onlyContent->value(), "hello");

    const auto nulls = convert(R"({"contentType":null,"content":null})");
    ASSERT_TRUE(nulls);
    EXPECT_EQ(nulls->mimeType(), std::nullopt);
    EXPECT_EQ(nulls->value(), std::nullopt);

    // A member of another type is not absent: the answer is not content.
    for (const auto& unusable :
         {std::optional<std::string>(), std::optional<std::string>(""),
          std::optional<std::string>("{\"content\":"), std::optional<std::string>("[1,2]"),
          std::optional<std::string>("\"text\""),
          std::optional<std::string>(R"({"contentType":7,"content":"x"})"),
          std::optional<std::string>(R"({"content":{"text":"x"}})"),
          std::optional<std::string>(std::string("{\"content\":\"x\"}\0garbage", 23)),
          std::optional<std::string>("{\"content\":\"\xff\"}")}) {
        EXPECT_FALSE(convert(unusable)) << unusable.value_or("(no data)");
    }
}

}  // namespace
}  // namespace orvanpush::detail

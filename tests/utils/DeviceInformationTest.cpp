#include <stdexcept>

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

// Known identifiers are mapped through the same table the model name uses (SubscriptionTest
// checks a simulator without a model), others are kept as they are.
TEST(DeviceInfoUtilTest, KeepsUnknownIdentifiersNamesSimulatorsByTheirModelsAndReadsTheModelOnce) {
    for (const char* identifier : {"iPhone14,5", "iphone12,1", ""}) {
        EXPECT_EQ(DeviceInfoUtil::mapToDevice(identifier), identifier);
    }
    setenv("SIMULATOR_MODEL_IDENTIFIER", "iPhone13,2", 1);
    EXPECT_EQ(DeviceInfoUtil::mapToDevice("i386"), "Simulator iPhone 12");
    // A simulator simulating a simulator is named once, not for ever.
    setenv("SIMULATOR_MODEL_IDENTIFIER", "x86_64", 1);
    EXPECT_EQ(DeviceInfoUtil::mapToDevice("x86_64"), "Simulator x86_64");
    unsetenv("SIMULATOR_MODEL_IDENTIFIER");

    // The model name comes from the configured hardware model, once a process.
    std::optional<testing::ScopedPlatformConfig> device(
        [](auto& config) { config.hardwareModel = std::string("iPad13,1\0junk", 13); });
    EXPECT_EQ(DeviceInfoUtil::modelName(), "iPad Air (4th generation)");
    device.emplace([](auto& config) { config.hardwareModel = "iPhone1,1"; });
    EXPECT_EQ(DeviceInfoUtil::modelName(), "iPad Air (4th generation)");
}

// A probe with the real five-second wait over a source that answers at once, or throws.
bool probe(std::function<AuthorizationStatus()> source) {
    UserNotificationCenter center(std::move(source));
    return PushUtils::isPushEnabled(
        center, [](AuthorizationAnswer& answer, auto timeout) { return answer.waitFor(timeout); });
}

TEST(PushUtilsTest, OnlyAuthorizedAndProvisionalAllowNotifications) {
    using enum AuthorizationStatus;
    for (auto status : {notDetermined, denied, authorized, provisional, ephemeral}) {
        EXPECT_EQ(probe([status] { return status; }), status == authorized || status == provisional)
            << int(status);
    }
    EXPECT_FALSE(probe([]() -> AuthorizationStatus { throw std::runtime_error("x"); }));
    // The process's center asks the source configured at each probe.
    for (const auto status : {denied, authorized}) {
        testing::ScopedPlatformConfig source([status](auto& config) {
            config.notificationAuthorization = [status] { return status; };
        });
        EXPECT_EQ(PushUtils::isPushEnabled(), status == authorized);
    }
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
    EXPECT_FALSE(PushUtils::isPushEnabled(center, [&](AuthorizationAnswer& answer, auto timeout) {
        waited = timeout;
        firstAnswer = &answer;
        EXPECT_TRUE(sourceAsked.wait());
        return answer.waitFor(std::chrono::milliseconds(0));  // the time has run out
    }));
    EXPECT_EQ(waited, std::chrono::seconds(5));
    // The late "authorized" lands in the first probe's answer, not in the second's "denied".
    EXPECT_FALSE(PushUtils::isPushEnabled(center, [&](AuthorizationAnswer& answer, auto timeout) {
        EXPECT_NE(&answer, firstAnswer);
        releaseSource.notify();
        return answer.waitFor(timeout);
    }));
}

// Bodies of other types are refused through the whole download in RichContentTest.
TEST(ContentConverterTest, TakesTheTextMembersOfAJsonObjectAndNothingElse) {
    const auto convert = [](const std::optional<std::string>& body) -> std::string {
        const auto content = ContentConverter::extraContent(
            "m1", body ? std::optional<Bytes>(Bytes(body->begin(), body->end())) : std::nullopt);
        const auto text = [](const auto& value) { return value.value_or("(none)"); };
        return content ? text(content->messageId()) + "|" + text(content->mimeType()) + "|" +
                             text(content->value())
                       : "not content";
    };
    EXPECT_EQ(convert(R"({"contentType":"text/html","content":"<b>Hi</b>","x":1})"),
              "m1|text/html|<b>Hi</b>");
    EXPECT_EQ(convert(R"({"content":"hello"})"), "m1|(none)|hello");
    EXPECT_EQ(convert(R"({"contentType":null,"content":null})"), "m1|(none)|(none)");
    for (const auto& unusable : std::vector<std::optional<std::string>>{
             std::nullopt, "", "{\"content\":", "[1,2]", "\"text\"", "{\"content\":\"\xff\"}"}) {
        EXPECT_EQ(convert(unusable), "not content") << unusable.value_or("(no data)");
    }
}

}  // namespace
}  // namespace orvanpush::detail

// Receipt and reading through the public operations, against the reference server: the
// content an extension shows, duplicates, silent messages, a receipt that could not be stored,
// and every path's one completion (the CLI's end-to-end tests cover the reports that cannot be
// made).

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "orvanpush/OrvanPushSDKError.h"
#include "sdk/SdkTestSupport.h"
#include "storage/StoreTestSupport.h"
#include "support/NestedJson.h"

namespace orvanpush::testing {
namespace {

using ::testing::IsEmpty;
using ReceiptCompletion = Completion<std::optional<BaseApiResult>, std::exception_ptr,
                                     std::optional<MutableNotificationContent>>;

Json payload(const std::string& messageId, Json customData = nullptr) {
    Json payload{{"aps",
                  {{"alert", {{"title", "Sale"}, {"subtitle", "Today"}, {"body", "All shoes"}}},
                   {"sound", "default"}}},
                 {"message-id", messageId}};
    if (!customData.is_null()) {
        payload["custom-data"] = std::move(customData);
    }
    return payload;
}

NotificationRequest requestOf(const Json& payload) {
    return {"request", NotificationContent::fromPayload(payload)};
}

std::tuple<std::optional<BaseApiResult>, std::exception_ptr,
           std::optional<MutableNotificationContent>>
receive(PushSDK& sdk, const Json& payload, const std::optional<std::string>& with = std::nullopt) {
    ReceiptCompletion completion;
    sdk.onMessageReceive(requestOf(payload), with, completion.callback());
    return completion.wait();
}

class MessageReceiptTest : public ServerTest {};

TEST(NotificationContentTest, APayloadGivesTheTextsTheSystemShows) {
    const auto content = NotificationContent::fromPayload(payload("m1"));
    EXPECT_EQ(std::tuple(content.title(), content.subtitle(), content.body(), content.sound()),
              std::tuple("Sale", "Today", "All shoes", "default"));
    EXPECT_EQ(content.userInfo()["message-id"], "m1");

    // No alert title is an empty title; a string alert is the body; a critical sound names its
    // sound in an object.
    const auto plain = NotificationContent::fromPayload(
        {{"aps", {{"alert", "Hello"}, {"sound", {{"name", "bell"}, {"critical", 1}}}}}});
    EXPECT_EQ(plain.title(), "");
    EXPECT_EQ(plain.body(), "Hello");
    EXPECT_EQ(plain.sound(), "bell");
    EXPECT_EQ(NotificationContent::fromPayload({{"aps", {{"alert", 7}}}}), [] {
        MutableNotificationContent expected;
        expected.setUserInfo({{"aps", {{"alert", 7}}}});
        return NotificationContent(expected);
    }());
    EXPECT_EQ(NotificationContent::fromPayload(Json::array()), NotificationContent());
}

TEST_F(MessageReceiptTest, APayloadWithoutAMessageIdStringAnswersTheErrorAndTheContent) {
    TestInstance instance(server());
    instance.subscribe();
    for (const auto& id : {Json(nullptr), Json(42)}) {
        auto withoutId = payload("m1");
        withoutId.erase("message-id");
        if (!id.is_null()) {
            withoutId["message-id"] = id;
        }
        const auto [result, error, content] = receive(*instance, withoutId);
        EXPECT_FALSE(result);
        EXPECT_EQ(textOf(error), "message id not found in notification payload");
        ASSERT_TRUE(content);
        EXPECT_EQ(*content, NotificationContent::fromPayload(withoutId));
    }
    EXPECT_THAT(notificationRequests(), IsEmpty());
}

// Nothing the library does with a payload or custom data recurses as deep as a host's value
// nests: too deep, it is refused before anything is stored or sent.
TEST_F(MessageReceiptTest, PayloadsAndCustomDataNestedTooDeepAreRefusedWithoutRecursing) {
    TestInstance instance(server());
    instance.subscribe();
    auto deep = payload("m1");
    deep["custom-data"]["list"] = nestedJson(40'000);
    EXPECT_TRUE(NotificationContent::fromPayload(deep) == NotificationContent());

    MutableNotificationContent shown(NotificationContent::fromPayload(payload("m1")));
    shown.setUserInfo(std::move(deep));
    NotificationRequest request;
    request.content = std::move(shown);
    ReceiptCompletion completion;
    instance->onMessageReceive(request, std::nullopt, completion.callback());
    const auto [result, error, content] = completion.wait();
    EXPECT_FALSE(result);
    EXPECT_EQ(textOf(error), "bestAttemptContent not found");
    EXPECT_FALSE(content);

    try {
        instance->onMessageReceive("m2", "Title", std::nullopt, std::nullopt,
                                   Json{{"x", nestedJson(300)}}, std::nullopt, nullptr);
        ADD_FAILURE() << "deep custom data was taken";
    } catch (const OrvanPushSDKError& error) {
        EXPECT_EQ(error.description(), "invalidParameter(\"customData\")");
    }
    EXPECT_THAT(notificationRequests(), IsEmpty());
}

// The CLI's end-to-end tests see a second receipt silenced by default.
TEST_F(MessageReceiptTest, TheFirstReceiptIsStoredASecondSoundsWhenTheInstanceDoesNotSilence) {
    TestInstance instance(server(), false);
    instance.subscribe();
    receive(*instance, payload("m1", {{"content-available", "TRUE"}, {"classifier", "n"}}));
    const auto [result, error, content] = receive(*instance, payload("m1"));
    EXPECT_EQ(content->sound(), "default");
    EXPECT_EQ(result->getResultKind(), ResultKind::success);
    EXPECT_EQ((reportedStatuses(server())[{"m1", "Delivered"}]), 2);
    const auto message = instance.store().messageById("m1");
    ASSERT_TRUE(message);
    EXPECT_EQ(std::tuple(message->title(), message->subtitle(), message->body(),
                         message->channelName(), message->contentAvailable()),
              std::tuple("Sale", "Today", "All shoes", "push", true));
}

TEST_F(MessageReceiptTest, TheFieldFormStoresAnEmptyTitleAndReportsAMessageWithoutOneSilently) {
    TestInstance instance(server());
    instance.subscribe();
    for (const auto& [id, title] : std::vector<std::pair<std::string, std::optional<std::string>>>{
             {"empty-title", ""}, {"silent", std::nullopt}}) {
        ResultCompletion completion;
        instance->onMessageReceive(id, title, std::nullopt, "Body",
                                   Json{{"content-available", "yes"}}, std::nullopt,
                                   completion.callback());
        EXPECT_EQ(completion.first()->getResultKind(), ResultKind::success);
    }
    waitForTheLibrary();
    const auto stored = instance.store().messageById("empty-title");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->title(), "");
    EXPECT_FALSE(stored->contentAvailable());
    EXPECT_EQ(instance.store().messageById("silent"), nullptr);
    EXPECT_EQ((reportedStatuses(server())[{"silent", "Delivered"}]), 1);
    EXPECT_THROW(instance->onMessageReceive("", "Title", std::nullopt, std::nullopt, std::nullopt,
                                            std::nullopt, nullptr),
                 OrvanPushSDKError);
}

TEST_F(MessageReceiptTest, ReadingSetsTheMessageReadAndReportsIt) {
    TestInstance instance(server());
    instance.subscribe();
    receive(*instance, payload("m1"));
    ResultCompletion completion;
    instance->onMessageRead(NotificationResponse{requestOf(payload("m1"))}, completion.callback());
    EXPECT_EQ(completion.first()->getResultKind(), ResultKind::success);
    waitForTheLibrary();
    EXPECT_EQ(instance.store().messageById("m1")->statusName(), "Read");

    // A notification without message id still gets its one completion, with nothing.
    auto withoutId = payload("m1");
    withoutId.erase("message-id");
    ResultCompletion nothing;
    instance->onMessageRead(NotificationResponse{requestOf(withoutId)}, nothing.callback());
    EXPECT_FALSE(nothing.first());
    EXPECT_THROW(instance->onMessageRead("", nullptr), OrvanPushSDKError);
}

TEST_F(MessageReceiptTest, HostTextIsRepairedBeforeItIsStoredSignedOrSent) {
    TestInstance instance(server());
    instance.subscribe();
    ResultCompletion completion;
    instance->onMessageReceive("m\xff", "Ti\xc3tle", std::nullopt, std::nullopt, std::nullopt,
                               std::nullopt, completion.callback());
    EXPECT_EQ(completion.first()->getResultKind(), ResultKind::success);
    waitForTheLibrary();
    const auto message = instance.store().messageById("m\xef\xbf\xbd");
    ASSERT_TRUE(message);
    EXPECT_EQ(message->title(), "Ti\xef\xbf\xbdtle");
    const auto requests = notificationRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0]["checks"]["signature"], "verified");
}

// The message reached the device, so it is reported; but the completion says it was not
// stored, with the store's failure.
TEST_F(MessageReceiptTest, AReceiptTheStoreCannotWriteIsReportedAndItsErrorSaysItWasNotStored) {
    TestInstance instance(server());
    instance.subscribe();
    executeOn(*instance.store().container(), "PRAGMA query_only = 1");
    const auto [result, error, content] = receive(*instance, payload("full"));
    executeOn(*instance.store().container(), "PRAGMA query_only = 0");
    EXPECT_EQ(result->getResultKind(), ResultKind::success);
    ASSERT_TRUE(error);
    EXPECT_THAT(textOf(error), ::testing::StartsWith("notSaved(\"SQLite error"));
    EXPECT_EQ(content->body(), "All shoes");
    EXPECT_EQ((reportedStatuses(server())[{"full", "Delivered"}]), 1);
}

}  // namespace
}  // namespace orvanpush::testing

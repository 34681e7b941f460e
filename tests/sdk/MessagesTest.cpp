// Messages through the public operations, against the reference server. Receipt and reading:
// the content an extension shows, duplicates, silent messages, a receipt that could not be
// stored, and every path's one completion (the CLI's end-to-end tests cover the reports that
// cannot be made). Rich content: the download, and the content kept in the store once it was
// fetched (the CLI's end-to-end tests check that it is fetched once). The host's view of the
// local store: the shared controller, look-ups and removals, and what each answers when the
// store cannot be opened. Delivery reports.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "orvanpush/OrvanPushSDKError.h"
#include "platform/Base64.h"
#include "platform/SqliteDatabase.h"
#include "sdk/ReportsInFlight.h"
#include "sdk/SdkTestSupport.h"
#include "sdk/StatusReport.h"
#include "security/KeyChainUtil.h"
#include "storage/StoreTestSupport.h"
#include "support/NestedJson.h"

namespace orvanpush::testing {
namespace {

using detail::ReportedStatus;
using detail::ReportKind;
using detail::ReportsInFlight;
using detail::StatusReport;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Rows = std::vector<std::pair<std::string, std::string>>;
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

class MessagesTest : public ServerTest {
  protected:
    /// Gives the server the content of `messageId`: a PNG image as JSON, or the bytes `body`.
    void seed(const std::string& messageId, const std::optional<std::string>& body = {}) const {
        server().admin(
            "POST", "content",
            body ? Json{{"messageId", messageId}, {"bodyBase64", platform::base64Encode(*body)}}
                 : Json{{"messageId", messageId},
                        {"contentType", "image/png"},
                        {"content", "iVBORw0KGgo="}});
    }
};

TEST(NotificationContentTest, APayloadGivesTheTextsTheSystemShows) {
    // The receipts below show a full payload's texts. No alert title is an empty title; a string
    // alert is the body; a critical sound names its sound in an object.
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

TEST_F(MessagesTest, PayloadsWithoutIdOrTooDeepAreNotTakenAndAnUnstoredReceiptSaysSo) {
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

    // Nothing the library does with a payload or custom data recurses as deep as a host's value
    // nests: too deep, it is refused before anything is stored or sent.
    auto deep = payload("m1");
    deep["custom-data"]["list"] = nestedJson(40'000);
    EXPECT_TRUE(NotificationContent::fromPayload(deep) == NotificationContent());

    MutableNotificationContent shown(NotificationContent::fromPayload(payload("m1")));
    shown.setUserInfo(std::move(deep));
    NotificationRequest request;
    request.content = std::move(shown);
    ReceiptCompletion completion;
    instance->onMessageReceive(request, std::nullopt, completion.callback());
    const auto [nothing, why, noContent] = completion.wait();
    EXPECT_FALSE(nothing);
    EXPECT_EQ(textOf(why), "bestAttemptContent not found");
    EXPECT_FALSE(noContent);

    EXPECT_EQ(errorOf([&] {
                  instance->onMessageReceive("m2", "Title", std::nullopt, std::nullopt,
                                             Json{{"x", nestedJson(300)}}, std::nullopt, nullptr);
              }),
              "invalidParameter(\"customData\")");
    EXPECT_THAT(notificationRequests(), IsEmpty());

    // A receipt the store cannot write reached the device, so it is reported; but the
    // completion says it was not stored, with the store's failure.
    executeOn(*instance.store().container(), "PRAGMA query_only = 1");
    const auto [result, error, content] = receive(*instance, payload("full"));
    executeOn(*instance.store().container(), "PRAGMA query_only = 0");
    EXPECT_EQ(result->getResultKind(), ResultKind::success);
    ASSERT_TRUE(error);
    EXPECT_THAT(textOf(error), ::testing::StartsWith("notSaved(\"SQLite error"));
    EXPECT_EQ(content->body(), "All shoes");
    EXPECT_EQ((reportedStatuses(server())[{"full", "Delivered"}]), 1);
}

// The CLI's end-to-end tests see a second receipt silenced by default.
TEST_F(MessagesTest, TheFirstReceiptIsStoredASecondSoundsWhenTheInstanceDoesNotSilence) {
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

// The field form stores an empty title, reports a message without one silently and repairs
// host text before it is stored, signed or sent; reading sets the message read and reports it.
TEST_F(MessagesTest, TheFieldFormAndReadingStoreAndReportWhatTheyMust) {
    TestInstance instance(server());
    instance.subscribe();
    for (const auto& [id, title] : std::vector<std::pair<std::string, std::optional<std::string>>>{
             {"empty-title", ""}, {"silent", std::nullopt}, {"m\xff", "Ti\xc3tle"}}) {
        EXPECT_TRUE(succeeded(awaited([&, id = id, title = title](auto done) {
            instance->onMessageReceive(id, title, std::nullopt, "Body",
                                       Json{{"content-available", "yes"}}, std::nullopt, done);
        })));
    }
    const auto stored = instance.store().messageById("empty-title");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->title(), "");
    EXPECT_FALSE(stored->contentAvailable());
    EXPECT_EQ(instance.store().messageById("silent"), nullptr);
    EXPECT_EQ(instance.store().messageById("m\xef\xbf\xbd")->title(), "Ti\xef\xbf\xbdtle");
    const auto counts = reportedStatuses(server());
    EXPECT_EQ((counts.at({"silent", "Delivered"})), 1);
    EXPECT_EQ((counts.at({"m\xef\xbf\xbd", "Delivered"})), 1);
    for (const auto& request : notificationRequests()) {
        EXPECT_EQ(request["checks"]["signature"], "verified");
    }
    EXPECT_THROW(instance->onMessageReceive("", "Title", std::nullopt, std::nullopt, std::nullopt,
                                            std::nullopt, nullptr),
                 OrvanPushSDKError);

    receive(*instance, payload("m1"));
    EXPECT_TRUE(succeeded(awaited([&](auto done) {
        instance->onMessageRead(NotificationResponse{requestOf(payload("m1"))}, done);
    })));
    EXPECT_EQ(instance.store().messageById("m1")->statusName(), "Read");
    // A notification without message id still gets its one completion, with nothing.
    auto withoutId = payload("m1");
    withoutId.erase("message-id");
    EXPECT_FALSE(awaited([&](auto done) {
        instance->onMessageRead(NotificationResponse{requestOf(withoutId)}, done);
    }));
    EXPECT_THROW(instance->onMessageRead("", nullptr), OrvanPushSDKError);
}

// ---- Rich content ----

using ContentCompletion = Completion<std::shared_ptr<ExtraContentProtocol>>;

// What the form that reports failures hands over: (content, failure, error).
using OutcomeCompletion = Completion<std::shared_ptr<ExtraContentProtocol>,
                                     std::optional<BaseApiResult>, std::exception_ptr>;

std::tuple<std::shared_ptr<ExtraContentProtocol>, std::optional<BaseApiResult>, std::exception_ptr>
outcome(const TestInstance& instance, const std::string& id) {
    OutcomeCompletion completion;
    instance->getNotificationContent(id, completion.callback());
    return completion.wait();
}

TEST_F(MessagesTest, ADownloadHandsOverTheAnswerAndOnlyContentWithAValueIsKept) {
    TestInstance instance(server());
    instance.subscribe();
    seed("m1");
    const auto result = awaited<ContentDownloadResult>(
        [&](auto done) { instance->downloadContent("m1", 20.0, done); });
    ASSERT_EQ(result->getResultKind(), ResultKind::success);
    const auto body = Json::parse(result->getContent()->begin(), result->getContent()->end());
    EXPECT_EQ(body["content"], "iVBORw0KGgo=");
    EXPECT_EQ(server().requestsTo("content/download")[0]["checks"]["signature"], "verified");

    EXPECT_EQ(awaited<ContentDownloadResult>([&](auto done) {
                  instance->downloadContent("m2", std::nullopt, done);
              })->getErrorCode(),
              116);

    EXPECT_THROW(instance->downloadContent("", std::nullopt, nullptr), OrvanPushSDKError);
    TestInstance unsubscribed(server());
    EXPECT_THROW(unsubscribed->downloadContent("m1", std::nullopt, nullptr), OrvanPushSDKError);
    EXPECT_EQ(server().requestsTo("content/download").size(), 2u);

    const BaseApiResult notContent(
        ResultKind::error, 600,
        "The answer is not content: a JSON object whose \"contentType\" and \"content\" are text");
    struct Case {
        std::string body;
        std::optional<BaseApiResult> failure;
    };
    const std::vector<Case> cases{
        {R"({"contentType":7,"content":"x"})", notContent},
        {R"({"content":{"text":"x"}})", notContent},
        {std::string("{\"content\":\"x\"}\0garbage", 23), notContent},
        {"[" + std::string(300, '[') + std::string(301, ']'), notContent},
        {R"({"contentType":"text/plain","content":null})", std::nullopt},
        {"{}", std::nullopt},
    };
    for (const auto& [body, failure] : cases) {
        seed("m1", body);
        const auto [found, why, error] = outcome(instance, "m1");
        EXPECT_EQ(found, nullptr) << body;
        EXPECT_EQ(why, failure) << body;
        EXPECT_FALSE(error);
        EXPECT_EQ(instance.store().extraContent("m1"), nullptr) << body;
    }
    // Nothing was kept in their place: the real content arrives as soon as the server has it.
    seed("m1");
    EXPECT_EQ(std::get<0>(outcome(instance, "m1"))->value(), "iVBORw0KGgo=");

    EXPECT_EQ(std::get<1>(outcome(instance, "m2"))->getErrorCode(), 116);
    // A download the store did not answer is signed and sent off the main queue.
    const auto headers = std::make_shared<HostHeaders>();
    ContentCompletion missing;
    PushSDK::getInstance(instance.identifier(), {}, headers)
        ->getNotificationContent("m2", missing.callback());
    EXPECT_EQ(missing.first(), nullptr);
    EXPECT_EQ(headers->onMainQueue, std::vector<bool>{false});
    server().addFault("content/download", {{"kind", "drop"}, {"count", 100}});
    EXPECT_EQ(std::get<1>(outcome(instance, "m3"))->getErrorCode(), 600);

    // A download that cannot even start (no client id) still answers, with nothing.
    LogCapture log;
    const auto [nothing, failure, error] = outcome(unsubscribed, "m1");
    EXPECT_FALSE(failure);
    EXPECT_THROW(std::rethrow_exception(error), OrvanPushSDKError);
    ContentCompletion content;
    unsubscribed->getNotificationContent("m1", content.callback());
    EXPECT_EQ(content.first(), nullptr);
    EXPECT_TRUE(content.ranOnMainQueue());
    EXPECT_THAT(log.text(),
                ::testing::HasSubstr("Content for message with id \"m1\" cannot be downloaded: "
                                     "emptyMandatoryParameter(\"address\")"));
}

// ---- The local store ----

using MessageCompletion = Completion<std::shared_ptr<MessageProtocol>>;
using RemovalCompletion = Completion<std::optional<TextError>>;

const Predicate kSale("title", Predicate::Operator::equalTo, "Sale");

class LocalMessagesTest : public ServerTest {
  protected:
    void SetUp() override {
        ServerTest::SetUp();
        auto sale = messageValue("sale");
        sale.setTitle("Sale");
        instance_.store().saveMessage(sale);
        instance_.store().saveMessage(messageValue("news"));
    }

    std::shared_ptr<MessageProtocol> messageById(const std::string& id) {
        MessageCompletion completion;
        instance_->getMessageById(id, completion.callback());
        return completion.first();
    }

    TestInstance instance_{server()};
};

TEST_F(LocalMessagesTest, APredicateStaysOnTheSharedControllerAndLookUpsAndRemovalsAnswer) {
    const auto all = instance_->getFetchedResultsController();
    ASSERT_TRUE(all);
    EXPECT_EQ(idsOf(*all), (std::vector<std::string>{"sale", "news"}));
    EXPECT_EQ(instance_->getMessageByPredicate(kSale), all);
    EXPECT_EQ(idsOf(*instance_->getFetchedResultsController()), std::vector<std::string>{"sale"});

    // Look-ups and removals answer on the main queue.
    EXPECT_EQ(messageById("sale")->title(), "Sale");
    EXPECT_EQ(messageById("unknown"), nullptr);

    LogCapture log;
    RemovalCompletion unknown;
    instance_->removeMessage("unknown", unknown.callback());
    EXPECT_FALSE(unknown.first());
    EXPECT_TRUE(unknown.ranOnMainQueue());
    EXPECT_THAT(log.text(), ::testing::HasSubstr("Message with id unknown was removed"));

    RemovalCompletion bySale;
    instance_->removeMessages(kSale, bySale.callback());
    EXPECT_FALSE(bySale.first());
    EXPECT_EQ(messageById("sale"), nullptr);
    EXPECT_THAT(log.text(),
                ::testing::HasSubstr("Messages by predicate title == \"Sale\" was removed"));

    instance_->removeAllMessages();
    waitForTheLibrary();
    EXPECT_EQ(messageById("news"), nullptr);
}

TEST_F(LocalMessagesTest, AStoreThatCannotBeOpenedAnswersNothingAndEveryCompletionRuns) {
    TestInstance broken(server());
    broken.state().settingsUtils->set(detail::Setting::SharedAppGroup, "");
    detail::KeyChain::deleteItem("sharedAppGroup", broken.identifier());
    LogCapture log;
    MessageCompletion message;
    broken->getMessageById("sale", message.callback());
    EXPECT_EQ(message.first(), nullptr);
    EXPECT_THAT(log.text(), ::testing::HasSubstr("Error on getting messages by id (sale): Shared "
                                                 "Application Group not found in settings"));
    EXPECT_EQ(broken->getFetchedResultsController(), nullptr);
    EXPECT_EQ(broken->getMessageByPredicate(kSale), nullptr);
    RemovalCompletion removal;
    broken->removeMessage("sale", removal.callback());
    EXPECT_EQ(std::string(removal.first()->what()),
              "Shared Application Group not found in settings");
    EXPECT_THAT(log.text(), ::testing::HasSubstr("Error on removing message with id (sale): "));
    // A receipt is still reported, and its completion says why it was not stored.
    Completion<std::optional<BaseApiResult>, std::exception_ptr> receipt;
    broken->onMessageReceive("sale", "Sale", std::nullopt, std::nullopt, std::nullopt, "shop",
                             receipt.callback());
    EXPECT_EQ(textOf(std::get<1>(receipt.wait())),
              "notSaved(\"Shared Application Group not found in settings\")");
}

// ---- Delivery reports: what a report stores, sends and marks, and how the queue of unsent
// statuses drains after an outage ----

StatusReport delivered(const std::string& id, ReportKind kind = ReportKind::event) {
    return {.messageId = id,
            .title = "Title " + id,
            .body = "Body",
            .status = OrvanPushApiStatus::delivered,
            .kind = kind};
}

/// Reports and waits for the completion; `atCompletion` runs inside it.
BaseApiResult report(
    const TestInstance& instance, StatusReport status,
    const std::function<void()>& atCompletion = [] {}) {
    Completion<BaseApiResult> completion;
    auto callback = completion.callback();
    detail::updatePushNotificationStatus(detail::PushSDKAccess::state(*instance), std::move(status),
                                         [&, callback](BaseApiResult result, std::exception_ptr) {
                                             atCompletion();
                                             callback(result);
                                         });
    return completion.first();
}

/// The server answers the next `reports` reports (each with its resends) with 503.
void failNextReports(const ReferenceServer& server, int reports) {
    server.addFault("notifications", {{"kind", "answer"}, {"status", 503}, {"count", 4 * reports}});
}

class StatusReportTest : public ServerTest {};

TEST_F(StatusReportTest, AReceiptIsStoredSignedReportedAndMarkedBeforeItsCompletionASilentOneNot) {
    TestInstance instance(server());
    instance.subscribe();
    LogCapture log;
    Rows unsentAtCompletion{{"?", "?"}};
    bool onMainQueue = true;
    const auto result = report(instance, delivered("m1"), [&] {
        unsentAtCompletion = unsentOf(instance.store());
        onMainQueue = platform::MainQueue::isCurrent();
    });
    EXPECT_EQ(result.getResultKind(), ResultKind::success);
    // An extension may end its process on the completion: the mark is written by then.
    EXPECT_THAT(unsentAtCompletion, IsEmpty());
    EXPECT_FALSE(onMainQueue);
    EXPECT_EQ(instance.store().messageById("m1")->title(), "Title m1");

    const auto requests = notificationRequests();
    ASSERT_EQ(requests.size(), 1u);
    // The end-to-end tests check the signature and the address of every report.
    EXPECT_THAT(requests[0]["headers"].dump(), ::testing::HasSubstr(R"(["push-enabled","true"])"));
    for (const std::string text :
         {"Start update notification status process", "Getting address without default value",
          "Set message received",
          R"(Parameters: address - "device-1.client-1", messageId - "m1", status - "Delivered")",
          "Getting sign...", "Network available: ", "Start request (m1)",
          "Update push notification status process successfully completed"}) {
        EXPECT_THAT(log.text(), ::testing::HasSubstr(text));
    }
    const StatusReport read{.messageId = "m1", .status = OrvanPushApiStatus::read};
    EXPECT_EQ(report(instance, read).getResultKind(), ResultKind::success);
    EXPECT_THAT(log.text(), ::testing::Not(::testing::HasSubstr("Error on")));

    // A silent report is sent but neither stored nor marked.
    EXPECT_EQ(report(instance, delivered("quiet", ReportKind::silent)).getResultKind(),
              ResultKind::success);
    failNextReports(server(), 1);
    EXPECT_EQ(report(instance, delivered("quieter", ReportKind::silent)).getErrorCode(), 600);
    waitForTheLibrary();
    EXPECT_EQ(instance.store().messageById("quiet"), nullptr);
    EXPECT_THAT(unsentOf(instance.store()), IsEmpty());
    EXPECT_EQ((reportedStatuses(server())[{"quiet", "Delivered"}]), 1);
}

TEST_F(StatusReportTest, WhatIsMissingIsThrownAndOnlyAFallBackAddressReportsUnsigned) {
    TestInstance unsubscribed(server());
    TestInstance instance(server());
    instance.subscribe();
    auto noStatus = delivered("m1");
    noStatus.status.reset();
    for (const auto& [target, status, error] :
         std::vector<std::tuple<const TestInstance*, StatusReport, std::string>>{
             {&unsubscribed, delivered("m1"), "emptyMandatoryParameter(\"address\")"},
             {&instance, delivered(""), "emptyMandatoryParameter(\"messageId\")"},
             {&instance, noStatus, "invalidParameter(\"status\")"}}) {
        EXPECT_EQ(errorOf([&, target = target, status = status] {
                      detail::updatePushNotificationStatus(
                          detail::PushSDKAccess::state(**target), status,
                          [](BaseApiResult, std::exception_ptr) {});
                  }),
                  error);
    }
    waitForTheLibrary();
    EXPECT_THAT(notificationRequests(), IsEmpty());
    EXPECT_EQ(instance.store().messageById("m1"), nullptr);
    EXPECT_EQ(unsubscribed.store().messageById("m1"), nullptr);

    auto status = delivered("m1");
    status.with = "fallback-address";
    EXPECT_EQ(report(unsubscribed, status).getResultKind(), ResultKind::success);
    const auto requests = notificationRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0]["checks"]["signature"], "absent");
    const auto body = Json::parse(requests[0]["body"].get<std::string>());
    EXPECT_EQ(body["address"], "fallback-address");
    EXPECT_EQ(body["signature"], "");
}

// The end-to-end tests drain the queue after an outage through receipts; these operations
// drain it too, all but the history.
TEST_F(StatusReportTest, SubscriptionSubscriberAndContentQueriesSendTheQueuedReportsTheHistoryNot) {
    TestInstance instance(server());
    server().admin("POST", "content",
                   Json{{"messageId", "m1"}, {"contentType", "text/plain"}, {"content", "x"}});
    const auto ignore = [](auto) {};
    const std::vector<std::tuple<std::string, std::function<void(PushSDK&)>, bool>> operations{
        {"subscribe",
         [&](PushSDK& sdk) { sdk.subscribe("device-1", "client-1", "token", {}, ignore); }, true},
        {"updateSubscription", [&](PushSDK& sdk) { sdk.updateSubscription("token-2", {}, ignore); },
         true},
        {"getSubscriberData", [&](PushSDK& sdk) { sdk.getSubscriberData({}, {}, ignore); }, true},
        {"updateSubscriber",
         [&](PushSDK& sdk) {
             sdk.updateSubscriber({}, {{"tier", "gold"}}, {}, ignore);
         },
         true},
        {"getNotificationContent", [&](PushSDK& sdk) { sdk.getNotificationContent("m1", ignore); },
         true},
        {"getMessages", [&](PushSDK& sdk) { sdk.getMessages({}, {}, 0, Date{}, {}, {}, ignore); },
         false},
    };
    for (const auto& [name, operation, resends] : operations) {
        SCOPED_TRACE(name);
        // A fall-back address lets the first report queue before there is a subscription.
        failNextReports(server(), 1);
        auto queued = delivered("queued-" + name);
        queued.with = "device-1.client-1";
        EXPECT_EQ(report(instance, queued).getResultKind(), ResultKind::error);
        operation(*instance);
        waitForTheLibrary();
        EXPECT_EQ((reportedStatuses(server())[{"queued-" + name, "Delivered"}]), resends ? 1 : 0);
        EXPECT_EQ(unsentOf(instance.store()).size(), resends ? 0u : 1u);
    }
}

// A round leaves alone what it must: everything after a success with limit 0; rows that cannot
// be reported (without holding back the one behind them); and a deleted message, whose row it
// marks without bringing the message back.
TEST_F(StatusReportTest, ARoundSendsOnlyWhatItMayAndBringsNothingBack) {
    TestInstance instance(server());
    instance.subscribe();
    auto connection = platform::SqliteConnection::open(storeFile(instance.store().groupId()));
    for (int i = 0; i < 3; ++i) {
        connection.execute(
            "INSERT INTO MessageStatus (isSentInternal, statusNameInternal, messageId) VALUES "
            "(0, 'Opened', 'odd'), (0, 'Delivered', NULL)");
    }
    failNextReports(server(), 1);
    report(instance, delivered("deleted"));
    instance.store().removeMessage("deleted");
    auto withoutRound = delivered("m2");
    withoutRound.limit = 0;
    EXPECT_EQ(report(instance, withoutRound).getResultKind(), ResultKind::success);
    waitForTheLibrary();
    EXPECT_EQ((reportedStatuses(server())[{"deleted", "Delivered"}]), 0);
    report(instance, delivered("m3"));
    waitForTheLibrary();
    EXPECT_EQ((reportedStatuses(server())[{"deleted", "Delivered"}]), 1);
    EXPECT_EQ(instance.store().messageById("deleted"), nullptr);
    EXPECT_EQ(unsentOf(instance.store()).size(), 6u);
}

TEST_F(StatusReportTest, AReportStillInFlightIsNotSentAgainByARound) {
    TestInstance instance(server());
    instance.subscribe();
    server().addFault("notifications", {{"kind", "delay"}, {"delayMs", 1500}});
    Completion<BaseApiResult, std::exception_ptr> slow;
    detail::updatePushNotificationStatus(detail::PushSDKAccess::state(*instance), delivered("slow"),
                                         slow.callback());
    ASSERT_TRUE(eventually([] { return notificationRequests().size() == 1; }));
    // The slow report's row is still unsent while the next report's round reads the queue.
    report(instance, delivered("fast"));
    slow.wait();
    waitForTheLibrary();
    EXPECT_EQ((reportedStatuses(server())[{"slow", "Delivered"}]), 1);
    EXPECT_EQ(notificationRequests().size(), 2u);
}

// The choice of a round, on statuses of this test alone (the registry is process-wide).
TEST(ReportsInFlightTest, ARoundSkipsReportsInFlightAndTriesTheLeastRecentlyAttemptedFirst) {
    const ReportedStatus a{"round-a", "Delivered"}, b{"round-b", "Delivered"}, c{"round-c", "Read"},
        d{"round-d", "Read"};
    EXPECT_THAT(ReportsInFlight::claim({a, b, c}, 2), ElementsAre(a, b));
    // In flight: skipped without counting against the limit.
    EXPECT_THAT(ReportsInFlight::claim({a, b, c, c}, 2), ElementsAre(c));
    ReportsInFlight::finish(b, false);
    ReportsInFlight::finish(a, false);
    ReportsInFlight::finish(c, false);
    // Never attempted first, then by the oldest attempt.
    EXPECT_THAT(ReportsInFlight::claim({a, b, c, d}, 3), ElementsAre(d, a, b));
    ReportsInFlight::finish(a, true);
    ReportsInFlight::finish(b, false);
    ReportsInFlight::finish(d, false);
    // A status that was sent counts as never attempted again.
    EXPECT_THAT(ReportsInFlight::claim({c, b, a}, 1), ElementsAre(a));
    ReportsInFlight::finish(a, false);

    // Two reports of one status: it stays in flight until both ended.
    ReportsInFlight::add(d);
    ReportsInFlight::add(d);
    ReportsInFlight::finish(d, true);
    EXPECT_THAT(ReportsInFlight::claim({d}, 1), IsEmpty());
    ReportsInFlight::finish(d, true);
    EXPECT_EQ(ReportsInFlight::count(d), 0u);
}

}  // namespace
}  // namespace orvanpush::testing

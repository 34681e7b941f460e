// Delivery reports against the reference server: what a report stores, sends and marks, and
// how the queue of unsent statuses drains after an outage.

#include "sdk/StatusReport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "orvanpush/OrvanPushSDKError.h"
#include "platform/SqliteDatabase.h"
#include "sdk/ReportsInFlight.h"
#include "sdk/SdkTestSupport.h"
#include "storage/StoreTestSupport.h"

namespace orvanpush::testing {
namespace {

using detail::ReportedStatus;
using detail::ReportKind;
using detail::ReportsInFlight;
using detail::StatusReport;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Rows = std::vector<std::pair<std::string, std::string>>;

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
        unsentAtCompletion = instance.unsent();
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

    // A silent report is sent but neither stored nor marked.
    EXPECT_EQ(report(instance, delivered("quiet", ReportKind::silent)).getResultKind(),
              ResultKind::success);
    failNextReports(server(), 1);
    EXPECT_EQ(report(instance, delivered("quieter", ReportKind::silent)).getErrorCode(), 600);
    waitForTheLibrary();
    EXPECT_EQ(instance.store().messageById("quiet"), nullptr);
    EXPECT_THAT(instance.unsent(), IsEmpty());
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
        EXPECT_EQ(instance.unsent().size(), resends ? 0u : 1u);
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
    EXPECT_EQ(instance.unsent().size(), 6u);
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

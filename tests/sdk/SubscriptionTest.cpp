// Subscription and subscriber queries against the reference server, which verifies every
// signature against the key the address subscribed with; and subscriptions whose outcome is
// unknown: their pending pair is kept, settled by the server's word on the next key-mismatch
// refusal, and removed as an orphan once a day old.

#include <csignal>
#include <iostream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/FileTurn.h"
#include "sdk/SdkTestSupport.h"
#include "sdk/SubscriptionKey.h"
#include "sdk/UnsentStatuses.h"
#include "storage/StoreTestSupport.h"

namespace orvanpush::testing {
namespace {

// Subscribes the instance its group names and waits to be killed. Skipped in an ordinary run.
TEST(SubscribingChild, SubscribesUntilKilled) {
    const auto instance = becomeChild();
    if (!instance) {
        GTEST_SKIP() << "run by SubscriptionTest";
    }
    PushSDK::getInstance(*instance)->subscribe("phone", "client", "token-2", std::nullopt, nullptr);
    std::string never;
    std::cin >> never;
}

class SubscriptionTest : public ServerTest {
  protected:
    std::optional<BaseApiResult> subscribe(const std::optional<std::string>& deviceId = "phone",
                                           const std::optional<std::string>& clientId = "client",
                                           const std::string& token = "token-1") {
        return awaited(
            [&](auto done) { instance->subscribe(deviceId, clientId, token, std::nullopt, done); });
    }

    std::optional<SubscriberGetResult> subscriberData(
        const std::optional<std::string>& deviceId = std::nullopt) {
        return awaited<SubscriberGetResult>(
            [&](auto done) { instance->getSubscriberData(deviceId, std::nullopt, done); });
    }

    Json record(const std::string& address = "phone.client") const {
        return subscriberRecord(server(), address);
    }

    /// The check outcome of the latest request to `endpoint`.
    static Json lastChecks(const std::string& endpoint) {
        const auto requests = server().requestsTo(endpoint);
        return requests.empty() ? Json() : requests.back()["checks"];
    }

    TestInstance instance{server()};
};

TEST_F(SubscriptionTest, EverySignedQueryVerifiesWithTheSubscribedKeyAndLogsItsParameters) {
    LogCapture log;
    const auto subscribed = subscribe();
    ASSERT_TRUE(succeeded(subscribed)) << subscribed->getErrorDescription().value_or("");
    EXPECT_EQ(
        std::tuple(instance->getDeviceId(), instance->getClientId(), instance->getSavedToken()),
        std::tuple("phone", "client", "token-1"));
    const auto& id = instance.identifier();
    EXPECT_EQ(instance.keychainItems(),
              (std::vector<std::string>{id + ".private", id + ".public"}));
    EXPECT_EQ(record()["publicKey"], instance.committedPublicKey());
    EXPECT_EQ(record()["vendorInfo"], "Apple Simulator iOS");
    EXPECT_EQ(record()["osVersion"], platform::PlatformConfig::current()->osVersion);
    EXPECT_EQ(record()["pushEnabled"], true);

    const auto data = subscriberData();
    ASSERT_TRUE(data && data->getElements());
    ASSERT_EQ(data->getElements()->size(), 1u);
    EXPECT_EQ(data->getElements()->front().getAddress(), "phone.client");
    EXPECT_EQ(lastChecks("subscriber/get")["signature"], "verified");

    EXPECT_TRUE(succeeded(awaited([&](auto done) {
        instance->updateSubscriber(std::nullopt, {{"tier", "gold"}, {"city", "Oslo"}}, 20.0, done);
    })));
    EXPECT_EQ(lastChecks("subscriber/update")["signature"], "verified");
    EXPECT_EQ(record()["attributes"], Json({{"tier", "gold"}, {"city", "Oslo"}}));

    server().admin(
        "POST", "history",
        Json{{"address", "phone.client"},
             {"messages", {{{"messageId", "m1"}, {"date", 700000000}, {"title", "Hi"}}}}});
    const auto from = std::chrono::system_clock::from_time_t(0);
    const auto history = awaited<StatisticsResult>([&](auto done) {
        instance->getMessages(std::nullopt, std::nullopt, 0, from, std::nullopt, std::nullopt,
                              done);
    });
    ASSERT_TRUE(history && history->getMessages());
    ASSERT_EQ(history->getMessages()->size(), 1u);
    EXPECT_EQ(history->getMessages()->front().getTitle(), "Hi");
    EXPECT_EQ(lastChecks("statistics")["signature"], "verified");

    // A newer token comes with a new key, which the server then holds.
    const auto firstKey = instance.committedPublicKey();
    EXPECT_TRUE(succeeded(
        awaited([&](auto done) { instance->updateSubscription("token-2", std::nullopt, done); })));
    EXPECT_EQ(instance->getSavedToken(), "token-2");
    EXPECT_NE(instance.committedPublicKey(), firstKey);
    EXPECT_EQ(record()["publicKey"], instance.committedPublicKey());
    EXPECT_EQ(record()["token"], "token-2");
    EXPECT_EQ(instance.keychainItems().size(), 2u);
    EXPECT_TRUE(succeeded(subscriberData()));

    for (const std::string text :
         {R"(Parameters: address - "phone.client", requestAddress - "client")",
          R"(Parameters: address - "phone.client", updateAddress - "phone.client", attributes - )"
          R"("["city": "Oslo", "tier": "gold"]")",
          R"(Parameters: address - "phone.client", requestAddress - "phone.client", requestId - )"
          R"("", amount - "0", dateFrom - ")",
          "Subscribe process successfully completed",
          "Updating subscription for address \"phone.client\"",
          "Update subscription process successfully completed"}) {
        EXPECT_THAT(log.text(), ::testing::HasSubstr(text));
    }
}

TEST_F(SubscriptionTest, UnsubscribeClearsTheIdsOnSuccessAndOnCode104Only) {
    LogCapture log;
    for (const auto& [errorCode, cleared] : std::vector<std::pair<std::optional<int>, bool>>{
             {std::nullopt, true}, {104, true}, {105, false}}) {
        ASSERT_TRUE(succeeded(subscribe()));
        if (errorCode) {
            server().addFault("unsubscribe", {{"kind", "error"}, {"errorCode", *errorCode}});
        }
        const auto unsubscribed =
            awaited([&](auto done) { instance->unsubscribe("moving", std::nullopt, done); });
        EXPECT_EQ(unsubscribed->getErrorCode(), errorCode.value_or(0));
        EXPECT_EQ(lastChecks("unsubscribe")["signature"], "verified");
        EXPECT_EQ(instance->getClientId().has_value(), !cleared) << errorCode.value_or(0);
        EXPECT_EQ(instance->getDeviceId().has_value(), !cleared);
        EXPECT_EQ(instance->getSavedToken(), "token-1");
    }
    EXPECT_THAT(log.text(), ::testing::HasSubstr("Unsubscribe process completed with error: 105:"));
}

TEST_F(SubscriptionTest, ValidationThrowsBeforeAnythingIsSentAndLeavesNoPendingKey) {
    const auto ignore = [](std::optional<BaseApiResult>) {};
    const std::string address = "emptyMandatoryParameter(\"address\")";
    const std::string token = "emptyMandatoryParameter(\"token\")";
    for (const auto& [operation, error] :
         std::vector<std::pair<std::function<void()>, std::string>>{
             {[&] { instance->unsubscribe(std::nullopt, std::nullopt, ignore); }, address},
             {[&] { instance->getSubscriberData(std::nullopt, std::nullopt, nullptr); }, address},
             {[&] { instance->subscribe("phone", "", "t", std::nullopt, ignore); }, address},
             {[&] { instance->subscribe("phone", "client", "", std::nullopt, ignore); }, token},
             {[&] { instance->updateSubscription("t", std::nullopt, ignore); }, address}}) {
        EXPECT_EQ(errorOf(operation), error);
    }
    EXPECT_TRUE(instance.keychainItems().empty());
    ASSERT_TRUE(succeeded(subscribe(std::nullopt)));
    EXPECT_EQ(errorOf([&] { instance->updateSubscription("", std::nullopt, ignore); }), token);
    // Keys that would become one once repaired are refused, not merged.
    EXPECT_EQ(errorOf([&] {
                  instance->updateSubscriber(std::nullopt, {{"\xff", "1"}, {"\xfe", "2"}},
                                             std::nullopt, ignore);
              }),
              "invalidParameter(\"attributes\")");
    EXPECT_EQ(instance.pendingItems(), 0u);
    EXPECT_TRUE(server().requestsTo("subscriber/update").empty());
    EXPECT_TRUE(server().requestsTo("unsubscribe").empty());
    EXPECT_EQ(server().requestsTo("subscribe").size(), 1u);
}

TEST_F(SubscriptionTest, AnErrorAnswerKeepsThePreviousKeyAndNewIdsOrRepairedTextSign) {
    LogCapture log;
    ASSERT_TRUE(succeeded(subscribe()));
    const auto key = instance.committedPublicKey();
    for (const auto& fault : {Json{{"kind", "error"}, {"errorCode", 120}},
                              Json{{"kind", "answer"}, {"status", 503}, {"count", 4}}}) {
        server().addFault("subscribe", fault);
        EXPECT_FALSE(succeeded(subscribe("phone", "client", "token-2")));
        EXPECT_EQ(instance.committedPublicKey(), key);
        EXPECT_EQ(instance.pendingItems(), 0u);
        EXPECT_EQ(instance->getSavedToken(), "token-1");
        EXPECT_TRUE(succeeded(subscriberData()));
        EXPECT_EQ(lastChecks("subscriber/get")["signature"], "verified");
    }
    EXPECT_THAT(log.text(), ::testing::HasSubstr("Error on subscribe process: 120: "));

    // A subscription without device id replaces the older one.
    ASSERT_TRUE(succeeded(subscribe(std::nullopt, "client-2")));
    EXPECT_EQ(instance->getDeviceId(), std::nullopt);
    ASSERT_TRUE(succeeded(subscriberData()));
    EXPECT_EQ(server().requestsTo("subscriber/get").back()["params"]["address"], "client-2");
    EXPECT_EQ(lastChecks("subscriber/get")["signature"], "verified");

    // Text that is not UTF-8 is sent repaired, and its signature verifies.
    ASSERT_TRUE(succeeded(subscribe("ph\xffone", "cli\xc3", "tok\xfe")));
    const std::string replacement = "\xEF\xBF\xBD";
    EXPECT_EQ(record("ph" + replacement + "one.cli" + replacement)["token"], "tok" + replacement);
    EXPECT_EQ(instance->getClientId(), "cli" + replacement);
    ASSERT_TRUE(succeeded(subscriberData("ph\xffone")));
    EXPECT_EQ(lastChecks("subscriber/get")["signature"], "verified");
    EXPECT_TRUE(succeeded(awaited([&](auto done) {
        instance->updateSubscriber("new\xff", {{"k\xff", "v\xfe"}}, std::nullopt, done);
    })));
    EXPECT_EQ(lastChecks("subscriber/update")["signature"], "verified");
}

// Operations of one instance take turns: an unsubscribe still waiting for its answer is
// applied before a newer subscription (with other ids or the same ones) is sent, and two
// subscriptions in flight leave the key the server holds last as the device key.
TEST_F(SubscriptionTest, OperationsInFlightTakeTurnsAndTheLastAnswerIsTheDeviceKey) {
    for (const auto& [deviceId, clientId] :
         {std::pair("tablet", "client-2"), {"phone", "client"}}) {
        ASSERT_TRUE(succeeded(subscribe()));
        server().addFault("unsubscribe", {{"kind", "delay"}, {"delayMs", 1000}});
        Event unsubscribed;
        instance->unsubscribe(std::nullopt, std::nullopt, [&](auto) { unsubscribed.notify(); });
        ASSERT_TRUE(succeeded(subscribe(deviceId, clientId)));
        ASSERT_TRUE(unsubscribed.wait(60s));
        EXPECT_EQ(instance->getDeviceId(), deviceId);
        EXPECT_EQ(instance->getClientId(), clientId);
        EXPECT_TRUE(succeeded(subscriberData())) << clientId;
    }
    server().addFault("subscribe", {{"kind", "delay"}, {"delayMs", 300}});
    Event first;
    instance->subscribe("phone", "client", "token-2", std::nullopt, [&](auto) { first.notify(); });
    EXPECT_TRUE(succeeded(subscribe("phone", "client", "token-3")));
    ASSERT_TRUE(first.wait(60s));
    EXPECT_TRUE(succeeded(subscriberData()));
    EXPECT_EQ(instance.pendingItems(), 0u);
    // A token update waiting for its turn renews the subscription stored when the turn comes.
    server().addFault("subscribe", {{"kind", "delay"}, {"delayMs", 300}});
    instance->subscribe("tablet", "client-2", "token-4", std::nullopt, [](auto) {});
    EXPECT_TRUE(succeeded(
        awaited([&](auto done) { instance->updateSubscription("token-5", std::nullopt, done); })));
    EXPECT_EQ(instance->getDeviceId(), "tablet");
    EXPECT_EQ(record("tablet.client-2")["token"], "token-5");
}

// An operation whose turn does not come gives up after its own time limit, sending nothing;
// one that cannot be built completes once; one whose object the host dropped still completes
// and stores the ids.
TEST_F(SubscriptionTest, AnOperationWithoutTurnGivesUpAndOneWithoutHostObjectCompletes) {
    std::atomic<int> calls{0};
    {
        const auto held =
            platform::FileTurn::tryTake(platform::Home::turnFile(instance.identifier()));
        ASSERT_TRUE(held);
        const auto waited = awaited(
            [&](auto done) { instance->subscribe("phone", "client", "token-1", 0.1, done); });
        EXPECT_EQ(waited->getErrorCode(), 600);
        EXPECT_EQ(waited->getErrorDescription(),
                  "Another subscription operation of this instance is still under way; try again "
                  "later");
        EXPECT_TRUE(server().requestsTo("subscribe").empty());
        EXPECT_EQ(instance.pendingItems(), 0u);
        // One that cannot be built once its turn came completes once, whatever its completion
        // throws.
        PushSDK::getInstance(
            instance.identifier(), {},
            std::make_shared<HostHeaders>(HostHeaders::Headers{{"X-Broken", "a\r\nb"}}))
            ->subscribe("phone", "client", "token-1", std::nullopt, [&](auto) {
                ++calls;
                throw std::runtime_error("a host completion fails");
            });
    }
    ASSERT_TRUE(eventually([&] { return calls > 0; }));
    waitForTheLibrary();
    EXPECT_EQ(calls, 1);
    server().addFault("subscribe", {{"kind", "delay"}, {"delayMs", 1000}});
    Event done;
    auto dropped = PushSDK::getInstance(instance.identifier());
    dropped->subscribe("phone", "client", "token-1", std::nullopt, [&](auto) { done.notify(); });
    dropped.reset();
    ASSERT_TRUE(done.wait(60s));
    waitForTheLibrary();
    EXPECT_EQ(instance->getClientId(), "client");
    // Unsubscribing gives up the same way, keeping the ids, and when the host's header manager
    // throws what is not an exception object once the turn came.
    auto held = platform::FileTurn::tryTake(platform::Home::turnFile(instance.identifier()));
    const auto unsubscribed =
        awaited([&](auto done) { instance->unsubscribe(std::nullopt, 0.1, done); });
    EXPECT_EQ(unsubscribed->getErrorCode(), 600);
    struct Throwing : HttpRequestAdditionalHeaderManager {
        std::map<std::string, std::string> getAdditionalHeaders(const std::string&) override {
            throw 42;
        }
    };
    auto throwing = PushSDK::getInstance(instance.identifier(), {}, std::make_shared<Throwing>());
    Event thrown;
    throwing->unsubscribe(std::nullopt, std::nullopt, [&](auto) { thrown.notify(); });
    held.reset();
    EXPECT_TRUE(thrown.wait(60s));
    EXPECT_TRUE(server().requestsTo("unsubscribe").empty());
    EXPECT_EQ(instance->getClientId(), "client");
}

// The server applies the token update but answers after the device gave up, and refuses its
// resends (503): the next signed query is refused with 115, sent once more with the pending
// pair, accepted, and the pair becomes the device key with the token it carried.
TEST_F(SubscriptionTest, AnUpdateThatTimedOutIsSettledByTheNextSignedQuery) {
    ASSERT_TRUE(succeeded(subscribe()));
    server().addFault("subscribe", {{"kind", "delay"}, {"delayMs", 1500}});
    server().addFault("subscribe", {{"kind", "answer"}, {"status", 503}, {"count", 3}});
    const auto updated =
        awaited([&](auto done) { instance->updateSubscription("token-2", 0.2, std::move(done)); });
    EXPECT_EQ(updated->getErrorCode(), 600);
    EXPECT_EQ(instance.pendingItems(), 3u);  // two keys and their record
    EXPECT_EQ(record()["token"], "token-2");

    EXPECT_TRUE(succeeded(subscriberData()));
    auto queries = server().requestsTo("subscriber/get");
    ASSERT_EQ(queries.size(), 2u);
    EXPECT_EQ(queries[0]["checks"]["signature"], "failed");
    EXPECT_EQ(queries[1]["checks"]["signature"], "verified");
    for (auto& query : queries) {
        query["params"].erase("signature");
    }
    EXPECT_EQ(queries[0]["params"], queries[1]["params"]);
    EXPECT_EQ(queries[0]["headers"], queries[1]["headers"]);
    EXPECT_EQ(record()["publicKey"], instance.committedPublicKey());
    EXPECT_EQ(instance->getSavedToken(), "token-2");
    EXPECT_EQ(instance.pendingItems(), 0u);
}

// A subscription killed with its request in flight leaves its pair pending; the next operation
// keeps it while it is young and removes it once its record says it is a day old.
TEST_F(SubscriptionTest, AKilledSubscriptionKeepsItsPairUntilItIsADayOld) {
    server().addFault("subscribe", {{"kind", "delay"}, {"delayMs", 20000}});
    ChildProcess child({thisProgram(), "--gtest_filter=SubscribingChild.*"},
                       childEnvironment(instance.identifier(), "application"));
    ASSERT_TRUE(eventually([&] { return server().requestsTo("subscribe").size() == 1; }));
    child.kill(SIGKILL);
    child.wait();
    EXPECT_EQ(instance.pendingItems(), 3u);
    const auto changeRecord = [&](const std::string& change) {
        platform::SqliteConnection::open(platform::Home::keychainFile())
            .prepare("UPDATE items SET value = CAST(json_" + change +
                     " AS BLOB) WHERE account LIKE ?")
            .bindText(1, instance.identifier() + ".pending-%")
            .step();
    };
    changeRecord("remove(CAST(value AS TEXT), '$.deviceId')");  // as another version may write it
    EXPECT_FALSE(
        detail::SubscriptionKey::newestUnanswered(instance.identifier())->registration.deviceId);
    ASSERT_TRUE(succeeded(subscribe()));
    EXPECT_EQ(instance.pendingItems(), 3u);

    changeRecord("set(CAST(value AS TEXT), '$.created', strftime('%s', 'now') - 86401)");
    EXPECT_TRUE(succeeded(
        awaited([&](auto done) { instance->updateSubscription("token-3", std::nullopt, done); })));
    EXPECT_EQ(instance.pendingItems(), 0u);
    EXPECT_EQ(record()["publicKey"], instance.committedPublicKey());
}

// A re-send round with no subscriber address sends nothing and leaves no row leased.
TEST_F(SubscriptionTest, ARoundWithoutAddressLeavesNoRowLeased) {
    auto store = platform::SqliteConnection::open(storeFile(instance.store().groupId()));
    store.execute(
        "INSERT INTO MessageStatus (isSentInternal, statusNameInternal, messageId) VALUES "
        "(0, 'Delivered', 'queued')");
    detail::processUnsentStatuses(detail::PushSDKAccess::state(*instance), 5);
    waitForTheLibrary();
    auto leased =
        store.prepare("SELECT count(*) FROM MessageStatus WHERE leaseExpiryInternal IS NOT NULL");
    leased.step();
    EXPECT_EQ(leased.integer(0), 0);
}

}  // namespace
}  // namespace orvanpush::testing

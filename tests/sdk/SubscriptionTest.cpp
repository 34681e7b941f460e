// Subscription and subscriber queries against the reference server, which verifies every
// signature against the key the address subscribed with.

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "api/ReferenceServer.h"
#include "orvanpush/OrvanPushSDKError.h"
#include "orvanpush/PushSDK.h"
#include "platform/FileSystem.h"
#include "platform/FileTurn.h"
#include "platform/Home.h"
#include "platform/SecItem.h"
#include "sdk/PushSDKState.h"
#include "sdk/SdkTestSupport.h"
#include "sdk/SubscriptionTurn.h"
#include "security/Crypto.h"
#include "security/CryptoPendingKeyPair.h"
#include "security/KeyChainUtil.h"
#include "support/TestHome.h"
#include "utils/logger/log_manager/LogManager.h"
#include "utils/logger/log_manager/LogSettings.h"

namespace orvanpush::detail {
namespace {

using namespace std::chrono_literals;
using testing::Event;
using testing::ReferenceServer;

// Starts an operation and waits for its one completion (a second one fails the test) and for
// the library's work in flight.
template <typename R, typename Start>
std::optional<R> await(const Start& start) {
    testing::Completion<std::optional<R>> completion;
    start(completion.callback());
    auto result = completion.first();
    EXPECT_TRUE(PushSDK::waitForOutstandingWork(60s));
    return result;
}

bool succeeded(const std::optional<BaseApiResult>& result) {
    return result && result->getResultKind() == ResultKind::success;
}

// The tags of every key of the instance, pending or committed.
std::vector<std::string> keyTags(const std::string& identifier) {
    Json found;
    const auto status = platform::SecItemCopyMatching(
        {{platform::kSecClass, platform::kSecClassKey},
         {platform::kSecAttrAccessGroup, KeyChain::getKeychainGroup(identifier)},
         {platform::kSecReturnAttributes, true},
         {platform::kSecMatchLimit, platform::kSecMatchLimitAll}},
        &found);
    std::vector<std::string> tags;
    if (status == platform::errSecSuccess) {
        for (const auto& item : found) {
            const auto& tag = item.at(platform::kSecAttrApplicationTag).get_binary();
            tags.emplace_back(tag.begin(), tag.end());
        }
    }
    std::sort(tags.begin(), tags.end());
    return tags;
}

std::string committedPublicKey(const std::string& identifier) {
    return getPublicKeyString(identifier, publicKeyTag(identifier), privateKeyTag(identifier),
                              PushSDKState::keyType, PushSDKState::keySize);
}

std::string logText() {
    const auto file = LogManager::getLogFile(std::chrono::system_clock::now());
    return file ? platform::FileSystem::readFile(*file).value_or("") : "";
}

class SubscriptionTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        server_ = std::make_unique<ReferenceServer>();
        LogSettings::setLogLevel("info");  // the default writes error entries only
    }
    static void TearDownTestSuite() { server_.reset(); }

    void SetUp() override {
        static int counter = 0;
        identifier_ = "subscription-" + std::to_string(++counter);
        PushSDK::createInstance(identifier_, server_->pushServerParams(), ReferenceServer::kLogin,
                                ReferenceServer::kPassword, std::nullopt, true);
        sdk_ = PushSDK::getInstance(identifier_);
    }

    void TearDown() override { server_->reset(); }

    std::optional<BaseApiResult> subscribe(const std::optional<std::string>& deviceId,
                                           const std::optional<std::string>& clientId,
                                           const std::string& token = "token-1") {
        return await<BaseApiResult>(
            [&](auto done) { sdk_->subscribe(deviceId, clientId, token, std::nullopt, done); });
    }

    std::optional<SubscriberGetResult> subscriberData(
        const std::optional<std::string>& deviceId = std::nullopt) {
        return await<SubscriberGetResult>(
            [&](auto done) { sdk_->getSubscriberData(deviceId, std::nullopt, done); });
    }

    Json subscriber(const std::string& address) const {
        const auto all = server_->admin("GET", "subscribers");
        for (const auto& record : all["subscribers"]) {
            if (record["address"] == address) {
                return record;
            }
        }
        return nullptr;
    }

    /// The check outcome of the latest request to `endpoint`.
    Json lastChecks(const std::string& endpoint) const {
        const auto requests = server_->requests(endpoint);
        return requests.empty() ? Json() : requests.back()["checks"];
    }

    std::string pendingPrefix() const { return identifier_ + ".pending-"; }

    bool hasPendingKeys() const {
        for (const auto& tag : keyTags(identifier_)) {
            if (tag.starts_with(pendingPrefix())) {
                return true;
            }
        }
        return false;
    }

    static std::unique_ptr<ReferenceServer> server_;
    std::string identifier_;
    std::shared_ptr<PushSDK> sdk_;
};

std::unique_ptr<ReferenceServer> SubscriptionTest::server_;

TEST_F(SubscriptionTest, EverySignedQueryVerifiesWithTheSubscribedKeyAndLogsItsParameters) {
    const auto subscribed = subscribe("phone", "client");
    ASSERT_TRUE(succeeded(subscribed)) << subscribed->getErrorDescription().value_or("");
    EXPECT_EQ(sdk_->getDeviceId(), "phone");
    EXPECT_EQ(sdk_->getClientId(), "client");
    EXPECT_EQ(sdk_->getSavedToken(), "token-1");
    EXPECT_EQ(keyTags(identifier_),
              (std::vector<std::string>{identifier_ + ".private", identifier_ + ".public"}));
    const auto record = subscriber("phone.client");
    EXPECT_EQ(record["publicKey"], committedPublicKey(identifier_));
    EXPECT_EQ(record["vendorInfo"], "Apple Simulator iOS");
    EXPECT_EQ(record["osVersion"], platform::PlatformConfig::current()->osVersion);
    EXPECT_EQ(record["pushEnabled"], true);

    const auto data = subscriberData();
    ASSERT_TRUE(data && data->getElements());
    ASSERT_EQ(data->getElements()->size(), 1u);
    EXPECT_EQ(data->getElements()->front().getAddress(), "phone.client");
    EXPECT_EQ(lastChecks("subscriber/get")["signature"], "verified");

    const auto updated = await<BaseApiResult>([&](auto done) {
        sdk_->updateSubscriber(std::nullopt, {{"tier", "gold"}, {"city", "Oslo"}}, 20.0, done);
    });
    EXPECT_TRUE(succeeded(updated));
    EXPECT_EQ(lastChecks("subscriber/update")["signature"], "verified");
    EXPECT_EQ(subscriber("phone.client")["attributes"], Json({{"tier", "gold"}, {"city", "Oslo"}}));

    server_->admin(
        "POST", "history",
        Json{{"address", "phone.client"},
             {"messages", {{{"messageId", "m1"}, {"date", 700000000}, {"title", "Hi"}}}}});
    const auto from = std::chrono::system_clock::from_time_t(0);
    const auto history = await<StatisticsResult>([&](auto done) {
        sdk_->getMessages(std::nullopt, std::nullopt, 0, from, std::nullopt, std::nullopt, done);
    });
    ASSERT_TRUE(history && history->getMessages());
    ASSERT_EQ(history->getMessages()->size(), 1u);
    EXPECT_EQ(history->getMessages()->front().getTitle(), "Hi");
    EXPECT_EQ(lastChecks("statistics")["signature"], "verified");

    const auto log = logText();
    for (const std::string parameters :
         {R"(address - "phone.client", requestAddress - "client")",
          R"(address - "phone.client", updateAddress - "phone.client", attributes - "["city": )"
          R"("Oslo", "tier": "gold"]")",
          R"(address - "phone.client", requestAddress - "phone.client", requestId - "", )"
          R"(amount - "0", dateFrom - ")"}) {
        EXPECT_NE(log.find("Parameters: " + parameters), std::string::npos) << parameters;
    }
    EXPECT_NE(log.find("Subscribe process successfully completed"), std::string::npos);
}

TEST_F(SubscriptionTest, UnsubscribeClearsTheIdsOnSuccessAndOnCode104Only) {
    struct Case {
        std::optional<int> errorCode;
        bool cleared;
    };
    for (const auto& c : {Case{std::nullopt, true}, Case{104, true}, Case{105, false}}) {
        ASSERT_TRUE(succeeded(subscribe("phone", "client")));
        if (c.errorCode) {
            server_->addFault("unsubscribe", {{"kind", "error"}, {"errorCode", *c.errorCode}});
        }
        const auto unsubscribed = await<BaseApiResult>(
            [&](auto done) { sdk_->unsubscribe("moving", std::nullopt, done); });
        EXPECT_EQ(unsubscribed->getErrorCode(), c.errorCode.value_or(0));
        EXPECT_EQ(lastChecks("unsubscribe")["signature"], "verified");
        EXPECT_EQ(sdk_->getClientId().has_value(), !c.cleared) << c.errorCode.value_or(0);
        EXPECT_EQ(sdk_->getDeviceId().has_value(), !c.cleared);
        EXPECT_EQ(sdk_->getSavedToken(), "token-1");
    }
    EXPECT_NE(logText().find("Unsubscribe process completed with error: 105:"), std::string::npos);
}

TEST_F(SubscriptionTest, ValidationThrowsBeforeAnythingIsSentAndLeavesNoPendingKey) {
    const auto thrown = [](const auto& operation) {
        try {
            operation();
        } catch (const OrvanPushSDKError& error) {
            return error.description();
        }
        return std::string("nothing thrown");
    };
    const auto ignore = [](std::optional<BaseApiResult>) {};
    const std::string address = "emptyMandatoryParameter(\"address\")";
    for (const auto& [operation, error] :
         std::vector<std::pair<std::function<void()>, std::string>>{
             {[&] { sdk_->unsubscribe(std::nullopt, std::nullopt, ignore); }, address},
             {[&] { sdk_->getSubscriberData(std::nullopt, std::nullopt, nullptr); }, address},
             {[&] { sdk_->subscribe("phone", "", "t", std::nullopt, ignore); }, address},
             {[&] { sdk_->subscribe("phone", "client", "", std::nullopt, ignore); },
              "emptyMandatoryParameter(\"token\")"},
             {[&] { sdk_->updateSubscription("t", std::nullopt, ignore); }, address}}) {
        EXPECT_EQ(thrown(operation), error);
    }
    EXPECT_TRUE(keyTags(identifier_).empty());
    ASSERT_TRUE(succeeded(subscribe(std::nullopt, "client")));
    EXPECT_EQ(thrown([&] { sdk_->updateSubscription("", std::nullopt, ignore); }),
              "emptyMandatoryParameter(\"token\")");
    // Keys that would become one once repaired are refused, not merged.
    EXPECT_EQ(thrown([&] {
                  sdk_->updateSubscriber(std::nullopt, {{"\xff", "1"}, {"\xfe", "2"}}, std::nullopt,
                                         ignore);
              }),
              "invalidParameter(\"attributes\")");
    EXPECT_FALSE(hasPendingKeys());
    EXPECT_TRUE(server_->requests("subscriber/update").empty());
    EXPECT_TRUE(server_->requests("unsubscribe").empty());
    EXPECT_EQ(server_->requests("subscribe").size(), 1u);
}

TEST_F(SubscriptionTest, UpdatingTheTokenStoresItWithOneCompletionAndANewKey) {
    ASSERT_TRUE(succeeded(subscribe("phone", "client")));
    const auto firstKey = committedPublicKey(identifier_);
    const auto updated = await<BaseApiResult>(
        [&](auto done) { sdk_->updateSubscription("token-2", std::nullopt, done); });
    EXPECT_TRUE(succeeded(updated));
    EXPECT_EQ(sdk_->getSavedToken(), "token-2");
    EXPECT_NE(committedPublicKey(identifier_), firstKey);
    EXPECT_EQ(subscriber("phone.client")["publicKey"], committedPublicKey(identifier_));
    EXPECT_EQ(subscriber("phone.client")["token"], "token-2");
    EXPECT_EQ(keyTags(identifier_).size(), 2u);
    EXPECT_TRUE(succeeded(subscriberData()));
    const auto log = logText();
    EXPECT_NE(log.find("Updating subscription for address \"phone.client\""), std::string::npos);
    EXPECT_NE(log.find("Update subscription process successfully completed"), std::string::npos);
}

TEST_F(SubscriptionTest, AnErrorAnswerKeepsThePreviousKeySigning) {
    ASSERT_TRUE(succeeded(subscribe("phone", "client")));
    const auto key = committedPublicKey(identifier_);
    for (const auto& fault : {Json{{"kind", "error"}, {"errorCode", 120}},
                              Json{{"kind", "answer"}, {"status", 503}, {"count", 4}}}) {
        server_->addFault("subscribe", fault);
        const auto failed = subscribe("phone", "client", "token-2");
        EXPECT_FALSE(succeeded(failed));
        EXPECT_EQ(committedPublicKey(identifier_), key);
        EXPECT_FALSE(hasPendingKeys());
        EXPECT_EQ(sdk_->getSavedToken(), "token-1");
        EXPECT_TRUE(succeeded(subscriberData()));
        EXPECT_EQ(lastChecks("subscriber/get")["signature"], "verified");
    }
    EXPECT_NE(logText().find("Error on subscribe process: 120: "), std::string::npos);
}

TEST_F(SubscriptionTest, ASubscriptionWithoutDeviceIdRemovesTheOlderOne) {
    ASSERT_TRUE(succeeded(subscribe("phone", "client")));
    ASSERT_TRUE(succeeded(subscribe(std::nullopt, "client-2")));
    EXPECT_EQ(sdk_->getDeviceId(), std::nullopt);
    ASSERT_TRUE(succeeded(subscriberData()));
    EXPECT_EQ(server_->requests("subscriber/get").back()["params"]["address"], "client-2");
    EXPECT_EQ(lastChecks("subscriber/get")["signature"], "verified");
}

// Operations of one instance take turns: an unsubscribe still waiting for its answer is
// applied before a newer subscription (with other ids or the same ones) is sent, and two
// subscriptions in flight leave the key the server holds last as the device key.
TEST_F(SubscriptionTest, OperationsInFlightTakeTurnsAndTheLastAnswerIsTheDeviceKey) {
    for (const auto& [deviceId, clientId] :
         {std::pair("tablet", "client-2"), {"phone", "client"}}) {
        ASSERT_TRUE(succeeded(subscribe("phone", "client")));
        server_->addFault("unsubscribe", {{"kind", "delay"}, {"delayMs", 1000}});
        Event unsubscribed;
        sdk_->unsubscribe(std::nullopt, std::nullopt, [&](auto) { unsubscribed.notify(); });
        ASSERT_TRUE(succeeded(subscribe(deviceId, clientId)));
        ASSERT_TRUE(unsubscribed.wait(60s));
        EXPECT_EQ(sdk_->getDeviceId(), deviceId);
        EXPECT_EQ(sdk_->getClientId(), clientId);
        EXPECT_TRUE(succeeded(subscriberData())) << clientId;
    }
    server_->addFault("subscribe", {{"kind", "delay"}, {"delayMs", 300}});
    Event first;
    sdk_->subscribe("phone", "client", "token-2", std::nullopt, [&](auto) { first.notify(); });
    EXPECT_TRUE(succeeded(subscribe("phone", "client", "token-3")));
    ASSERT_TRUE(first.wait(60s));
    EXPECT_TRUE(succeeded(subscriberData()));
    EXPECT_FALSE(hasPendingKeys());
}

// An operation whose turn does not come gives up after its own time limit, sending nothing.
TEST_F(SubscriptionTest, AnOperationThatNeverGetsItsTurnGivesUpWithAClearError) {
    const auto held = platform::FileTurn::tryTake(platform::Home::turnFile(identifier_));
    ASSERT_TRUE(held);
    const auto waited = await<BaseApiResult>(
        [&](auto done) { sdk_->subscribe("phone", "client", "token-1", 0.1, done); });
    EXPECT_EQ(waited->getErrorCode(), 600);
    EXPECT_EQ(waited->getErrorDescription(), SubscriptionTurn::busyText);
    EXPECT_TRUE(server_->requests("subscribe").empty());
    EXPECT_FALSE(hasPendingKeys());
}

TEST_F(SubscriptionTest, TheCompletionArrivesAndTheIdsAreStoredAfterTheHostDroppedTheObject) {
    server_->addFault("subscribe", {{"kind", "delay"}, {"delayMs", 1000}});
    Event done;
    sdk_->subscribe("phone", "client", "token-1", std::nullopt, [&](auto) { done.notify(); });
    sdk_.reset();
    ASSERT_TRUE(done.wait(60s));
    ASSERT_TRUE(PushSDK::waitForOutstandingWork(60s));
    EXPECT_EQ(PushSDK::getInstance(identifier_)->getClientId(), "client");
}

TEST_F(SubscriptionTest, TextThatIsNotUtf8IsSentRepairedAndItsSignatureVerifies) {
    ASSERT_TRUE(succeeded(subscribe("ph\xffone", "cli\xc3", "tok\xfe")));
    const std::string replacement = "\xEF\xBF\xBD";
    const auto address = "ph" + replacement + "one.cli" + replacement;
    EXPECT_EQ(subscriber(address)["token"], "tok" + replacement);
    EXPECT_EQ(sdk_->getClientId(), "cli" + replacement);
    ASSERT_TRUE(succeeded(subscriberData("ph\xffone")));
    EXPECT_EQ(lastChecks("subscriber/get")["signature"], "verified");
    const auto updated = await<BaseApiResult>([&](auto done) {
        sdk_->updateSubscriber("new\xff", {{"k\xff", "v\xfe"}}, std::nullopt, done);
    });
    EXPECT_TRUE(succeeded(updated));
    EXPECT_EQ(lastChecks("subscriber/update")["signature"], "verified");
}

}  // namespace
}  // namespace orvanpush::detail

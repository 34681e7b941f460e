// Subscriptions whose outcome is unknown, against the reference server: their pending pair is
// kept, settled by the server's word on the next key-mismatch refusal, and removed as an orphan
// once a day old. The keychain is checked through a connection of the test's own.

#include <csignal>
#include <iostream>

#include <gtest/gtest.h>

#include "platform/Home.h"
#include "platform/SqliteDatabase.h"
#include "sdk/SdkTestSupport.h"
#include "sdk/UnsentStatuses.h"
#include "security/Crypto.h"
#include "storage/StoreTestSupport.h"
#include "support/ChildProcess.h"

namespace orvanpush::testing {
namespace {

// Subscribes the instance named by the environment and waits to be killed. Skipped in an
// ordinary run.
TEST(SubscribingChild, SubscribesUntilKilled) {
    const char* home = std::getenv("ORVANPUSH_RECONCILE_HOME");
    if (home == nullptr) {
        GTEST_SKIP() << "run by SubscriptionReconcileTest";
    }
    auto config = *platform::PlatformConfig::current();
    config.home = home;
    platform::PlatformConfig::install(config);
    PushSDK::getInstance(std::getenv("ORVANPUSH_RECONCILE_INSTANCE"))
        ->subscribe("phone", "client", "token-2", std::nullopt, nullptr);
    std::string never;
    std::cin >> never;
}

std::optional<BaseApiResult> awaited(const std::function<void(PushSDK::ResultCompletion)>& start) {
    ResultCompletion completion;
    start(completion.callback());
    auto result = completion.first();
    waitForTheLibrary();
    return result;
}

bool succeeded(const std::optional<BaseApiResult>& result) {
    return result && result->getResultKind() == ResultKind::success;
}

class SubscriptionReconcileTest : public ServerTest {
  protected:
    std::optional<BaseApiResult> subscribe(const std::string& token = "token-1") {
        return awaited(
            [&](auto done) { instance->subscribe("phone", "client", token, std::nullopt, done); });
    }

    /// The keys and records of the instance's pending pairs, in the keychain file.
    std::int64_t pendingItems() const {
        auto keychain = platform::SqliteConnection::open(platform::Home::keychainFile());
        auto count = keychain.prepare(
            "SELECT count(*) FROM items WHERE CAST(application_tag AS TEXT) LIKE ?1 OR "
            "account LIKE ?1");
        count.bindText(1, instance.identifier() + ".pending-%").step();
        return count.integer(0);
    }

    std::string committedPublicKey() const {
        const auto& id = instance.identifier();
        return detail::getPublicKeyString(id, id + ".public", id + ".private",
                                          platform::kSecAttrKeyTypeRSA, 1024);
    }

    Json serverRecord() const {
        const auto all = server().admin("GET", "subscribers");
        for (const auto& record : all["subscribers"]) {
            if (record["address"] == "phone.client") {
                return record;
            }
        }
        return nullptr;
    }

    TestInstance instance{server()};
};

// The server applies the token update but answers after the device gave up: the next signed
// query is refused with 115, sent once more with the pending pair, accepted, and the pair
// becomes the device key with the token it carried.
TEST_F(SubscriptionReconcileTest, AnUpdateThatTimedOutIsSettledByTheNextSignedQuery) {
    ASSERT_TRUE(succeeded(subscribe()));
    server().addFault("subscribe", {{"kind", "delay"}, {"delayMs", 1500}, {"count", 4}});
    const auto updated =
        awaited([&](auto done) { instance->updateSubscription("token-2", 0.2, std::move(done)); });
    EXPECT_EQ(updated->getErrorCode(), 600);
    EXPECT_EQ(pendingItems(), 3);  // two keys and their record
    EXPECT_EQ(serverRecord()["token"], "token-2");

    const auto data = awaited([&](auto done) {
        instance->getSubscriberData(std::nullopt, std::nullopt,
                                    [done](auto result) { done(result); });
    });
    EXPECT_TRUE(succeeded(data));
    auto queries = server().requests("subscriber/get");
    ASSERT_EQ(queries.size(), 2u);
    EXPECT_EQ(queries[0]["checks"]["signature"], "failed");
    EXPECT_EQ(queries[1]["checks"]["signature"], "verified");
    for (auto& query : queries) {
        query["params"].erase("signature");
    }
    EXPECT_EQ(queries[0]["params"], queries[1]["params"]);
    EXPECT_EQ(queries[0]["headers"], queries[1]["headers"]);
    EXPECT_EQ(serverRecord()["publicKey"], committedPublicKey());
    EXPECT_EQ(instance->getSavedToken(), "token-2");
    EXPECT_EQ(pendingItems(), 0);
}

// A subscription killed with its request in flight leaves its pair pending; the next operation
// keeps it while it is young and removes it once its record says it is a day old.
TEST_F(SubscriptionReconcileTest, AKilledSubscriptionKeepsItsPairUntilItIsADayOld) {
    server().addFault("subscribe", {{"kind", "delay"}, {"delayMs", 20000}});
    ChildProcess child({thisProgram(), "--gtest_filter=SubscribingChild.*"},
                       {"ORVANPUSH_RECONCILE_HOME=" + testHome().string(),
                        "ORVANPUSH_RECONCILE_INSTANCE=" + instance.identifier()});
    ASSERT_TRUE(eventually([&] { return server().requests("subscribe").size() == 1; }));
    child.kill(SIGKILL);
    child.wait();
    EXPECT_EQ(pendingItems(), 3);
    ASSERT_TRUE(succeeded(subscribe()));
    EXPECT_EQ(pendingItems(), 3);

    platform::SqliteConnection::open(platform::Home::keychainFile())
        .prepare(
            "UPDATE items SET value = CAST(json_set(CAST(value AS TEXT), '$.created', "
            "strftime('%s', 'now') - 86401) AS BLOB) WHERE account LIKE ?")
        .bindText(1, instance.identifier() + ".pending-%")
        .step();
    EXPECT_TRUE(succeeded(
        awaited([&](auto done) { instance->updateSubscription("token-3", std::nullopt, done); })));
    EXPECT_EQ(pendingItems(), 0);
    EXPECT_EQ(serverRecord()["publicKey"], committedPublicKey());
}

// A re-send round with no subscriber address sends nothing and leaves no row leased.
TEST_F(SubscriptionReconcileTest, ARoundWithoutAddressLeavesNoRowLeased) {
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

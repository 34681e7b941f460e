// Every endpoint against the reference server, which checks the wire contract on its own (its
// decoding, JSON checks and signature checks share no code with the client): methods, paths,
// exact members, double-encoded queries, credentials, content type, "rid", "push-enabled", and
// signatures against the key the device subscribed with. Signatures are also verified with the
// openssl command.

#include <regex>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "api/ApiTestSupport.h"
#include "api/ContentDownloadTarget.h"
#include "api/NotificationsTarget.h"
#include "api/ReferenceServer.h"
#include "api/StatisticsTarget.h"
#include "api/SubscribeTarget.h"
#include "api/SubscriberGetTarget.h"
#include "api/SubscriberUpdateTarget.h"
#include "api/UnsubscribeTarget.h"
#include "orvanpush/PushSDK.h"
#include "platform/SecKey.h"
#include "sdk/PushSDKState.h"
#include "security/Crypto.h"
#include "support/OpensslOracle.h"
#include "utils/Utf8Text.h"

namespace orvanpush::testing {
namespace {

using namespace detail;
using ::testing::ElementsAre;
using ::testing::Pair;

constexpr const char* kIdentifier = "reference";
const std::string kAddress = "6F1D2C3B-DEVICE.client-42";
// 2024-03-01 09:00:00 UTC, and the same in seconds since 2001-01-01.
const Date kMarchFirst = Date(std::chrono::seconds(1709283600));
constexpr double kMarchFirstReference = 1709283600.0 - 978307200.0;

class TenantHeaders : public HttpRequestAdditionalHeaderManager {
  public:
    std::map<std::string, std::string> getAdditionalHeaders(const std::string&) override {
        return {{"X-Tenant", "shop"}, {"RID", "not-the-request-id"}};
    }
};

class ReferenceServerTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        server_ = std::make_unique<ReferenceServer>();
        PushSDK::createInstance(kIdentifier, server_->pushServerParams(), ReferenceServer::kLogin,
                                ReferenceServer::kPassword, std::nullopt, true);
        sdk_ = PushSDK::getInstance(kIdentifier, std::make_shared<TenantHeaders>());
        generateKeyPair(kIdentifier, publicTag(), privateTag(), platform::kSecAttrKeyTypeRSA, 1024);
        publicKey_ = getPublicKeyString(kIdentifier, publicTag(), privateTag(),
                                        platform::kSecAttrKeyTypeRSA, 1024);
    }
    static void TearDownTestSuite() {
        sdk_.reset();
        server_.reset();
    }

    void SetUp() override {
        server_->reset();
        ASSERT_EQ(send(SubscribeTarget{subscribeObject(kAddress, "token-1")}),
                  BaseApiResult(ResultKind::success, 0));
    }

    static std::string publicTag() { return std::string(kIdentifier) + ".public"; }
    static std::string privateTag() { return std::string(kIdentifier) + ".private"; }

    static PushSDKState& state() { return *PushSDKAccess::state(*sdk_); }

    // The headers an operation builds for `requestUri`, with "push-enabled" where it sends one.
    static RequestHeaders headers(const std::string& requestUri, bool pushEnabled) {
        auto headers = state().getHeaders(requestUri);
        if (pushEnabled) {
            headers["push-enabled"] = "true";
        }
        return headers;
    }

    static std::string sign(const std::string& text) {
        return signString(kIdentifier, privateTag(),
                          platform::kSecKeyAlgorithmRSASignatureMessagePKCS1v15SHA1, text);
    }

    static SubscribeObject subscribeObject(const std::string& address, const std::string& token) {
        return {.headers = headers("subscribe", true),
                .retryCount = 3,
                .requestTimeout = 20,
                .address = address,
                .osVersion = "17.4",
                .vendorInfo = "iPhone15,2",
                .token = token,
                .publicKey = publicKey_};
    }

    template <typename Target>
    static typename Target::Result send(const Target& target) {
        return sendAndWait(state().apiService, AnyTarget<typename Target::Result>::from(target));
    }

    // The one request logged for `endpoint`, checked to have passed every check of the server.
    static Json passedRequest(const std::string& endpoint) {
        const Json records = server_->requests(endpoint);
        EXPECT_EQ(records.size(), 1u) << endpoint;
        const Json record = records.empty() ? Json::object() : records.back();
        EXPECT_EQ(record.value("outcome", ""), "applied") << record.dump();
        const Json checks = record.value("checks", Json::object());
        for (const auto& [check, outcome] : checks.items()) {
            EXPECT_TRUE(outcome == "passed" || outcome == "verified") << check << ": " << outcome;
        }
        EXPECT_EQ(record["path"], "/api/" + endpoint);
        expectHeaders(record);
        return record;
    }

    // "rid" once, the generated upper-case UUID (not the manager's), and the manager's entries.
    static void expectHeaders(const Json& record) {
        int rids = 0;
        std::optional<std::string> tenant;
        for (const auto& header : record["headers"]) {
            const std::string name = header[0];
            if (strcasecmp(name.c_str(), "rid") == 0) {
                ++rids;
                EXPECT_TRUE(
                    std::regex_match(header[1].get<std::string>(),
                                     std::regex("[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}")));
            }
            if (name == "X-Tenant") {
                tenant = header[1];
            }
        }
        EXPECT_EQ(rids, 1);
        EXPECT_EQ(tenant, "shop");
    }

    static Json bodyOf(const Json& record) {
        return Json::parse(record["body"].get<std::string>());
    }

    static inline std::unique_ptr<ReferenceServer> server_;
    static inline std::shared_ptr<PushSDK> sdk_;
    static inline std::string publicKey_;
};

TEST_F(ReferenceServerTest, SubscribeSendsThePublicKeyTheServerReads) {
    const Json record = passedRequest("subscribe");
    EXPECT_EQ(record["method"], "POST");
    EXPECT_EQ(record["body"], compactJson(bodyOf(record)));  // compact as sent
    EXPECT_EQ(bodyOf(record), Json({{"address", kAddress},
                                    {"osType", "ios"},
                                    {"osVersion", "17.4"},
                                    {"vendorInfo", "iPhone15,2"},
                                    {"token", "token-1"},
                                    {"pubKey", publicKey_}}));
    const Json subscriber = server_->admin("GET", "subscribers")["subscribers"][0];
    EXPECT_EQ(subscriber["publicKey"], publicKey_);
    EXPECT_EQ(subscriber["keyBits"], 1024);
    EXPECT_EQ(subscriber["keyDerSize"], 162);
    EXPECT_EQ(publicKey_.size(), 216u);
    EXPECT_EQ(subscriber["pushEnabled"], true);
}

TEST_F(ReferenceServerTest, BodyEndpointsAreSignedOverTheirMembers) {
    UnsubscribeObject withoutNote{.headers = headers("unsubscribe", true),
                                  .retryCount = 3,
                                  .address = kAddress,
                                  .token = "token-1"};
    withoutNote.signature = sign(UnsubscribeTarget::signedText(withoutNote));
    SubscriberUpdateObject update{.headers = headers("subscriber/update", true),
                                  .retryCount = 3,
                                  .address = kAddress,
                                  .updateAddress = "client-43",
                                  .attributes = {{"b", "2"}, {"a", "1"}, {"empty", ""}}};
    update.signature = sign(SubscriberUpdateTarget::signedText(update));
    EXPECT_EQ(SubscriberUpdateTarget::signedText(update), kAddress + "client-43a1b2empty");
    NotificationsObject report{.headers = headers("notifications", true),
                               .retryCount = 3,
                               .address = kAddress,
                               .messageId = "m-1",
                               .status = "Delivered"};
    report.signature = sign(NotificationsTarget::signedText(report));

    EXPECT_EQ(send(SubscriberUpdateTarget{update}), BaseApiResult(ResultKind::success, 0));
    EXPECT_EQ(send(NotificationsTarget{report}), BaseApiResult(ResultKind::success, 0));
    EXPECT_EQ(send(UnsubscribeTarget{withoutNote}), BaseApiResult(ResultKind::success, 0));

    const Json updated = passedRequest("subscriber/update");
    EXPECT_EQ(updated["method"], "POST");
    EXPECT_EQ(bodyOf(updated)["attributes"], Json({{"a", "1"}, {"b", "2"}, {"empty", ""}}));
    EXPECT_TRUE(
        opensslVerifies(publicKey_, bodyOf(updated)["signature"], kAddress + "client-43a1b2empty"));
    const Json reported = passedRequest("notifications");
    EXPECT_EQ(reported["method"], "PUT");
    EXPECT_EQ(bodyOf(reported), Json({{"address", kAddress},
                                      {"messageId", "m-1"},
                                      {"status", "Delivered"},
                                      {"signature", report.signature}}));
    EXPECT_TRUE(opensslVerifies(publicKey_, report.signature, kAddress + "m-1Delivered"));
    EXPECT_EQ(server_->admin("GET", "statuses")["statuses"],
              Json::parse(R"([{"messageId":"m-1","status":"Delivered","count":1}])"));
    const Json unsubscribed = passedRequest("unsubscribe");
    EXPECT_EQ(unsubscribed["method"], "DELETE");
    EXPECT_EQ(bodyOf(unsubscribed).size(), 3u);
    EXPECT_TRUE(opensslVerifies(publicKey_, withoutNote.signature, kAddress + "token-1"));
    EXPECT_TRUE(server_->admin("GET", "subscribers")["subscribers"].empty());
}

TEST_F(ReferenceServerTest, QueryEndpointsAreSignedOverTheirDecodedValues) {
    server_->admin("POST", "history",
                   Json{{"address", kAddress},
                        {"messages",
                         {{{"messageId", "m-1"}, {"date", kMarchFirstReference}, {"title", "Sale"}},
                          {{"messageId", "m-2"}, {"date", kMarchFirstReference + 3600}}}}});
    server_->admin(
        "POST", "content",
        Json{{"messageId", "m-1"}, {"bodyBase64", "iVBORw0KGgo="}, {"mediaType", "image/png"}});

    SubscriberGetObject get{.headers = headers("subscriber/get", true),
                            .retryCount = 3,
                            .address = kAddress,
                            .requestAddress = "client-42"};
    get.signature = sign(SubscriberGetTarget::signedText(get));
    const auto subscribers = send(SubscriberGetTarget{get});
    ASSERT_EQ(subscribers.getResultKind(), ResultKind::success);
    EXPECT_EQ(subscribers.getElements()->at(0).getAddress(), kAddress);
    EXPECT_EQ(subscribers.getElements()->at(0).getOsVersion(), "17.4");

    StatisticsObject statistics{.headers = headers("statistics", false),
                                .retryCount = 3,
                                .address = kAddress,
                                .requestAddress = kAddress,
                                .amount = 10,
                                .dateFrom = kMarchFirst - std::chrono::hours(1)};
    statistics.signature = sign(StatisticsTarget::signedText(statistics));
    const auto history = send(StatisticsTarget{statistics});
    ASSERT_EQ(history.getResultKind(), ResultKind::success);
    EXPECT_EQ(history.getMessages(),
              (std::vector<MessageElement>{{"m-1", kMarchFirst, "Sale"},
                                           {"m-2", kMarchFirst + std::chrono::hours(1)}}));

    ContentDownloadObject content{.headers = headers("content/download", false),
                                  .retryCount = 3,
                                  .address = kAddress,
                                  .messageId = "m-1"};
    content.signature = sign(ContentDownloadTarget::signedText(content));
    EXPECT_EQ(send(ContentDownloadTarget{content}).getContent(),
              opensslBase64Decode("iVBORw0KGgo="));

    const Json getRecord = passedRequest("subscriber/get");
    EXPECT_EQ(getRecord["method"], "GET");
    EXPECT_EQ(getRecord["params"], Json({{"address", kAddress},
                                         {"requestAddress", "client-42"},
                                         {"signature", get.signature}}));
    EXPECT_TRUE(
        opensslVerifies(publicKey_, getRecord["params"]["signature"], kAddress + "client-42"));

    const Json statisticsRecord = passedRequest("statistics");
    const Json& params = statisticsRecord["params"];
    EXPECT_EQ(params.size(), 5u);
    EXPECT_TRUE(opensslVerifies(publicKey_, params["signature"],
                                params["address"].get<std::string>() +
                                    params["requestAddress"].get<std::string>() + "10" +
                                    params["dateFrom"].get<std::string>()));
    const Json contentRecord = passedRequest("content/download");
    EXPECT_TRUE(
        opensslVerifies(publicKey_, contentRecord["params"]["signature"], kAddress + "m-1"));
}

TEST_F(ReferenceServerTest, StatisticsWithEveryOptionalValue) {
    server_->admin(
        "POST", "history",
        Json{{"address", kAddress},
             {"messages",
              {{{"messageId", "m-1"}, {"date", kMarchFirstReference}, {"requestId", "q 1"}},
               {{"messageId", "m-2"}, {"date", kMarchFirstReference}}}}});
    StatisticsObject statistics{.headers = headers("statistics", false),
                                .retryCount = 3,
                                .address = kAddress,
                                .requestAddress = kAddress,
                                .requestId = "q 1",
                                .amount = 0,
                                .dateFrom = kMarchFirst,
                                .dateTo = kMarchFirst + std::chrono::hours(24)};
    statistics.signature = sign(StatisticsTarget::signedText(statistics));
    const auto history = send(StatisticsTarget{statistics});
    ASSERT_TRUE(history.getMessages());
    EXPECT_THAT(*history.getMessages(), ElementsAre(MessageElement("m-1", kMarchFirst)));
    const Json record = passedRequest("statistics");
    EXPECT_EQ(record["params"].size(), 7u);
    EXPECT_EQ(record["params"]["requestId"], "q 1");
    EXPECT_THAT(record["query"].get<std::string>(), ::testing::HasSubstr("requestId=q%25201"));
}

// A token that is not UTF-8 travels repaired, and a note is sent and signed with it.
TEST_F(ReferenceServerTest, ARepairedTokenAndANoteAreSentAndSigned) {
    const std::string token = repairUtf8(std::string("tok\xff\xc0-en", 8));
    ASSERT_EQ(send(SubscribeTarget{subscribeObject(kAddress, token)}).getResultKind(),
              ResultKind::success);
    UnsubscribeObject unsubscribe{.headers = headers("unsubscribe", true),
                                  .retryCount = 3,
                                  .address = kAddress,
                                  .token = token,
                                  .note = "moving on / gone + back"};
    unsubscribe.signature = sign(UnsubscribeTarget::signedText(unsubscribe));
    EXPECT_EQ(send(UnsubscribeTarget{unsubscribe}), BaseApiResult(ResultKind::success, 0));
    const Json body = bodyOf(passedRequest("unsubscribe"));
    EXPECT_EQ(body["token"], "tok\xEF\xBF\xBD\xEF\xBF\xBD-en");
    EXPECT_EQ(body["note"], "moving on / gone + back");
    EXPECT_TRUE(
        opensslVerifies(publicKey_, body["signature"],
                        kAddress + "tok\xEF\xBF\xBD\xEF\xBF\xBD-enmoving on / gone + back"));
}

TEST_F(ReferenceServerTest, ServerErrorsAndResendsReachTheCompletion) {
    NotificationsObject report{.headers = headers("notifications", true),
                               .retryCount = 3,
                               .address = "never-subscribed",
                               .messageId = "m-1",
                               .status = "Read"};
    report.signature = sign(NotificationsTarget::signedText(report));
    auto error = send(NotificationsTarget{report});
    EXPECT_EQ(error.getErrorCode(), 104);
    EXPECT_EQ(server_->requests("notifications").size(), 1u);

    report.address = kAddress;
    report.signature = sign(NotificationsTarget::signedText(report));
    server_->addFault("notifications",
                      {{"kind", "error"}, {"errorCode", 105}, {"errorDescription", "later"}});
    EXPECT_EQ(send(NotificationsTarget{report}), BaseApiResult(ResultKind::error, 105, "later"));
    server_->addFault("notifications", {{"kind", "answer"}, {"status", 503}, {"count", 3}});
    EXPECT_EQ(send(NotificationsTarget{report}), BaseApiResult(ResultKind::success, 0));
    // 1 refused, 1 faulted, then 3 faulted and 1 applied: the server counted one report.
    EXPECT_EQ(server_->requests("notifications").size(), 6u);
    EXPECT_EQ(server_->admin("GET", "statuses")["statuses"][0]["count"], 1);
    server_->addFault("notifications", {{"kind", "malformed"}});
    EXPECT_EQ(send(NotificationsTarget{report}).getErrorCode(), 600);
}

}  // namespace
}  // namespace orvanpush::testing

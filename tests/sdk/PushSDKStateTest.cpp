#include "sdk/PushSDKState.h"

#include <regex>

#include <gtest/gtest.h>

#include "orvanpush/OrvanPushApiStatus.h"
#include "orvanpush/OrvanPushSDKError.h"

namespace orvanpush::detail {
namespace {

class RecordingHeaders : public HttpRequestAdditionalHeaderManager {
  public:
    std::map<std::string, std::string> getAdditionalHeaders(const std::string& uri) override {
        requestUris.push_back(uri);
        return {{"X-Tenant", "shop"}, {"rid", "host-supplied"}};
    }
    std::vector<std::string> requestUris;
};

PushSDKState stateWith(std::shared_ptr<HttpRequestAdditionalHeaderManager> headerManager) {
    return PushSDKState("state-test", InstanceConfiguration{}, nullptr, std::move(headerManager));
}

std::string emptyParameterName(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const OrvanPushSDKError& error) {
        EXPECT_EQ(error.kind(), OrvanPushSDKError::Kind::emptyMandatoryParameter);
        return error.payload();
    }
    return "no error";
}

TEST(PushSDKShared, MandatoryParametersMustHaveCharacters) {
    EXPECT_EQ(PushSDKState::checkMandatoryParameter("t", "token"), "t");
    EXPECT_EQ(emptyParameterName([] { PushSDKState::checkMandatoryParameter("", "token"); }),
              "token");
    EXPECT_EQ(
        emptyParameterName([] { PushSDKState::checkMandatoryParameter(std::nullopt, "pubKey"); }),
        "pubKey");
}

TEST(PushSDKShared, TheAddressJoinsDeviceAndClient) {
    EXPECT_EQ(PushSDKState::makeAddress("device", "client"), "device.client");
    EXPECT_EQ(PushSDKState::makeAddress("", "client"), "client");
    EXPECT_EQ(PushSDKState::makeAddress(std::nullopt, "client"), "client");
    EXPECT_EQ(emptyParameterName([] { PushSDKState::makeAddress("device", ""); }), "address");
}

TEST(PushSDKShared, EveryRequestGetsItsOwnUpperCaseRequestId) {
    const std::regex uuid("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
    auto manager = std::make_shared<RecordingHeaders>();
    const auto state = stateWith(manager);

    const auto first = state.getHeaders(toString(ApiMethods::updateSubscriber));
    const auto second = state.getHeaders(toString(ApiMethods::statistics));
    EXPECT_EQ(manager->requestUris, (std::vector<std::string>{"subscriber/update", "statistics"}));
    EXPECT_EQ(first.at("X-Tenant"), "shop");
    EXPECT_TRUE(std::regex_match(first.at("rid"), uuid)) << first.at("rid");
    EXPECT_NE(first.at("rid"), second.at("rid"));

    const auto bare = stateWith(nullptr).getHeaders("subscribe");
    EXPECT_EQ(bare.size(), 1u);
    EXPECT_TRUE(std::regex_match(bare.at("rid"), uuid));
}

TEST(PushSDKShared, TheContextLosesItsSlashesButAnAllSlashContextLeavesOne) {
    ServerParams params{.protocolType = "https", .serverURL = "h", .serverPort = 443};
    EXPECT_EQ(baseAddress(params), "https://h:443");
    params.context = "";
    EXPECT_EQ(baseAddress(params), "https://h:443");
    params.context = "/api/";
    EXPECT_EQ(baseAddress(params), "https://h:443/api");
    params.context = "//v1/push//";
    EXPECT_EQ(baseAddress(params), "https://h:443/v1/push");
    params.context = "///";
    EXPECT_EQ(baseAddress(params), "https://h:443/");
}

TEST(PushSDKPrinting, RecordsErrorsAndStatusesPrintAsLogsAndTheServerSeeThem) {
    ServerParams params{.protocolType = "https",
                        .serverURL = "logs.example.com",
                        .serverPort = 443,
                        .context = "logs"};
    EXPECT_EQ(toString(params),
              "ServerParams(protocolType: \"https\", serverURL: \"logs.example.com\", "
              "serverPort: 443, context: \"logs\")");
    params.context.reset();
    params.serverURL = "a\"b\n\\c";
    EXPECT_EQ(toString(params),
              "ServerParams(protocolType: \"https\", serverURL: \"a\\\"b\\n\\\\c\", "
              "serverPort: 443, context: nil)");
    EXPECT_EQ(OrvanPushSDKError::invalidParameter("status").description(),
              "invalidParameter(\"status\")");
    EXPECT_EQ(OrvanPushSDKError::emptyMandatoryParameter("it's\x01").description(),
              "emptyMandatoryParameter(\"it\\'s\\u{1}\")");
    EXPECT_EQ(orvanPushApiStatusFromRawValue("Read"), OrvanPushApiStatus::read);
    EXPECT_EQ(orvanPushApiStatusFromRawValue("read"), std::nullopt);
}

}  // namespace
}  // namespace orvanpush::detail

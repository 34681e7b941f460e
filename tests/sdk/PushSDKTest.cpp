#include <atomic>
#include <cstddef>
#include <functional>
#include <regex>
#include <stdexcept>
#include <thread>
#include <type_traits>
#include <vector>

#include <gtest/gtest.h>

#include "orvanpush/OrvanPushApiStatus.h"
#include "orvanpush/OrvanPushSDKError.h"
#include "orvanpush/PushSDK.h"
#include "orvanpush/TextError.h"
#include "sdk/InstanceConfiguration.h"
#include "sdk/PushSDKState.h"
#include "sdk/SdkTestSupport.h"
#include "security/KeyChainUtil.h"
#include "utils/SettingsUtils.h"

namespace orvanpush::detail {
namespace {

using testing::errorOf;

const ServerParams pushServer{"https", "push.example.com", 8443, "/api/"};
const ServerParams logServer{"https", "logs.example.com", 443, "logs"};

/// A new identifier for each test, so that tests never see each other's configuration.
std::string freshIdentifier() {
    static int counter = 0;
    return "registry-" + std::to_string(counter++);
}

std::string createFull(std::optional<StorageParams> storage = std::nullopt) {
    auto identifier = freshIdentifier();
    PushSDK::createInstance(identifier, "group.shop", pushServer, "alice", "secret", logServer,
                            true, storage);
    return identifier;
}

std::shared_ptr<SettingsUtils> settingsOf(const std::string& identifier) {
    return SettingsUtils::sharedAccessGroupInstance(identifier);
}

// The CLI's end-to-end tests cover an empty login or password, a log server kept by later calls,
// and a keychain that refuses the group.
TEST(PushSDKCreateInstance, TheShortFormUsesTheIdentifierAsGroupUntilANewGroupReplacesIt) {
    const auto identifier = freshIdentifier();
    PushSDK::createInstance(identifier, pushServer, "alice", "secret", std::nullopt, false);
    EXPECT_EQ(settingsOf(identifier)->userDefaults().suiteName(), "group." + identifier);
    EXPECT_FALSE(InstanceConfiguration::read(*settingsOf(identifier)).silenceDuplicates);

    PushSDK::createInstance(identifier, "second", pushServer, "bob", "secret", std::nullopt, true,
                            std::nullopt);
    EXPECT_EQ(KeyChain::load("sharedAppGroup", identifier), Bytes({'s', 'e', 'c', 'o', 'n', 'd'}));
    EXPECT_EQ(settingsOf(identifier)->userDefaults().suiteName(), "group.second");
    EXPECT_EQ(InstanceConfiguration::read(*settingsOf(identifier)).login, "bob");
}

TEST(PushSDKCreateInstance, TheConfigurationReadsBackAndAbsentOptionsRemoveOrKeepIt) {
    const auto identifier = createFull(StorageParams{.quantityLimit = 10, .daysLimit = 7});
    const auto settings = settingsOf(identifier);
    EXPECT_EQ(InstanceConfiguration::read(*settings),
              InstanceConfiguration({pushServer, "alice", "secret", logServer, true}));
    EXPECT_EQ(settings->get(Setting::StorageDaysLimit), "7");
    PushSDK::createInstance(identifier, "group.shop", {"https", "push.example.com", 8443}, "alice",
                            "secret", std::nullopt, true, StorageParams{.quantityLimit = 20});
    EXPECT_EQ(settings->get(Setting::ServerContext), std::nullopt);
    EXPECT_EQ(settings->get(Setting::StorageQuantityLimit), "20");
    EXPECT_EQ(settings->get(Setting::StorageDaysLimit), std::nullopt);

    PushSDK::createInstance(identifier, "group.shop", pushServer, "alice", "secret", std::nullopt,
                            true, std::nullopt);
    EXPECT_EQ(settings->get(Setting::StorageQuantityLimit), std::nullopt);
}

TEST(PushSDKGetInstance, TheFirstMissingMandatoryKeyIsNamed) {
    const std::vector<std::string> mandatory{"protocolTypeKey", "serverAddressKey", "serverPortKey",
                                             "serverLoginKey", "serverPasswordKey"};
    for (std::size_t first = 0; first < mandatory.size(); ++first) {
        const auto identifier = createFull();
        const auto settings = settingsOf(identifier);
        settings->set("serverContextKey", "");  // optional: never the one named
        for (std::size_t later = first; later < mandatory.size(); later += 2) {
            settings->set(mandatory[later], "");
        }
        EXPECT_EQ(errorOf([&] { PushSDK::getInstance(identifier); }),
                  "settingNotFound(\"" + mandatory[first] + "\")");
    }
}

TEST(PushSDKGetInstance, PortsThatDoNotParseFallBackAndAPartialLogServerIsNone) {
    const auto settings = settingsOf(createFull());
    settings->set("serverPortKey", "8443x");
    settings->set("logServerPortKey", "https");
    EXPECT_EQ(InstanceConfiguration::read(*settings).pushServerParams.serverPort, 8090);
    EXPECT_EQ(InstanceConfiguration::read(*settings).logServerParams->serverPort, 443);
    settings->set("serverPortKey", "+8443");
    settings->set("logServerPortKey", " 444");
    EXPECT_EQ(InstanceConfiguration::read(*settings).pushServerParams.serverPort, 8443);
    EXPECT_EQ(InstanceConfiguration::read(*settings).logServerParams->serverPort, 443);

    settings->set("logServerAddressKey", "");  // one of three missing: no log server at all
    EXPECT_EQ(InstanceConfiguration::read(*settings).logServerParams, std::nullopt);
}

TEST(PushSDKGetInstance, OnlyExactlyFalseTurnsSilencingOff) {
    const auto settings = settingsOf(createFull());
    for (const auto& [stored, expected] : std::vector<std::pair<std::string, bool>>{
             {"false", false}, {"False", true}, {"0", true}, {"", true}, {"true", true}}) {
        settings->set("silenceDuplicates", stored);
        EXPECT_EQ(InstanceConfiguration::read(*settings).silenceDuplicates, expected) << stored;
    }
}

TEST(PushSDKGetInstance, ConcurrentLookUpsAllSeeTheConfiguration) {
    const auto identifier = createFull();
    std::atomic<int> found{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&] {
            for (int j = 0; j < 5; ++j) {
                found += PushSDK::getInstance(identifier) != nullptr;
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(found.load(), 20);
}

TEST(PushSDKGetInstance, AnEarlierGenerationsKeychainConfigurationIsCarriedOver) {
    const auto identifier = freshIdentifier();
    for (const std::string key :
         {"protocolTypeKey", "serverAddressKey", "serverPortKey", "serverLoginKey",
          "serverPasswordKey", "tokenKey", "clientIdKey", "deviceIdKey"}) {
        const auto value = key + " v1";
        ASSERT_EQ(KeyChain::save(key, Bytes(value.begin(), value.end()), identifier), 0);
    }
    auto sdk = PushSDK::getInstance(identifier,
                                    {std::make_shared<PushSDKv1SettingReceiver>(identifier, true)});
    EXPECT_EQ(sdk->getSavedToken(), "tokenKey v1");
    EXPECT_EQ(sdk->getClientId(), "clientIdKey v1");
    EXPECT_EQ(sdk->getDeviceId(), "deviceIdKey v1");
    // The values now live in the store; the keychain items are gone.
    EXPECT_EQ(KeyChain::load("serverLoginKey", identifier), std::nullopt);
    EXPECT_EQ(PushSDK::getInstance(identifier)->getSavedToken(), "tokenKey v1");
    EXPECT_NE(PushSDK::getInstance(identifier), sdk);  // each call builds a new object
}

// Host code only gets instances from getInstance.
static_assert(!std::is_constructible_v<PushSDK, std::shared_ptr<PushSDKState>>);
static_assert(!std::is_constructible_v<PushSDK, std::nullptr_t>);

// The store behind the subscriber identity failing, as a receiver that throws makes it.
class FailingStore : public PushSDKv1SettingReceiver {
  public:
    FailingStore() : PushSDKv1SettingReceiver(std::nullopt, false) {}
    std::optional<std::string> getToken() override { throw TextError("disk I/O error"); }
    std::optional<std::string> getClientId() override { throw TextError("disk I/O error"); }
    std::optional<std::string> getDeviceId() override { throw std::runtime_error("no memory"); }
};

TEST(PushSDKGetters, AnswerNothingWhenTheStoreFails) {
    const auto sdk = PushSDK::getInstance(createFull(), {std::make_shared<FailingStore>()});
    EXPECT_EQ(sdk->getSavedToken(), std::nullopt);
    EXPECT_EQ(sdk->getClientId(), std::nullopt);
    EXPECT_EQ(sdk->getDeviceId(), std::nullopt);
}

TEST(PushSDKShared, StatusRawValuesAreExactAndTheVersionIsShortVersionAndBuild) {
    EXPECT_EQ(toString(OrvanPushApiStatus::delivered), "Delivered");
    EXPECT_EQ(orvanPushApiStatusFromRawValue("Read"), OrvanPushApiStatus::read);
    for (const char* text : {"delivered", "READ", "Read ", ""}) {
        EXPECT_EQ(orvanPushApiStatusFromRawValue(text), std::nullopt) << text;
    }
    EXPECT_TRUE(std::regex_match(PushSDK::OrvanPushSDKVersion(), std::regex(R"(\d+\.\d+\.\w+)")))
        << PushSDK::OrvanPushSDKVersion();
}

TEST(PushSDKShared, MandatoryParametersMustHaveCharactersAndTheAddressJoinsDeviceAndClient) {
    EXPECT_EQ(PushSDKState::checkMandatoryParameter("t", "token"), "t");
    EXPECT_EQ(errorOf([] { PushSDKState::checkMandatoryParameter("", "token"); }),
              "emptyMandatoryParameter(\"token\")");
    EXPECT_EQ(errorOf([] { PushSDKState::checkMandatoryParameter(std::nullopt, "pubKey"); }),
              "emptyMandatoryParameter(\"pubKey\")");
    EXPECT_EQ(PushSDKState::makeAddress("device", "client"), "device.client");
    EXPECT_EQ(PushSDKState::makeAddress("", "client"), "client");
    EXPECT_EQ(PushSDKState::makeAddress(std::nullopt, "client"), "client");
    EXPECT_EQ(errorOf([] { PushSDKState::makeAddress("device", ""); }),
              "emptyMandatoryParameter(\"address\")");
}

class RecordingHeaders : public HttpRequestAdditionalHeaderManager {
  public:
    Headers getAdditionalHeaders(const std::string& uri) override {
        requestUris.push_back(uri);
        return {{"X-Tenant", "shop"}, {"rid", "host-supplied"}};
    }
    std::vector<std::string> requestUris;
};

TEST(PushSDKShared, EveryRequestGetsItsOwnUpperCaseRequestId) {
    const std::regex uuid("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
    auto manager = std::make_shared<RecordingHeaders>();
    const PushSDKState state("state-test", {}, nullptr, manager);
    const auto first = state.getHeaders(toString(ApiMethods::updateSubscriber));
    const auto second = state.getHeaders(toString(ApiMethods::statistics));
    EXPECT_EQ(manager->requestUris, (std::vector<std::string>{"subscriber/update", "statistics"}));
    EXPECT_EQ(first.at("X-Tenant"), "shop");
    EXPECT_TRUE(std::regex_match(first.at("rid"), uuid)) << first.at("rid");
    EXPECT_NE(first.at("rid"), second.at("rid"));

    const auto bare = PushSDKState("state-test", {}, nullptr, nullptr).getHeaders("subscribe");
    EXPECT_EQ(bare.size(), 1u);
    EXPECT_TRUE(std::regex_match(bare.at("rid"), uuid));
}

TEST(PushSDKShared, TheContextLosesItsSlashesButAnAllSlashContextLeavesOne) {
    auto address = [](std::optional<std::string> context) {
        return baseAddress({"https", "h", 443, std::move(context)});
    };
    EXPECT_EQ(address(std::nullopt), "https://h:443");
    EXPECT_EQ(address(""), "https://h:443");
    EXPECT_EQ(address("/api/"), "https://h:443/api");
    EXPECT_EQ(address("//v1/push//"), "https://h:443/v1/push");
    EXPECT_EQ(address("///"), "https://h:443/");
}

TEST(PushSDKPrinting, ParametersAndErrorsPrintEscapedAsLogsShowThem) {
    EXPECT_EQ(toString(ServerParams{"https", "a\"b\n\\c", 443}),
              "ServerParams(protocolType: \"https\", serverURL: \"a\\\"b\\n\\\\c\", "
              "serverPort: 443, context: nil)");
    EXPECT_TRUE(toString(logServer).ends_with("serverPort: 443, context: \"logs\")"));
    EXPECT_EQ(OrvanPushSDKError::emptyMandatoryParameter("it's\x01").description(),
              "emptyMandatoryParameter(\"it\\'s\\u{1}\")");
}

}  // namespace
}  // namespace orvanpush::detail

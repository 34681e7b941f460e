#include <regex>
#include <type_traits>

#include "orvanpush/OrvanPushApiStatus.h"
#include "orvanpush/TextError.h"
#include "orvanpush/platform/MainQueue.h"
#include "sdk/InstanceConfiguration.h"
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

std::string createFull() {
    auto identifier = freshIdentifier();
    PushSDK::createInstance(identifier, "group.shop", pushServer, "alice", "secret", logServer,
                            true, std::nullopt);
    return identifier;
}

std::shared_ptr<SettingsUtils> settingsOf(const std::string& identifier) {
    return SettingsUtils::sharedAccessGroupInstance(identifier);
}

// The CLI's end-to-end tests cover an empty login or password, a log server kept by later calls,
// and a keychain that refuses the group.
TEST(PushSDKCreateInstance, TheShortFormUsesTheIdentifierAsGroupAndTheConfigurationReadsBack) {
    const auto identifier = freshIdentifier();
    PushSDK::createInstance(identifier, pushServer, "alice", "secret", std::nullopt, false);
    EXPECT_EQ(settingsOf(identifier)->userDefaults().suiteName(), "group." + identifier);
    EXPECT_FALSE(InstanceConfiguration::read(*settingsOf(identifier)).silenceDuplicates);

    PushSDK::createInstance(identifier, "second", pushServer, "bob", "secret", std::nullopt, true,
                            std::nullopt);
    EXPECT_EQ(KeyChain::load("sharedAppGroup", identifier), Bytes({'s', 'e', 'c', 'o', 'n', 'd'}));
    EXPECT_EQ(settingsOf(identifier)->userDefaults().suiteName(), "group.second");
    EXPECT_EQ(InstanceConfiguration::read(*settingsOf(identifier)).login, "bob");

    // The configuration reads back; absent options remove or keep it.
    PushSDK::createInstance(identifier, "group.shop", pushServer, "alice", "secret", logServer,
                            true, StorageParams{.quantityLimit = 10, .daysLimit = 7});
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

TEST(PushSDKGetInstance, PortsThatDoNotParseFallBackAPartialLogServerIsNoneSilencingStaysOn) {
    const auto settings = settingsOf(createFull());
    for (const auto& [push, log, pushPort] :
         {std::tuple("8443x", "https", 8090), {"+8443", " 444", 8443}}) {
        settings->set("serverPortKey", push);
        settings->set("logServerPortKey", log);
        const auto read = InstanceConfiguration::read(*settings);
        EXPECT_EQ(read.pushServerParams.serverPort, pushPort);
        EXPECT_EQ(read.logServerParams->serverPort, 443);
    }
    settings->set("logServerAddressKey", "");  // one of three missing: no log server at all
    EXPECT_EQ(InstanceConfiguration::read(*settings).logServerParams, std::nullopt);
    // Only exactly "false" turns silencing off.
    for (const auto& [stored, expected] : std::vector<std::pair<std::string, bool>>{
             {"false", false}, {"False", true}, {"0", true}, {"", true}, {"true", true}}) {
        settings->set("silenceDuplicates", stored);
        EXPECT_EQ(InstanceConfiguration::read(*settings).silenceDuplicates, expected) << stored;
    }
}

TEST(PushSDKGetInstance, ConcurrentLookUpsAllSeeTheConfiguration) {
    const auto identifier = createFull();
    std::atomic<int> found{0};
    {
        std::vector<std::jthread> threads(4);
        for (auto& thread : threads) {
            thread = std::jthread([&] {
                for (int j = 0; j < 5; ++j) {
                    found += PushSDK::getInstance(identifier) != nullptr;
                }
            });
        }
    }
    EXPECT_EQ(found.load(), 20);
}

// The store behind the subscriber identity failing, as a receiver that throws makes it.
class FailingStore : public PushSDKv1SettingReceiver {
  public:
    FailingStore() : PushSDKv1SettingReceiver(std::nullopt, false) {}
    std::optional<std::string> getToken() override { throw TextError("disk I/O error"); }
    std::optional<std::string> getClientId() override { throw TextError("disk I/O error"); }
    std::optional<std::string> getDeviceId() override { throw std::runtime_error("no memory"); }
};

TEST(PushSDKGetInstance, AnEarlierGenerationsConfigurationIsCarriedOverAFailingStoreGivesNothing) {
    const auto identifier = freshIdentifier();
    for (const std::string key :
         {"protocolTypeKey", "serverAddressKey", "serverPortKey", "serverLoginKey",
          "serverPasswordKey", "tokenKey", "clientIdKey", "deviceIdKey"}) {
        const auto value = key + " v1";
        ASSERT_EQ(KeyChain::save(key, Bytes(value.begin(), value.end()), identifier), 0);
    }
    auto sdk = PushSDK::getInstance(identifier,
                                    {std::make_shared<PushSDKv1SettingReceiver>(identifier, true)});
    EXPECT_EQ(std::tuple(sdk->getSavedToken(), sdk->getClientId(), sdk->getDeviceId()),
              std::tuple("tokenKey v1", "clientIdKey v1", "deviceIdKey v1"));
    // The values now live in the store; the keychain items are gone.
    EXPECT_EQ(KeyChain::load("serverLoginKey", identifier), std::nullopt);
    EXPECT_EQ(PushSDK::getInstance(identifier)->getSavedToken(), "tokenKey v1");
    EXPECT_NE(PushSDK::getInstance(identifier), sdk);  // each call builds a new object

    // The getters answer nothing when the store fails.
    const auto failing = PushSDK::getInstance(createFull(), {std::make_shared<FailingStore>()});
    EXPECT_FALSE(failing->getSavedToken() || failing->getClientId() || failing->getDeviceId());
}

// Host code only gets instances from getInstance.
static_assert(!std::is_constructible_v<PushSDK, std::shared_ptr<PushSDKState>>);
static_assert(!std::is_constructible_v<PushSDK, std::nullptr_t>);

TEST(PushSDKShared, StatusRawValuesVersionMandatoryParametersAndAddressesAreExact) {
    EXPECT_EQ(orvanPushApiStatusFromRawValue("Read"), OrvanPushApiStatus::read);
    for (const char* text : {"delivered", "READ", "Read ", ""}) {
        EXPECT_EQ(orvanPushApiStatusFromRawValue(text), std::nullopt) << text;
    }
    EXPECT_TRUE(std::regex_match(PushSDK::OrvanPushSDKVersion(), std::regex(R"(\d+\.\d+\.\w+)")))
        << PushSDK::OrvanPushSDKVersion();
    // Mandatory parameters must have characters; the address joins device and client.
    EXPECT_EQ(errorOf([] { PushSDKState::checkMandatoryParameter(std::nullopt, "pubKey"); }),
              "emptyMandatoryParameter(\"pubKey\")");
    for (const auto& [deviceId, address] :
         std::vector<std::pair<std::optional<std::string>, std::string>>{
             {"device", "device.client"}, {"", "client"}, {std::nullopt, "client"}}) {
        EXPECT_EQ(PushSDKState::makeAddress(deviceId, "client"), address);
    }
    EXPECT_EQ(errorOf([] { PushSDKState::makeAddress("device", ""); }),
              "emptyMandatoryParameter(\"address\")");
}

TEST(PushSDKShared, EveryRequestGetsItsOwnUpperCaseRequestId) {
    const std::regex uuid("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
    auto manager = std::make_shared<testing::HostHeaders>(
        testing::HostHeaders::Headers{{"X-Tenant", "shop"}, {"rid", "host-supplied"}});
    const PushSDKState state("state-test", {}, nullptr, manager);
    const auto first = state.getHeaders(toString(ApiMethods::updateSubscriber));
    const auto second = state.getHeaders(toString(ApiMethods::statistics));
    EXPECT_EQ(manager->requestUris, (std::vector<std::string>{"subscriber/update", "statistics"}));
    EXPECT_EQ(first.at("X-Tenant"), "shop");
    EXPECT_TRUE(std::regex_match(first.at("rid"), uuid)) << first.at("rid");
    EXPECT_NE(first.at("rid"), second.at("rid"));
    EXPECT_EQ(PushSDKState("state-test", {}, nullptr, nullptr).getHeaders("subscribe").size(), 1u);
}

TEST(PushSDKPrinting, ParametersErrorsAndAddressesPrintAsLogsAndRequestsShowThem) {
    EXPECT_EQ(toString(ServerParams{"https", "a\"b\n\\c", 443}),
              "ServerParams(protocolType: \"https\", serverURL: \"a\\\"b\\n\\\\c\", "
              "serverPort: 443, context: nil)");
    EXPECT_TRUE(toString(logServer).ends_with("serverPort: 443, context: \"logs\")"));
    EXPECT_EQ(OrvanPushSDKError::emptyMandatoryParameter("it's\x01").description(),
              "emptyMandatoryParameter(\"it\\'s\\u{1}\")");
    // The context loses its slashes, but an all-slash context leaves one.
    for (const auto& [context, address] :
         std::vector<std::pair<std::optional<std::string>, std::string>>{
             {std::nullopt, "https://h:443"},
             {"", "https://h:443"},
             {"/api/", "https://h:443/api"},
             {"//v1/push//", "https://h:443/v1/push"},
             {"///", "https://h:443/"}}) {
        EXPECT_EQ(baseAddress({"https", "h", 443, context}), address);
    }
}

TEST(InstanceReachabilityTest, EachInstanceWatchesTheNetworkAndNotifiesOnTheMainQueue) {
    testing::Event notified;  // outlives the instances' callbacks
    std::atomic<bool> onMainQueue = false;
    PushSDK::createInstance("reachable", {"https", "push.example.com", 443, std::nullopt}, "alice",
                            "secret", std::nullopt, true);
    const auto first = PushSDKAccess::state(*PushSDK::getInstance("reachable"))->reachability;
    const auto second = PushSDKAccess::state(*PushSDK::getInstance("reachable"))->reachability;
    ASSERT_TRUE(first && second);
    EXPECT_NE(first, second);
    const auto record = [&](const auto&) {
        onMainQueue = platform::MainQueue::isCurrent();
        notified.notify();
    };
    first->setWhenReachable(record);
    first->setWhenUnreachable(record);
    first->startNotifier();
    ASSERT_TRUE(notified.wait());
    EXPECT_TRUE(onMainQueue);
}

}  // namespace
}  // namespace orvanpush::detail

#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "orvanpush/OrvanPushSDKError.h"
#include "orvanpush/PushSDK.h"
#include "sdk/InstanceConfiguration.h"
#include "security/KeyChainUtil.h"
#include "utils/SettingsUtils.h"

namespace orvanpush {
namespace {

using detail::InstanceConfiguration;
using detail::Setting;
using detail::SettingsUtils;

const ServerParams pushServer{.protocolType = "https",
                              .serverURL = "push.example.com",
                              .serverPort = 8443,
                              .context = "/api/"};
const ServerParams logServer{
    .protocolType = "https", .serverURL = "logs.example.com", .serverPort = 443, .context = "logs"};

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

/// The key getInstance names as missing, checking the error's printed form on the way.
std::string missingKeyOf(const std::string& identifier) {
    try {
        PushSDK::getInstance(identifier);
    } catch (const OrvanPushSDKError& error) {
        EXPECT_EQ(error.kind(), OrvanPushSDKError::Kind::settingNotFound);
        EXPECT_EQ(error.description(), "settingNotFound(\"" + error.payload() + "\")");
        return error.payload();
    }
    return "nothing missing";
}

TEST(PushSDKCreateInstance, TheConfigurationReadsBackAsWritten) {
    const auto identifier = createFull();
    const auto settings = settingsOf(identifier);
    EXPECT_EQ(settings->userDefaults().suiteName(), "group.shop");
    EXPECT_EQ(settings->get(Setting::SharedAppGroup), "group.shop");
    EXPECT_EQ(settings->get(Setting::ServerPort), "8443");
    const InstanceConfiguration expected{.pushServerParams = pushServer,
                                         .login = "alice",
                                         .password = "secret",
                                         .logServerParams = logServer,
                                         .silenceDuplicates = true};
    EXPECT_EQ(InstanceConfiguration::read(*settings), expected);
}

TEST(PushSDKCreateInstance, TheShortFormUsesTheIdentifierAsGroup) {
    const auto identifier = freshIdentifier();
    PushSDK::createInstance(identifier, pushServer, "alice", "secret", std::nullopt, false);
    const auto settings = settingsOf(identifier);
    EXPECT_EQ(settings->userDefaults().suiteName(), "group." + identifier);
    EXPECT_FALSE(InstanceConfiguration::read(*settings).silenceDuplicates);
}

TEST(PushSDKCreateInstance, ANewGroupReplacesTheSavedOne) {
    const auto identifier = createFull();
    PushSDK::createInstance(identifier, "second", pushServer, "bob", "secret", std::nullopt, true,
                            std::nullopt);
    const auto saved = detail::KeyChain::load("sharedAppGroup", identifier);
    EXPECT_EQ(saved, Bytes({'s', 'e', 'c', 'o', 'n', 'd'}));
    const auto settings = settingsOf(identifier);
    EXPECT_EQ(settings->userDefaults().suiteName(), "group.second");
    EXPECT_EQ(InstanceConfiguration::read(*settings).login, "bob");
}

TEST(PushSDKCreateInstance, AbsentOptionsRemoveOrKeepAsDocumented) {
    const auto identifier = createFull(StorageParams{.quantityLimit = 10, .daysLimit = 7});
    ServerParams withoutContext = pushServer;
    withoutContext.context.reset();
    PushSDK::createInstance(identifier, "group.shop", withoutContext, "alice", "secret",
                            std::nullopt, true, StorageParams{.quantityLimit = 20});
    auto settings = settingsOf(identifier);
    EXPECT_EQ(settings->get(Setting::ServerContext), std::nullopt);
    EXPECT_EQ(settings->get(Setting::StorageQuantityLimit), "20");
    EXPECT_EQ(settings->get(Setting::StorageDaysLimit), std::nullopt);
    // The log server of the first call is still configured.
    EXPECT_EQ(InstanceConfiguration::read(*settings).logServerParams, logServer);

    PushSDK::createInstance(identifier, "group.shop", pushServer, "alice", "secret", std::nullopt,
                            true, std::nullopt);
    EXPECT_EQ(settings->get(Setting::StorageQuantityLimit), std::nullopt);
}

TEST(PushSDKCreateInstance, AnEmptyLoginOrPasswordIsStoredAsMissing) {
    const auto identifier = freshIdentifier();
    PushSDK::createInstance(identifier, pushServer, "", "secret", logServer, true);
    EXPECT_EQ(missingKeyOf(identifier), "serverLoginKey");
    PushSDK::createInstance(identifier, pushServer, "alice", "", logServer, true);
    EXPECT_EQ(missingKeyOf(identifier), "serverPasswordKey");
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
        EXPECT_EQ(missingKeyOf(identifier), mandatory[first]);
    }
}

TEST(PushSDKGetInstance, PortsThatDoNotParseFallBackAndAPartialLogServerIsNone) {
    const auto identifier = createFull();
    const auto settings = settingsOf(identifier);
    settings->set("serverPortKey", "8443x");
    settings->set("logServerPortKey", "https");
    auto configuration = InstanceConfiguration::read(*settings);
    EXPECT_EQ(configuration.pushServerParams.serverPort, 8090);
    EXPECT_EQ(configuration.logServerParams->serverPort, 443);

    settings->set("serverPortKey", "+8443");
    settings->set("logServerPortKey", " 444");
    configuration = InstanceConfiguration::read(*settings);
    EXPECT_EQ(configuration.pushServerParams.serverPort, 8443);
    EXPECT_EQ(configuration.logServerParams->serverPort, 443);

    settings->set("logServerAddressKey", "");  // one of three missing: no log server at all
    EXPECT_EQ(InstanceConfiguration::read(*settings).logServerParams, std::nullopt);
}

TEST(PushSDKGetInstance, OnlyExactlyFalseTurnsSilencingOff) {
    const auto identifier = createFull();
    const auto settings = settingsOf(identifier);
    for (const auto& [stored, expected] : std::vector<std::pair<std::string, bool>>{
             {"false", false}, {"False", true}, {"0", true}, {"", true}, {"true", true}}) {
        settings->set("silenceDuplicates", stored);
        EXPECT_EQ(InstanceConfiguration::read(*settings).silenceDuplicates, expected) << stored;
    }
}

TEST(PushSDKGetInstance, EachCallBuildsANewObject) {
    const auto identifier = createFull();
    auto first = PushSDK::getInstance(identifier);
    auto second = PushSDK::getInstance(identifier, nullptr);
    ASSERT_TRUE(first && second);
    EXPECT_NE(first, second);
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

TEST(PushSDKGetInstance, TheSubscriberIdentityComesFromTheStore) {
    const auto identifier = createFull();
    auto sdk = PushSDK::getInstance(identifier);
    EXPECT_EQ(sdk->getSavedToken(), std::nullopt);
    const auto settings = settingsOf(identifier);
    settings->set("tokenKey", "token-1");
    settings->set("clientIdKey", "client-1");
    settings->set("deviceIdKey", "device-1");
    EXPECT_EQ(sdk->getSavedToken(), "token-1");
    EXPECT_EQ(sdk->getClientId(), "client-1");
    EXPECT_EQ(sdk->getDeviceId(), "device-1");
}

TEST(PushSDKGetInstance, AnEarlierGenerationsKeychainConfigurationIsCarriedOver) {
    const auto identifier = freshIdentifier();
    const std::vector<std::pair<std::string, std::string>> v1Items{
        {"protocolTypeKey", "https"},    {"serverAddressKey", "push.example.com"},
        {"serverPortKey", "8443"},       {"serverLoginKey", "alice"},
        {"serverPasswordKey", "secret"}, {"tokenKey", "token-v1"}};
    for (const auto& [key, value] : v1Items) {
        ASSERT_EQ(detail::KeyChain::save(key, Bytes(value.begin(), value.end()), identifier), 0);
    }
    const SettingsUtils::SettingReceivers receivers{
        std::make_shared<PushSDKv1SettingReceiver>(identifier, true)};

    auto sdk = PushSDK::getInstance(identifier, receivers);
    EXPECT_EQ(sdk->getSavedToken(), "token-v1");
    // The values now live in the store; the keychain items are gone.
    EXPECT_EQ(detail::KeyChain::load("serverLoginKey", identifier), std::nullopt);
    EXPECT_EQ(PushSDK::getInstance(identifier)->getSavedToken(), "token-v1");
}

}  // namespace
}  // namespace orvanpush

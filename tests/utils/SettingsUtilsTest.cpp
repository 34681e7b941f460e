#include "utils/SettingsUtils.h"

#include <map>

#include <gtest/gtest.h>

#include "orvanpush/platform/PlatformConfig.h"
#include "security/KeyChainUtil.h"
#include "support/TestHome.h"

namespace orvanpush::detail {
namespace {

/// Answers from a script keyed by requirement name, and records which requirements were asked.
class ScriptedReceiver : public SettingReceiver {
  public:
    explicit ScriptedReceiver(std::map<std::string, std::string> script = {})
        : script_(std::move(script)) {}
    std::vector<std::string> asked;

#define ANSWER(requirement)                             \
    std::optional<std::string> requirement() override { \
        return answer(#requirement);                    \
    }
    ANSWER(getProtocolType)
    ANSWER(getServerAddress)
    ANSWER(getServerPort)
    ANSWER(getServerContext)
    ANSWER(getServerLogin)
    ANSWER(getServerPassword)
    ANSWER(getLogServerProtocolType)
    ANSWER(getLogServerAddress)
    ANSWER(getLogServerPort)
    ANSWER(getLogServerContext)
    ANSWER(getSharedAppGroup)
    ANSWER(getSilenceDuplicates)
    ANSWER(getClientId)
    ANSWER(getDeviceId)
    ANSWER(getToken)
    ANSWER(getStorageQuantityLimit)
    ANSWER(getStorageDaysLimit)
#undef ANSWER

  private:
    std::optional<std::string> answer(const std::string& requirement) {
        asked.push_back(requirement);
        auto found = script_.find(requirement);
        return found == script_.end() ? std::nullopt : std::optional(found->second);
    }
    std::map<std::string, std::string> script_;
};

using Asked = std::vector<std::string>;

/// A fresh store of its own for each test.
std::shared_ptr<platform::UserDefaults> freshDefaults() {
    static int counter = 0;
    return platform::UserDefaults::suite("settings-test-" + std::to_string(counter++));
}

std::string suiteOpenedFor(const std::string& identifier) {
    return SettingsUtils::sharedAccessGroupInstance(identifier)->userDefaults().suiteName();
}

void saveGroup(const std::string& identifier, const Bytes& name) {
    ASSERT_EQ(KeyChain::save("sharedAppGroup", name, identifier), platform::errSecSuccess);
}

Bytes bytes(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

TEST(SettingsUtilsSuite, TheKeychainGroupGetsExactlyOneGroupPrefix) {
    saveGroup("suite-bare", bytes("x"));
    saveGroup("suite-prefixed", bytes("group.x"));
    saveGroup("suite-doubled", bytes("group.group.x"));
    EXPECT_EQ(suiteOpenedFor("suite-bare"), "group.x");
    EXPECT_EQ(suiteOpenedFor("suite-prefixed"), "group.x");
    EXPECT_EQ(suiteOpenedFor("suite-doubled"), "group.group.x");
}

TEST(SettingsUtilsSuite, WithoutAReadableGroupTheIdentifierNamesTheSuite) {
    EXPECT_EQ(suiteOpenedFor("suite-no-item"), "suite-no-item");
    saveGroup("suite-not-text", Bytes{0xC3, 0x28});
    EXPECT_EQ(suiteOpenedFor("suite-not-text"), "suite-not-text");
}

TEST(SettingsUtilsSuite, ANameThatCannotBeAFileFallsBackToTheStandardStore) {
    const auto standard = platform::PlatformConfig::current()->bundleIdentifier;
    saveGroup("suite-escaping", bytes("../../escaped"));
    EXPECT_EQ(suiteOpenedFor("suite-escaping"), standard);
    EXPECT_EQ(suiteOpenedFor("up/../and/out"), standard);
    EXPECT_EQ(suiteOpenedFor(".."), standard);
    EXPECT_FALSE(std::filesystem::exists(testing::testHome() / "escaped.sqlite"));
    EXPECT_FALSE(std::filesystem::exists(testing::testHome().parent_path() / "escaped.sqlite"));
}

TEST(SettingsUtilsStore, HandlesOnTheSameSuiteSeeEachOthersWritesAndRemovalsAtOnce) {
    auto writer = SettingsUtils::sharedAccessGroupInstance("suite-shared");
    auto reader = SettingsUtils::sharedAccessGroupInstance("suite-shared");
    writer->set(ClientSetting::ClientId, "client-1");
    EXPECT_EQ(reader->get(ClientSetting::ClientId), "client-1");
    writer->set(ClientSetting::ClientId, "client-2");
    EXPECT_EQ(reader->get(ClientSetting::ClientId), "client-2");
    writer->set(ClientSetting::ClientId, "");
    EXPECT_EQ(reader->get(ClientSetting::ClientId), std::nullopt);
}

TEST(SettingsUtilsReceivers, TheFirstAnswerWinsAndIsStoredSoNobodyIsAskedAgain) {
    auto first = std::make_shared<ScriptedReceiver>();
    auto second = std::make_shared<ScriptedReceiver>(
        std::map<std::string, std::string>{{"getServerPort", "8090"}});
    auto third = std::make_shared<ScriptedReceiver>();
    SettingsUtils settings(freshDefaults(), {first, second, third});

    EXPECT_EQ(settings.get("serverPortKey"), "8090");
    EXPECT_EQ(settings.userDefaults().string("serverPortKey"), "8090");
    EXPECT_EQ(settings.get("serverPortKey"), "8090");
    EXPECT_EQ(first->asked, Asked{"getServerPort"});
    EXPECT_EQ(second->asked, Asked{"getServerPort"});
    EXPECT_EQ(third->asked, Asked{});
}

TEST(SettingsUtilsReceivers, AnEmptyAnswerIsReturnedButStoresAndRemovesNothing) {
    auto receiver =
        std::make_shared<ScriptedReceiver>(std::map<std::string, std::string>{{"getToken", ""}});
    auto defaults = freshDefaults();
    defaults->set("tokenKey", std::int64_t{42});  // not a string: the store lacks a string
    SettingsUtils settings(defaults, {receiver});

    EXPECT_EQ(settings.get("tokenKey"), "");
    EXPECT_EQ(settings.get("tokenKey"), "");
    EXPECT_EQ(receiver->asked, (Asked{"getToken", "getToken"}));
    EXPECT_EQ(defaults->integer("tokenKey"), 42);
}

TEST(SettingsUtilsReceivers, KeysWithoutARequirementAskNobody) {
    auto receiver = std::make_shared<ScriptedReceiver>();
    SettingsUtils settings(freshDefaults(), {receiver});
    EXPECT_EQ(settings.get(ClientSetting::Version), std::nullopt);
    EXPECT_EQ(settings.get(ClientSetting::Messages), std::nullopt);
    EXPECT_EQ(settings.get("unknownKey"), std::nullopt);
    EXPECT_EQ(receiver->asked, Asked{});
}

TEST(SettingsUtilsReceivers, EveryKeyIsAnsweredByItsOwnRequirement) {
    const std::vector<std::pair<std::string, std::string>> expected{
        {"protocolTypeKey", "getProtocolType"},
        {"serverAddressKey", "getServerAddress"},
        {"serverPortKey", "getServerPort"},
        {"serverContextKey", "getServerContext"},
        {"serverLoginKey", "getServerLogin"},
        {"serverPasswordKey", "getServerPassword"},
        {"logServerProtocolTypeKey", "getLogServerProtocolType"},
        {"logServerAddressKey", "getLogServerAddress"},
        {"logServerPortKey", "getLogServerPort"},
        {"logServerContextKey", "getLogServerContext"},
        {"sharedAppGroup", "getSharedAppGroup"},
        {"silenceDuplicates", "getSilenceDuplicates"},
        {"clientIdKey", "getClientId"},
        {"deviceIdKey", "getDeviceId"},
        {"tokenKey", "getToken"},
        {"storageQuantityLimit", "getStorageQuantityLimit"},
        {"storageDaysLimit", "getStorageDaysLimit"},
    };
    auto receiver = std::make_shared<ScriptedReceiver>();
    SettingsUtils settings(freshDefaults(), {receiver});
    for (const auto& [key, requirement] : expected) {
        receiver->asked.clear();
        settings.get(key);
        EXPECT_EQ(receiver->asked, Asked{requirement}) << key;
    }
}

}  // namespace
}  // namespace orvanpush::detail

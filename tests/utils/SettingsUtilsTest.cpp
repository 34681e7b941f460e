#include "utils/SettingsUtils.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "orvanpush/platform/PlatformConfig.h"
#include "security/KeyChainUtil.h"
#include "support/TestHome.h"

namespace orvanpush::detail {
namespace {

using ::testing::Return;
using ::testing::StrictMock;

class MockReceiver : public SettingReceiver {
  public:
    MOCK_METHOD(std::optional<std::string>, getProtocolType, (), (override));
    MOCK_METHOD(std::optional<std::string>, getServerAddress, (), (override));
    MOCK_METHOD(std::optional<std::string>, getServerPort, (), (override));
    MOCK_METHOD(std::optional<std::string>, getServerContext, (), (override));
    MOCK_METHOD(std::optional<std::string>, getServerLogin, (), (override));
    MOCK_METHOD(std::optional<std::string>, getServerPassword, (), (override));
    MOCK_METHOD(std::optional<std::string>, getLogServerProtocolType, (), (override));
    MOCK_METHOD(std::optional<std::string>, getLogServerAddress, (), (override));
    MOCK_METHOD(std::optional<std::string>, getLogServerPort, (), (override));
    MOCK_METHOD(std::optional<std::string>, getLogServerContext, (), (override));
    MOCK_METHOD(std::optional<std::string>, getSharedAppGroup, (), (override));
    MOCK_METHOD(std::optional<std::string>, getSilenceDuplicates, (), (override));
    MOCK_METHOD(std::optional<std::string>, getClientId, (), (override));
    MOCK_METHOD(std::optional<std::string>, getDeviceId, (), (override));
    MOCK_METHOD(std::optional<std::string>, getToken, (), (override));
    MOCK_METHOD(std::optional<std::string>, getStorageQuantityLimit, (), (override));
    MOCK_METHOD(std::optional<std::string>, getStorageDaysLimit, (), (override));
};

/// Answers every requirement with the requirement's own name.
class NamingReceiver : public SettingReceiver {
  public:
    std::optional<std::string> getProtocolType() override { return "getProtocolType"; }
    std::optional<std::string> getServerAddress() override { return "getServerAddress"; }
    std::optional<std::string> getServerPort() override { return "getServerPort"; }
    std::optional<std::string> getServerContext() override { return "getServerContext"; }
    std::optional<std::string> getServerLogin() override { return "getServerLogin"; }
    std::optional<std::string> getServerPassword() override { return "getServerPassword"; }
    std::optional<std::string> getLogServerProtocolType() override {
        return "getLogServerProtocolType";
    }
    std::optional<std::string> getLogServerAddress() override { return "getLogServerAddress"; }
    std::optional<std::string> getLogServerPort() override { return "getLogServerPort"; }
    std::optional<std::string> getLogServerContext() override { return "getLogServerContext"; }
    std::optional<std::string> getSharedAppGroup() override { return "getSharedAppGroup"; }
    std::optional<std::string> getSilenceDuplicates() override { return "getSilenceDuplicates"; }
    std::optional<std::string> getClientId() override { return "getClientId"; }
    std::optional<std::string> getDeviceId() override { return "getDeviceId"; }
    std::optional<std::string> getToken() override { return "getToken"; }
    std::optional<std::string> getStorageQuantityLimit() override {
        return "getStorageQuantityLimit";
    }
    std::optional<std::string> getStorageDaysLimit() override { return "getStorageDaysLimit"; }
};

/// A fresh store of its own for each test.
std::shared_ptr<SettingsUtils> freshStore(SettingsUtils::SettingReceivers receivers = {}) {
    static int counter = 0;
    auto defaults = platform::UserDefaults::suite("settings-test-" + std::to_string(counter++));
    return std::make_shared<SettingsUtils>(defaults, std::move(receivers));
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
    EXPECT_EQ(SettingsUtils::suiteName("suite-bare"), "group.x");
    EXPECT_EQ(SettingsUtils::suiteName("suite-prefixed"), "group.x");
    EXPECT_EQ(SettingsUtils::suiteName("suite-doubled"), "group.group.x");
    EXPECT_EQ(SettingsUtils::sharedAccessGroupInstance("suite-doubled")->userDefaults().suiteName(),
              "group.group.x");
}

TEST(SettingsUtilsSuite, WithoutAReadableGroupTheIdentifierNamesTheSuite) {
    EXPECT_EQ(SettingsUtils::suiteName("suite-no-item"), "suite-no-item");
    saveGroup("suite-not-text", Bytes{0xC3, 0x28});
    EXPECT_EQ(SettingsUtils::suiteName("suite-not-text"), "suite-not-text");
}

TEST(SettingsUtilsSuite, ANameThatCannotBeAFileFallsBackToTheStandardStore) {
    const auto standard = platform::PlatformConfig::current()->bundleIdentifier;
    saveGroup("suite-escaping", bytes("../../escaped"));
    EXPECT_EQ(
        SettingsUtils::sharedAccessGroupInstance("suite-escaping")->userDefaults().suiteName(),
        standard);
    EXPECT_EQ(SettingsUtils::sharedAccessGroupInstance("up/../and/out")->userDefaults().suiteName(),
              standard);
    EXPECT_EQ(SettingsUtils::sharedAccessGroupInstance("..")->userDefaults().suiteName(), standard);
    EXPECT_FALSE(std::filesystem::exists(testing::testHome() / "escaped.sqlite"));
    EXPECT_FALSE(std::filesystem::exists(testing::testHome().parent_path() / "escaped.sqlite"));
}

TEST(SettingsUtilsStore, AnEmptyValueRemovesTheKey) {
    auto settings = freshStore();
    settings->set(ClientSetting::Token, "abc");
    EXPECT_EQ(settings->get(ClientSetting::Token), "abc");
    settings->set(ClientSetting::Token, "");
    EXPECT_EQ(settings->get(ClientSetting::Token), std::nullopt);
}

TEST(SettingsUtilsStore, HandlesOnTheSameSuiteSeeEachOthersWritesAtOnce) {
    auto writer = SettingsUtils::sharedAccessGroupInstance("suite-shared");
    auto reader = SettingsUtils::sharedAccessGroupInstance("suite-shared");
    EXPECT_EQ(reader->get(ClientSetting::ClientId), std::nullopt);
    writer->set(ClientSetting::ClientId, "client-1");
    EXPECT_EQ(reader->get(ClientSetting::ClientId), "client-1");
    writer->set(ClientSetting::ClientId, "client-2");
    EXPECT_EQ(reader->get(ClientSetting::ClientId), "client-2");
}

TEST(SettingsUtilsReceivers, AStoredValueIsReturnedWithoutAskingAnyone) {
    auto receiver = std::make_shared<StrictMock<MockReceiver>>();
    auto settings = freshStore({receiver});
    settings->set(Setting::ServerPort, "443");
    EXPECT_EQ(settings->get(Setting::ServerPort), "443");
}

TEST(SettingsUtilsReceivers, TheFirstAnswerWinsAndIsStored) {
    auto first = std::make_shared<StrictMock<MockReceiver>>();
    auto second = std::make_shared<StrictMock<MockReceiver>>();
    auto third = std::make_shared<StrictMock<MockReceiver>>();
    EXPECT_CALL(*first, getServerPort()).WillOnce(Return(std::nullopt));
    EXPECT_CALL(*second, getServerPort()).WillOnce(Return("8090"));
    auto settings = freshStore({first, second, third});

    EXPECT_EQ(settings->get("serverPortKey"), "8090");
    EXPECT_EQ(settings->userDefaults().string("serverPortKey"), "8090");
    EXPECT_EQ(settings->get("serverPortKey"), "8090");  // strict mocks: nobody is asked again
}

TEST(SettingsUtilsReceivers, AnEmptyAnswerIsReturnedButNotStored) {
    auto receiver = std::make_shared<StrictMock<MockReceiver>>();
    EXPECT_CALL(*receiver, getToken()).Times(2).WillRepeatedly(Return(""));
    auto settings = freshStore({receiver});
    EXPECT_EQ(settings->get("tokenKey"), "");
    EXPECT_EQ(settings->userDefaults().string("tokenKey"), std::nullopt);
    EXPECT_EQ(settings->get("tokenKey"), "");
}

TEST(SettingsUtilsReceivers, AnEmptyAnswerLeavesAValueOfAnotherTypeAlone) {
    auto receiver = std::make_shared<StrictMock<MockReceiver>>();
    EXPECT_CALL(*receiver, getToken()).WillOnce(Return(""));
    auto defaults = platform::UserDefaults::suite("settings-test-typed");
    defaults->set("tokenKey", std::int64_t{42});
    SettingsUtils settings(defaults, {receiver});
    EXPECT_EQ(settings.get("tokenKey"), "");
    EXPECT_EQ(defaults->integer("tokenKey"), 42);
}

TEST(SettingsUtilsReceivers, KeysWithoutARequirementAskNobody) {
    auto receiver = std::make_shared<StrictMock<MockReceiver>>();
    auto settings = freshStore({receiver});
    EXPECT_EQ(settings->get(ClientSetting::Version), std::nullopt);
    EXPECT_EQ(settings->get(ClientSetting::Messages), std::nullopt);
    EXPECT_EQ(settings->get("unknownKey"), std::nullopt);
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
    auto settings = freshStore({std::make_shared<NamingReceiver>()});
    for (const auto& [key, requirement] : expected) {
        EXPECT_EQ(settings->get(key), requirement) << key;
    }
}

TEST(SettingsUtilsKeys, CasesAndKeysRoundTrip) {
    EXPECT_EQ(toString(Setting::ServerAddress), "serverAddressKey");
    EXPECT_EQ(toString(Setting::StorageDaysLimit), "storageDaysLimit");
    EXPECT_EQ(toString(ClientSetting::Messages), "messages");
    EXPECT_EQ(settingFromRawValue("silenceDuplicates"), Setting::SilenceDuplicates);
    EXPECT_EQ(clientSettingFromRawValue("deviceIdKey"), ClientSetting::DeviceId);
    EXPECT_EQ(settingFromRawValue("tokenKey"), std::nullopt);
    EXPECT_EQ(clientSettingFromRawValue("TokenKey"), std::nullopt);
}

}  // namespace
}  // namespace orvanpush::detail

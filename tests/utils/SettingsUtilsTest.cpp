#include "utils/SettingsUtils.h"

#include <fstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "orvanpush/SettingReceiver.h"
#include "orvanpush/TextError.h"
#include "orvanpush/platform/PlatformConfig.h"
#include "security/KeyChainUtil.h"
#include "support/TestHome.h"

namespace orvanpush::detail {
namespace {

Bytes bytes(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

void save(const std::string& key, const Bytes& value, const std::string& group) {
    ASSERT_EQ(KeyChain::save(key, value, group), platform::errSecSuccess);
}

/// A fresh store of its own for each test.
std::shared_ptr<platform::UserDefaults> freshDefaults() {
    static int counter = 0;
    return platform::UserDefaults::suite("settings-test-" + std::to_string(counter++));
}

/// An earlier generation's keychain items of `group` as receiver; by default each item is
/// removed once read, so an item still there was never asked for.
std::shared_ptr<SettingReceiver> v1(const std::string& group, bool removeAfterReceive = true) {
    return std::make_shared<PushSDKv1SettingReceiver>(group, removeAfterReceive);
}

TEST(SettingsUtilsSuite, TheKeychainGroupGetsOneGroupPrefixAndUnusableNamesFallBack) {
    const auto standard = platform::PlatformConfig::current()->bundleIdentifier;
    const struct {
        std::string identifier;
        std::optional<Bytes> group;
        std::string suite;
    } cases[] = {
        {"suite-bare", bytes("x"), "group.x"},
        {"suite-prefixed", bytes("group.x"), "group.x"},
        {"suite-doubled", bytes("group.group.x"), "group.group.x"},
        // Without a readable group the identifier names the suite.
        {"suite-no-item", std::nullopt, "suite-no-item"},
        {"suite-not-text", Bytes{0xC3, 0x28}, "suite-not-text"},
        // A name that cannot be a file falls back to the standard store.
        {"suite-escaping", bytes("../../escaped"), standard},
        {"up/../and/out", std::nullopt, standard},
        {"..", std::nullopt, standard},
    };
    for (const auto& [identifier, group, suite] : cases) {
        if (group) {
            save("sharedAppGroup", *group, identifier);
        }
        EXPECT_EQ(SettingsUtils::sharedAccessGroupInstance(identifier)->userDefaults().suiteName(),
                  suite)
            << identifier;
    }
    EXPECT_FALSE(std::filesystem::exists(testing::testHome() / "escaped.sqlite"));
    EXPECT_FALSE(std::filesystem::exists(testing::testHome().parent_path() / "escaped.sqlite"));
}

// Only a refused name falls back: a shared store that exists but cannot be read is an error
// naming its file, or the application would work on a store its extension never reads.
TEST(SettingsUtilsSuite, AStoreThatExistsButCannotBeReadIsAnErrorNotAFallBack) {
    save("sharedAppGroup", bytes("damaged"), "suite-damaged");
    const auto file = testing::testHome() / "defaults" / "group.damaged.sqlite";
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file) << std::string(4096, 'x');
    EXPECT_THAT([] { SettingsUtils::sharedAccessGroupInstance("suite-damaged"); },
                ::testing::ThrowsMessage<TextError>(::testing::HasSubstr(file.string())));
}

// The first answer wins and is stored so nobody is asked again; an empty answer is returned
// but stores nothing.
TEST(SettingsUtilsReceivers, TheFirstAnswerWinsAndIsStoredUnlessEmpty) {
    save("serverPortKey", bytes("8090"), "receivers-second");
    save("serverPortKey", bytes("9999"), "receivers-third");
    save("tokenKey", {}, "receivers-first");
    auto defaults = freshDefaults();
    defaults->set("tokenKey", std::int64_t{42});  // not a string: the store lacks a string
    SettingsUtils settings(defaults,
                           {v1("receivers-first"), v1("receivers-second"), v1("receivers-third")});

    EXPECT_EQ(settings.get("serverPortKey"), "8090");
    EXPECT_EQ(defaults->string("serverPortKey"), "8090");
    save("serverPortKey", bytes("7777"), "receivers-second");  // an answer if asked again
    EXPECT_EQ(settings.get("serverPortKey"), "8090");
    EXPECT_EQ(KeyChain::load("serverPortKey", "receivers-third"), bytes("9999"));

    EXPECT_EQ(settings.get("tokenKey"), "");
    EXPECT_EQ(settings.get("tokenKey"), std::nullopt);  // asked again; the item is gone now
    EXPECT_EQ(defaults->integer("tokenKey"), 42);
}

TEST(SettingsUtilsReceivers, EveryKeyIsAnsweredByItsOwnRequirementAndSomeByNone) {
    SettingsUtils settings(freshDefaults(), {v1("receivers-keys", false)});
    for (const std::string key :
         {"protocolTypeKey", "serverAddressKey", "serverPortKey", "serverContextKey",
          "serverLoginKey", "serverPasswordKey", "logServerProtocolTypeKey", "logServerAddressKey",
          "logServerPortKey", "logServerContextKey", "sharedAppGroup", "silenceDuplicates",
          "clientIdKey", "deviceIdKey", "tokenKey", "storageQuantityLimit", "storageDaysLimit"}) {
        save(key, bytes(key + " answer"), "receivers-keys");
        EXPECT_EQ(settings.get(key), key + " answer");
    }
    for (const char* key : {"version", "messages", "unknownKey"}) {
        save(key, bytes("nobody asks"), "receivers-keys");
        EXPECT_EQ(settings.get(key), std::nullopt) << key;
    }
}

TEST(PushSDKv1SettingReceiver, ReadsItsOwnGroupRemovesOnlyThereWhenAskedToAndAnswersOnlyUtf8) {
    save("tokenKey", bytes("token-1"), "v1-remove");
    save("tokenKey", bytes("token-2"), "v1-neighbour");
    const testing::ConsoleCapture console;
    PushSDKv1SettingReceiver receiver("v1-remove", true);
    EXPECT_EQ(receiver.getToken(), "token-1");
    EXPECT_EQ(receiver.getToken(), std::nullopt);
    // Another instance's item under the same key is still there, and stays when not removing.
    PushSDKv1SettingReceiver keeping("v1-neighbour", false);
    EXPECT_EQ(keeping.getToken(), "token-2");
    EXPECT_EQ(keeping.getToken(), "token-2");

    // Without an identifier the process's own groups answer, never another application's: its
    // item is neither read nor removed.
    const auto saveAs = [](const std::string& bundle, const std::string& value) {
        const testing::ScopedPlatformConfig application(
            [&](platform::PlatformConfig& config) { config.bundleIdentifier = bundle; });
        ASSERT_EQ(KeyChain::save("storageDaysLimit", bytes(value), std::nullopt),
                  platform::errSecSuccess);
    };
    saveAs("com.example.other", "30");
    saveAs(platform::PlatformConfig::current()->bundleIdentifier, "14");
    EXPECT_EQ(PushSDKv1SettingReceiver(std::nullopt, true).getStorageDaysLimit(), "14");
    EXPECT_EQ(PushSDKv1SettingReceiver(std::nullopt, true).getStorageDaysLimit(), std::nullopt);
    EXPECT_EQ(console.lines(), (std::vector<std::string>{
                                   "Value for key \"tokenKey\" successfully removed",
                                   "Value for key \"storageDaysLimit\" successfully removed"}));
    const testing::ScopedPlatformConfig other(
        [](platform::PlatformConfig& config) { config.bundleIdentifier = "com.example.other"; });
    EXPECT_EQ(KeyChain::load("storageDaysLimit", std::nullopt), bytes("30"));

    // Only well-formed UTF-8 is an answer (which texts are is Utf8TextTest's).
    PushSDKv1SettingReceiver text("v1-text", false);
    save("serverLoginKey", bytes("a\xC3\xA9\xE2\x82\xAC"), "v1-text");
    EXPECT_EQ(text.getServerLogin(), "a\xC3\xA9\xE2\x82\xAC");
    save("serverLoginKey", bytes("\xED\xA0\x80"), "v1-text");  // a surrogate
    EXPECT_EQ(text.getServerLogin(), std::nullopt);
}

}  // namespace
}  // namespace orvanpush::detail
